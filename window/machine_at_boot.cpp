#include "window/machine_at_boot.h"

#include "boot/boot_context.h"
#include "platform/win32/screen_depth.h"
#include "sim/handheld.h"
#include "ui/menu_context.h"

namespace {

MachineRule rule;

int bootOnThePagesMachine(uint32_t argument, MenuContext* menu) {
    const sim::DeviceProfile* wanted = rule ? rule(menu->platformName(menu->platformIndex())) : nullptr;
    if (wanted != nullptr && wanted != &sim::Handheld::get().profile()) {
        BootContext::destroyInstance();
        sim::Handheld::get().setProfile(*wanted);
        BootContext::instance(); // registers the boot sequence itself: this goes before it again
        menu->boot_callback = bootOnThePagesMachine;
    }
    // The desktop stands for the handheld's display: its depth is the machine's,
    // not the X server's.
    reportScreenDepth(sim::Handheld::get().profile().bits_per_pixel);
    return bootSequence(argument, menu);
}

} // namespace

void handheldFollowsPages(MachineRule machine_for) {
    rule = std::move(machine_for);
    BootContext::instance();
    MenuContext::instance()->boot_callback = bootOnThePagesMachine;
}
