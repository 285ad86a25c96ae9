// The serial console over the Windows CE driver "COM1:", and the shared COM1
// handle that the boot opens once per process with its banner.
#include "console/console.h"
#include "ui/menu_context.h"

namespace {

ce::HANDLE shared_port = ce::INVALID_HANDLE_VALUE;

// Written once, when the port is first opened: the text and its terminating zero.
constexpr char kBanner[] = "\r\n--------ZANDREL--------\r\n";
static_assert(sizeof(kBanner) == 28);

void writeByte(ce::HANDLE port, char byte) {
    ce::DWORD written = 0;
    ce::WriteFile(port, &byte, 1, &written, nullptr);
}

} // namespace

ce::HANDLE openComPort() {
    if (shared_port != ce::INVALID_HANDLE_VALUE)
        return shared_port;
    ce::HANDLE port = ce::CreateFileW(u"COM1:", ce::GENERIC_READ | ce::GENERIC_WRITE, 0, nullptr,
                                      ce::OPEN_EXISTING, 0, nullptr);
    if (port == ce::INVALID_HANDLE_VALUE)
        return port;
    ce::DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    bool configured = ce::GetCommState(port, &dcb) != ce::FALSE;
    if (configured) {
        dcb.BaudRate = static_cast<ce::DWORD>(MenuContext::instance()->prefs.serial_speed);
        configured = ce::SetCommState(port, &dcb) != ce::FALSE;
    }
    if (!configured) {
        ce::CloseHandle(port);
        return ce::INVALID_HANDLE_VALUE;
    }
    ce::DWORD written = 0;
    ce::WriteFile(port, kBanner, sizeof(kBanner), &written, nullptr);
    shared_port = port;
    return port;
}

void resetComPort() {
    if (shared_port != ce::INVALID_HANDLE_VALUE)
        ce::CloseHandle(shared_port);
    shared_port = ce::INVALID_HANDLE_VALUE;
}

ComPortConsole::ComPortConsole() : Console(kSerial), port_(ce::INVALID_HANDLE_VALUE) {
    ascii_[0] = 0;
}

bool ComPortConsole::convertText() {
    int needed = ce::WideCharToMultiByte(ce::CP_ACP, 0, text_, -1, nullptr, 0, nullptr, nullptr);
    // The count includes the terminator.
    if (needed <= 0 || needed > static_cast<int>(kTextSize))
        return false;
    return ce::WideCharToMultiByte(ce::CP_ACP, 0, text_, -1, ascii_, kTextSize, nullptr, nullptr) > 0;
}

void ComPortConsole::vprint(const char16_t* format, va_list args) {
    va_list again;
    va_copy(again, args);
    this->format(format, args);
    // A code page of two bytes a character: half as many characters fit.
    bool converted = convertText();
    if (!converted) {
        this->format(format, again, kTextSize / 2);
        converted = convertText();
    }
    va_end(again);
    if (!converted)
        return;
    for (const char* p = ascii_; *p != 0; ++p) {
        if (*p == '\n')
            putChar('\r');
        putChar(static_cast<uint8_t>(*p));
    }
}

void ComPortConsole::putChar(uint8_t byte) {
    writeByte(port_, static_cast<char>(byte));
}

bool ComPortConsole::open() {
    if (port_ == ce::INVALID_HANDLE_VALUE)
        port_ = openComPort();
    if (port_ == ce::INVALID_HANDLE_VALUE) {
        printOnScreen(u"couldn't open COM1\n");
        return false;
    }
    ce::DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    ce::GetCommState(port_, &dcb);
    printOnScreen(u"BaudRate %d, ByteSize %#x, Parity %#x, StopBits %#x\n", dcb.BaudRate, dcb.ByteSize,
                  dcb.Parity, dcb.StopBits);
    return true;
}
