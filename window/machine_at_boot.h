// The simulated handheld is the machine the Main page holds when a boot
// starts, as on a device the machine picked is the device: each boot start
// (the pages already read into the settings) first makes the handheld the
// machine `machine_for` answers for the page's machine name, when that is
// another machine than the handheld's. The previous attempt's components
// hold the old machine's pages and register mappings, so the boot context
// that owns them is made afresh first. The screen the boot reads is the
// handheld's too.
#pragma once

#include <functional>

namespace sim {
struct DeviceProfile;
}

// Null from `machine_for`: the handheld stays as it is.
using MachineRule = std::function<const sim::DeviceProfile*(const char16_t* name)>;

// Creates the boot context and puts the rule before its boot sequence.
void handheldFollowsPages(MachineRule machine_for);
