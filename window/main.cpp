// zandrel-window: the program's window under Wine, on the simulated handheld.
// The window calls go to Wine's user32 and comctl32; every device call (the
// object store, storage cards, disks, physical memory, COM1, sockets, the
// jump) to the simulated handheld in this process, as for zandrel-sim. The
// command line is zandrel-sim's; the settings options are not used here, the
// pages show the device's settings file.
#include "cli/device_session.h"
#include "cli/options.h"
#include "cli/terminal.h"
#include "ui/menu_context.h"
#include "ui/window/program.h"
#include "window/box_answerer.h"
#include "window/win_text.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    std::vector<std::string> args = commandLineWords();
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    ParseResult parsed = parseOptions(static_cast<int>(argv.size()), argv.data());
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "zandrel-window: %s\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    const CliOptions& options = parsed.options;
    // Both count from zandrel-sim's press of Boot; here the user presses it.
    if (options.timing || options.fail_call) {
        std::fputs(
            "zandrel-window: --timing and --fail-call are zandrel-sim's; the window does not take them\n",
            stderr);
        return 2;
    }
    Terminal terminal(!options.quiet);
    DeviceSession device(options, terminal);
    if (!device.setUp())
        return 2;
    device.connectOutputs();
    device.end_process = [](int status) { ExitProcess(static_cast<UINT>(status)); };
    MenuContext* menu = MenuContext::instance();
    if (!device.useMachineNamed(menu->platformName(menu->platformIndex())))
        return 2;

    // Nobody at the screen: the boxes are answered as --answer and --answers say.
    std::unique_ptr<BoxAnswerer> answerer;
    if (options.answer_set) {
        answerer = std::make_unique<BoxAnswerer>();
        answerer->answer_yes = options.answer_yes;
        answerer->scripted.assign(options.answers.begin(), options.answers.end());
        answerer->on_answer = [&terminal](const AnsweredBox& box) {
            terminal.err(messageBoxLine(box.caption, box.text, box.answer));
        };
    }
    return runProgram(instance);
}
