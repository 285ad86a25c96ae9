#include "window/machine_at_boot.h"

#include "boot/boot_context.h"
#include "platform/win32/reported_screen.h"
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
    // The desktop stands for the handheld's display: its geometry and depth
    // are the machine's, not the X server's or the desktop's.
    const sim::DeviceProfile& profile = sim::Handheld::get().profile();
    reportScreen({profile.screen_width, profile.screen_height, profile.bits_per_pixel});
    return bootSequence(argument, menu);
}

} // namespace

void handheldFollowsPages(MachineRule machine_for) {
    rule = std::move(machine_for);
    BootContext::instance();
    MenuContext::instance()->boot_callback = bootOnThePagesMachine;
}
