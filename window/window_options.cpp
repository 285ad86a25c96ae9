#include "window/window_options.h"

#include <string>

WindowOptions parseWindowOptions(const std::vector<std::string>& args) {
    WindowOptions result;
    std::vector<const char*> common = {"zandrel-window"};
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--unattended") {
            common.push_back(args[i].c_str());
            continue;
        }
        if (i + 1 >= args.size()) {
            result.error = "--unattended needs a folder";
            return result;
        }
        result.unattended = args[++i];
    }
    ParseResult parsed = parseOptions(static_cast<int>(common.size()), common.data());
    result.common = parsed.options;
    result.error = parsed.error;
    const CliOptions& o = result.common;
    // These count from zandrel-sim's own press of Boot, or need no window.
    if (result.error.empty() &&
        (o.timing || o.fail_call || o.from_snapshot || o.list_machines || o.screen_size))
        result.error = "--timing, --fail-call, --from-snapshot, --list-machines and --screen-size are "
                       "zandrel-sim's; the window does not take them";
    if (result.unattended)
        result.common.answer_set = true;
    return result;
}

const char* windowUsageText() {
    static const std::string text =
        std::string("usage: zandrel-window [options]\n"
                    "Opens the program's window on a simulated handheld; Boot boots the kernel, as in\n"
                    "zandrel-sim. After the jump the desktop is the handheld's screen: it shows what the\n"
                    "kernel draws while it runs, and once it has stopped, until a key or a tap; then the\n"
                    "program ends with the hand-off's status. The handheld is the machine the Main page\n"
                    "holds when Boot is pressed, unless --profile fixes it. The settings options below\n"
                    "are what the pages start from.\n"
                    "\n"
                    "Window:\n"
                    "  --unattended FOLDER   nobody is at the screen: message boxes are answered (yes,\n"
                    "                        unless --answer or --answers say otherwise), Boot is\n"
                    "                        pressed once the window is up unless auto boot will, and\n"
                    "                        screenshots of the window before Boot, of the Console page\n"
                    "                        at the end and of the kernel's screen when it stops go to\n"
                    "                        FOLDER (before-boot.png, console.png, kernel-screen.png)\n"
                    "\n"
                    "zandrel-sim's options, but for --timing, --fail-call, --from-snapshot,\n"
                    "--list-machines and --screen-size:\n"
                    "\n") +
        optionsText();
    return text.c_str();
}
