// How Windows CE divides a handheld's RAM when it starts: the kernel's part at
// the bottom of the first bank (its data and page tables, then the display
// driver's frames where the display keeps its pixels in RAM), the object store
// (the RAM file system; half of the RAM as the devices ship, a split the user
// moves in the control panel), and program memory, the rest: what programs
// commit and their heaps grow into. GlobalMemoryStatus counts program memory only.
#pragma once

#include "sim/device_profile.h"

#include <cstdint>
#include <vector>

namespace sim {

// The kernel's data and page tables, from the first bank's start.
constexpr uint32_t kKernelDataBytes = 0x00100000;

// The physical ranges of the kernel's part, lowest first.
std::vector<RamBank> kernelPart(const DeviceProfile& profile);
uint32_t kernelPartBytes(const DeviceProfile& profile);
// Half of the RAM, as the devices ship.
uint32_t defaultObjectStoreBytes(const DeviceProfile& profile);
// Program memory beside an object store of `object_store` bytes; 0 when the
// object store leaves none.
uint32_t programMemoryBytes(const DeviceProfile& profile, uint32_t object_store);

} // namespace sim
