#include "cli/headless_window.h"

#include "console/console.h"
#include "platform/wide_string.h"

#include <string>

ce::HWND HeadlessRootWindow::handle() const {
    // Message boxes need an owner; the headless window has this one.
    return reinterpret_cast<ce::HWND>(static_cast<uintptr_t>(0x500));
}

void HeadlessRootWindow::progressStep(const char* label) {
    if (label != nullptr && *label != 0)
        Console::current()->print(u"[progress] %S\n", label);
    terminal_.setProgress(++position_);
}

void HeadlessRootWindow::resetProgress() {
    position_ = 0;
    terminal_.setProgress(0);
}

void HeadlessConsolePage::appendToOutputBox(const char16_t* text) {
    // The box shows CR LF line ends; a terminal wants LF alone.
    std::u16string lines;
    for (const char16_t* p = text; *p != 0; ++p) {
        if (*p != u'\r')
            lines += *p;
    }
    terminal_.out(utf16ToUtf8(lines));
}

void HeadlessConsolePage::readFileName(char16_t* buffer, size_t capacity) {
    wideCopy(buffer, capacity, u"bootlog.txt");
}
