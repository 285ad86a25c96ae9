// QEMU's machine protocol (QMP) on a Unix socket, for what the hand-off needs
// of it: a picture of the board's display.
#pragma once

#include "sim/rgb_image.h"

#include <filesystem>
#include <string>

namespace sim {

// Asks the QEMU whose monitor listens at `socket` for its display's picture
// (its screendump, written to `ppm`) and reads it. False, with `error`, when
// QEMU does not answer or has no picture.
bool qemuScreenDump(const std::filesystem::path& socket, const std::filesystem::path& ppm, RgbImage& image,
                    std::string& error);

} // namespace sim
