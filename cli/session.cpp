#include "cli/session.h"

#include "boot/boot_context.h"
#include "cli/device_session.h"
#include "cli/hand_off_runner.h"
#include "cli/headless_window.h"
#include "cli/settings_options.h"
#include "cli/terminal.h"
#include "console/console.h"
#include "platform/wide_string.h"
#include "sim/device_profile.h"
#include "sim/disk.h"
#include "sim/handheld.h"
#include "sim/ram_split.h"
#include "ui/menu_context.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace {

constexpr uint32_t kMB = 1024 * 1024;

// One line a machine: name, processor, RAM and its banks, default object store.
void listMachines() {
    for (const sim::DeviceProfile& profile : sim::deviceProfiles()) {
        std::string banks;
        for (const sim::RamBank& bank : sim::ramBanks(profile)) {
            char text[40];
            std::snprintf(text, sizeof text, "%s%u MB at 0x%08x", banks.empty() ? "" : ", ", bank.size / kMB,
                          bank.base);
            banks += text;
        }
        std::printf("%s\t%s\tRAM %u MB: %s\tobject store %u MB\n", utf16ToUtf8(profile.name).c_str(),
                    sim::processorName(profile.processor), profile.ram_size / kMB, banks.c_str(),
                    sim::defaultObjectStoreBytes(profile) / kMB);
    }
}

// The Boot button: read the pages, the safety question, then the boot.
void pressBoot(MenuContext& menu, HeadlessRootWindow& window) {
    menu.readPages();
    if (menu.prefs.safety_message) {
        ce::UINT icon = menu.prefs.pause_before_boot ? ce::MB_ICONQUESTION : ce::MB_ICONEXCLAMATION;
        if (menu.messageBox(u"Data in memory will be lost.\nAre you sure?", u"WARNING",
                            ce::MB_YESNO | icon) != ce::IDYES)
            return;
    }
    window.resetProgress();
    menu.print(u"BOOT START\n");
    menu.readPages();
    menu.save();
    menu.startBoot();
}

class Session {
  public:
    Session(const CliOptions& options, const std::function<void()>& at_boot)
        : options_(options), at_boot_(at_boot), terminal_(!options.quiet), device_(options, terminal_) {}
    int run();

  private:
    const CliOptions& options_;
    const std::function<void()>& at_boot_;
    Terminal terminal_;
    DeviceSession device_;
};

int Session::run() {
    if (options_.list_machines) {
        listMachines();
        return 0;
    }
    if (options_.machine && profileNamed(*options_.machine) == nullptr) {
        std::fprintf(stderr, "zandrel-sim: no machine named \"%s\" (see --list-machines)\n",
                     options_.machine->c_str());
        return 2;
    }
    if (!device_.setUp())
        return 2;
    device_.connectOutputs();
    if (options_.from_snapshot)
        return runSnapshot(options_, terminal_);

    // The program's entry, in its order: settings, screen console, window, boot context.
    MenuContext* menu = MenuContext::instance();
    Console::current();
    HeadlessRootWindow window(terminal_);
    HeadlessConsolePage console_page(terminal_);
    HeadlessMainPage main_page(*menu);
    HeadlessOptionPage option_page(*menu);
    menu->root_window = &window;
    menu->main_page = &main_page;
    menu->option_page = &option_page;
    menu->console_page = &console_page.output;
    BootContext::instance();

    applyToPages(options_, main_page.form, option_page.form);
    int selection = main_page.form.platform_selection;
    // The machine cannot be made when --object-store leaves it no program memory.
    bool usable = (selection < 0 || device_.useMachineNamed(main_page.form.platforms[selection].name)) &&
                  device_.emulatorFits();
    int status = 2;
    if (usable && options_.screen_size) {
        const sim::DeviceProfile& profile = sim::Handheld::get().profile();
        std::printf("%dx%d\n", profile.screen_width, profile.screen_height);
        status = 0;
    } else if (usable) {
        if (at_boot_)
            at_boot_();
        device_.bootPressed();
        pressBoot(*menu, window);
        device_.reportFailedCall();
        // Back here only when the boot failed or was cancelled.
        status = 1;
    }

    BootContext::destroyInstance();
    menu->root_window = nullptr;
    menu->main_page = nullptr;
    menu->option_page = nullptr;
    menu->console_page = nullptr;
    Console::releaseCurrent();
    MenuContext::destroyInstance();
    return status;
}

} // namespace

int runSession(const CliOptions& options, const std::function<void()>& at_boot) {
    Session session(options, at_boot);
    return session.run();
}
