// zandrel-window: the program's window under Wine, on the simulated handheld.
// The window calls go to Wine's user32 and comctl32; every device call (the
// object store, storage cards, disks, physical memory, COM1, sockets, the
// jump) to the simulated handheld in this process, as for zandrel-sim.
#include "cli/device_session.h"
#include "cli/settings_options.h"
#include "cli/terminal.h"
#include "ui/menu_context.h"
#include "ui/window/program.h"
#include "window/box_answerer.h"
#include "window/handheld_font.h"
#include "window/lcd_view.h"
#include "window/machine_at_boot.h"
#include "window/unattended_run.h"
#include "window/win_text.h"
#include "window/window_options.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// Nobody at the screen: the boxes are answered as --answer and --answers say.
std::unique_ptr<BoxAnswerer> boxAnswerer(const CliOptions& options, Terminal& terminal) {
    if (!options.answer_set)
        return nullptr;
    auto answerer = std::make_unique<BoxAnswerer>();
    answerer->answer_yes = options.answer_yes;
    answerer->scripted.assign(options.answers.begin(), options.answers.end());
    answerer->on_answer = [&terminal](const AnsweredBox& box) {
        terminal.err(messageBoxLine(box.caption, box.text, box.answer));
    };
    return answerer;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    std::vector<std::string> args = commandLineWords();
    args.erase(args.begin());
    WindowOptions parsed = parseWindowOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "zandrel-window: %s\nTry \"zandrel-window --help\".\n", parsed.error.c_str());
        return 2;
    }
    const CliOptions& options = parsed.common;
    if (options.help) {
        std::fputs(windowUsageText(), stdout);
        return 0;
    }
    Terminal terminal(!options.quiet);
    DeviceSession device(options, terminal);
    if (!device.setUp())
        return 2;
    device.connectOutputs();
    device.end_process = [](int status) { ExitProcess(static_cast<UINT>(status)); };

    // The pages open on the settings with the command line's settings over them.
    MenuContext* menu = MenuContext::instance();
    applyToSettings(options, *menu);
    if (!device.useMachineNamed(menu->platformName(menu->nearestPlatformIndex())))
        return 2;
    handheldFollowsPages([&device](const char16_t* name) { return device.machineFor(name); });
    useTheHandheldsSystemFont();

    std::unique_ptr<BoxAnswerer> answerer = boxAnswerer(options, terminal);
    // After the jump the desktop is the handheld's screen.
    LcdViewOptions lcd;
    lcd.from_qemu = options.emulator == "qemu";
    device.run_hand_off = [&lcd](const DeviceSession::HandOffTask& task) {
        return runShowingTheLcd(task, lcd);
    };
    if (!parsed.unattended) {
        device.at_jump = leaveTheWindowOnTheLcd;
        return runProgram(instance);
    }
    UnattendedRun unattended(*parsed.unattended);
    lcd.last_picture = unattended.kernelScreenFile();
    device.at_jump = [&unattended] {
        unattended.atJump();
        leaveTheWindowOnTheLcd();
    };
    bool auto_boot = menu->prefs.auto_boot > 0;
    int exit_code = WindowDriver::run([&](WindowDriver& window) { unattended.drive(window, auto_boot); });
    return unattended.bootCameBack() || unattended.endedBeforeBoot() ? 1 : exit_code;
}
