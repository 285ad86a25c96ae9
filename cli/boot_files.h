// The kernel file and image of the boot that just reached the jump, read on
// the host, for --verify: from the device's store, or, for a UFS disk, from
// the host folder its file system was made from.
#pragma once

#include "sim/placed_image.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>

// The host folders the file systems of disks were made from, by unit.
using DiskFileFolders = std::map<int, std::filesystem::path>;

// False, with the reason in `why_not`, when the files are not known on the
// host (HTTP, a disk not in `disk_files`) or can't be read.
// The host file the boot's kernel was read from, as it is there (gzipped or
// not); none, with the reason in `why_not`, as above.
std::optional<std::filesystem::path> kernelHostFile(std::string& why_not,
                                                    const DiskFileFolders& disk_files = {});

bool expectedPlacementOfBoot(sim::JumpRoutine routine, sim::ExpectedPlacement& expected, std::string& why_not,
                             const DiskFileFolders& disk_files = {});
