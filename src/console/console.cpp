#include "console/console.h"

#include "platform/wide_format.h"
#include "ui/menu_context.h"

namespace {

Console* current_console = nullptr;
// The screen console made by `current`, which the registry owns.
Console* screen_console = nullptr;

} // namespace

Console::Console() : Console(kScreen) {}

Console::Console(int16_t kind) : kind_(kind) {
    text_[0] = 0;
}

void Console::print(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    vprint(format, args);
    va_end(args);
}

void Console::format(const char16_t* format, va_list args, size_t capacity) {
    wvsprintfKeepingEnd(text_, capacity, capacity < 2 * kKeptEnd ? capacity / 2 : kKeptEnd, format, args);
}

void Console::vprint(const char16_t* format, va_list args) {
    this->format(format, args);
    MenuContext* menu = MenuContext::instance();
    if (menu != nullptr)
        menu->print(text_);
}

void Console::printOnScreen(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    Console::vprint(format, args);
    va_end(args);
}

bool Console::open() {
    return true;
}

Console* Console::current() {
    if (current_console == nullptr)
        current_console = screen();
    return current_console;
}

Console* Console::screen() {
    // One screen console per run: it is made again only after releaseCurrent.
    if (screen_console == nullptr)
        screen_console = new Console;
    return screen_console;
}

void Console::setCurrent(Console* console) {
    current_console = console;
}

void Console::releaseCurrent() {
    if (current_console == screen_console)
        current_console = nullptr;
    delete screen_console;
    screen_console = nullptr;
}

void slotVprint(Console* const* slot, const char16_t* format, va_list args) {
    if (slot != nullptr && *slot != nullptr)
        (*slot)->vprint(format, args);
}

int debugPrint(const char16_t* format, ...) {
    char16_t buffer[2048];
    va_list args;
    va_start(args, format);
    int count = wvsprintfW(buffer, 2048, format, args);
    va_end(args);
    if (count > 0)
        ce::OutputDebugStringW(buffer);
    return count;
}
