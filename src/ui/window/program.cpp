#include "ui/window/program.h"

#include "boot/boot_context.h"
#include "console/console.h"
#include "ui/menu_context.h"
#include "ui/window/root_window.h"

#include <commctrl.h>

int runProgram(HINSTANCE instance) {
    MenuContext::instance(); // the settings, before any window
    InitCommonControls();
    auto* app = new Application(instance);
    Console::current();
    app->root_window = new RootWindow(*app);

    int exit_code = 0;
    if (registerWindowClass(instance, rootWindowProc) && app->root_window->create()) {
        BootContext::instance();
        exit_code = messageLoop(*app);
    }

    BootContext::destroyInstance();
    delete app->root_window;
    app->root_window = nullptr;
    delete app;
    Console::releaseCurrent();
    MenuContext::destroyInstance();
    return exit_code;
}
