// zandrel-window-help: zandrel-window's help, built by the usual compiler, so
// that it is printed without Wine, an X server or a Wine prefix
// (scripts/window.sh --help).
#include "window/window_options.h"

#include <cstdio>

int main() {
    std::fputs(windowUsageText(), stdout);
    return 0;
}
