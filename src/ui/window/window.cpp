#include "ui/window/window.h"

#include "resources/resource.h"
#include "ui/menu_context.h"
#include "ui/window/root_window.h"

#include <iterator>

LRESULT Window::handleMessage(HWND, UINT message, WPARAM, LPARAM) {
    if (message != WM_DESTROY)
        return 0;
    PostQuitMessage(0);
    return 1;
}

ClassName className(HINSTANCE instance) {
    ClassName name{};
    LoadStringW(instance, IDS_CLASS_NAME, name.text, static_cast<int>(std::size(name.text)));
    return name;
}

bool registerWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = procedure;
    window_class.cbWndExtra = sizeof(LONG_PTR); // word 0: the window object
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PROGRAM));
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    ClassName name = className(instance);
    window_class.lpszClassName = name.text;
    return RegisterClassW(&window_class) != 0;
}

int messageLoop(Application& app) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        RootWindow* root = app.root_window;
        bool key_or_tap = message.message == WM_KEYDOWN || message.message == WM_LBUTTONDOWN;
        if (root != nullptr && key_or_tap && MenuContext::instance()->prefs.auto_boot > 0)
            root->cancelAutoBoot();
        if (root != nullptr && root->preTranslate(&message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK rootWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Window* object;
    if (message == WM_CREATE) {
        object = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(object));
    } else {
        object = reinterpret_cast<Window*>(GetWindowLongPtrW(window, 0));
    }
    if (object != nullptr && object->handleMessage(window, message, wparam, lparam))
        return 0;
    return DefWindowProcW(window, message, wparam, lparam);
}

INT_PTR CALLBACK pageDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    Window* object;
    if (message == WM_INITDIALOG) {
        object = reinterpret_cast<Window*>(lparam);
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    } else {
        object = reinterpret_cast<Window*>(GetWindowLongPtrW(dialog, DWLP_USER));
    }
    return object != nullptr ? object->handleMessage(dialog, message, wparam, lparam) : 0;
}
