// zandrel-window-screenshots OUTPUT_PREFIX [OPTIONS]: opens the window on the
// device and settings the options give (zandrel-window's), shows each page in turn and writes a screenshot of
// the whole screen for each (ImageMagick's import), as OUTPUT_PREFIX-main.png and so on.
#include "cli/device_session.h"
#include "cli/settings_options.h"
#include "cli/terminal.h"
#include "resources/resource.h"
#include "ui/menu_context.h"
#include "window/handheld_font.h"
#include "window/screen_capture.h"
#include "window/win_text.h"
#include "window/window_driver.h"
#include "window/window_options.h"

#include <cstdio>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    std::vector<std::string> args = commandLineWords();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: zandrel-window-screenshots OUTPUT_PREFIX [zandrel-window's options]\n");
        return 2;
    }
    const std::string prefix = args[1];
    args.erase(args.begin(), args.begin() + 2);
    WindowOptions parsed = parseWindowOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "zandrel-window-screenshots: %s\n", parsed.error.c_str());
        return 2;
    }
    CliOptions& options = parsed.common;
    options.quiet = true;
    Terminal terminal(false);
    DeviceSession device(options, terminal);
    if (!device.setUp())
        return 2;
    applyToSettings(options, *MenuContext::instance());
    useTheHandheldsSystemFont();
    bool written = true;
    WindowDriver::run([&](WindowDriver& window) {
        const char* const pages[] = {"main", "option", "console"};
        for (int page = 0; page < 3; ++page) {
            if (page > 0)
                window.tapTab(page);
            Sleep(700);
            written = screenshot(prefix + "-" + pages[page] + ".png") && written;
        }
    });
    return written ? 0 : 1;
}
