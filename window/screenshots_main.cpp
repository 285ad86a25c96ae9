// zandrel-window-screenshots OUTPUT_PREFIX: opens the window on the embedded
// default device, shows each page in turn and writes a screenshot of the whole
// screen for each (ImageMagick's import), as OUTPUT_PREFIX-main.png and so on.
#include "cli/device_session.h"
#include "cli/options.h"
#include "cli/terminal.h"
#include "resources/resource.h"
#include "window/win_text.h"
#include "window/window_driver.h"

#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char** environ;

namespace {

bool screenshot(const std::string& file) {
    const char* argv[] = {"import", "-window", "root", file.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "import", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    std::vector<std::string> args = commandLineWords();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: zandrel-window-screenshots OUTPUT_PREFIX\n");
        return 2;
    }
    const std::string& prefix = args[1];

    CliOptions options;
    options.quiet = true;
    Terminal terminal(false);
    DeviceSession device(options, terminal);
    if (!device.setUp())
        return 2;
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
