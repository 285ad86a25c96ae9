// QEMU's machine protocol (QMP) on a Unix socket, for what the hand-off needs
// of it: pictures of the board's display.
#pragma once

#include "sim/rgb_image.h"

#include <filesystem>
#include <memory>
#include <string>

namespace sim {

// One session with the QEMU whose monitor listens at a socket, opened at the
// first picture and kept for the next ones: QEMU serves one monitor client
// at a time.
class QemuMonitor {
  public:
    explicit QemuMonitor(std::filesystem::path socket);
    ~QemuMonitor();
    QemuMonitor(const QemuMonitor&) = delete;
    QemuMonitor& operator=(const QemuMonitor&) = delete;

    // Asks for the display's picture (QEMU's screendump, written to `ppm`)
    // and reads it. False, with `error`, when QEMU does not answer or has no
    // picture; a later call tries again.
    bool screenDump(const std::filesystem::path& ppm, RgbImage& image, std::string& error);

    class Session;

  private:
    std::filesystem::path socket_;
    std::unique_ptr<Session> session_;
};

} // namespace sim
