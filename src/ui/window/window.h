// The application shell's pieces: the Application object, the Window base of
// every window object, the window class, the message loop and the two
// procedures through which the window system reaches the window objects.
#pragma once

#include "ui/window/win32.h"

class RootWindow;

class Application {
  public:
    explicit Application(HINSTANCE instance) : module_instance(instance) {}
    virtual ~Application() = default;

    HINSTANCE module_instance;
    HWND command_bar = nullptr;
    RootWindow* root_window = nullptr;
};

class Window {
  public:
    Window(Application& application, HWND parent_window) : parent(parent_window), app(application) {}
    virtual ~Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Nonzero when handled. The base handles WM_DESTROY by ending the message loop.
    virtual LRESULT handleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    HWND hwnd = nullptr;
    HWND parent;
    Application& app;
};

// The root window's class, "ZANDREL" from the string table.
bool registerWindowClass(HINSTANCE instance, WNDPROC procedure);
struct ClassName {
    wchar_t text[32];
};
// A copy with its terminating zero: the string table's own text has none.
ClassName className(HINSTANCE instance);

// Runs until the quit message and answers its exit code.
int messageLoop(Application& app);

LRESULT CALLBACK rootWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK pageDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
