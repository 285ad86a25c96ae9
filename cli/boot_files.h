// The kernel file and image of the boot that just reached the jump, read on
// the host from the device's store, for --verify.
#pragma once

#include "sim/placed_image.h"

#include <string>

// False, with the reason in `why_not`, when the files are not in the store
// (HTTP, a UFS disk) or can't be read.
bool expectedPlacementOfBoot(sim::JumpRoutine routine, sim::ExpectedPlacement& expected,
                             std::string& why_not);
