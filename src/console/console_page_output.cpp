#include "console/console_page_output.h"

#include "platform/wide_format.h"
#include "platform/wide_string.h"
#include "ui/menu_context.h"

#include <cstdlib>
#include <vector>

ConsolePageOutput::ConsolePageOutput(ConsolePageControls& controls)
    : controls_(controls), log_file_(ce::INVALID_HANDLE_VALUE) {}

bool ConsolePageOutput::logFileOpen() const {
    return log_file_ != ce::INVALID_HANDLE_VALUE;
}

ConsolePageOutput::~ConsolePageOutput() {
    if (logFileOpen())
        ce::CloseHandle(log_file_);
}

void ConsolePageOutput::append(const char16_t* text, bool screen_only) {
    if (!screen_only && save_to_file_) {
        if (logFileOpen() || openLogFile()) {
            writeToLog(text);
            return;
        }
        save_to_file_ = false;
        controls_.saveToFileSwitchedOff();
    }
    showOnScreen(text);
}

// One byte per character, its low 7 bits; no carriage returns are added.
void ConsolePageOutput::writeToLog(const char16_t* text) {
    size_t length = wideLength(text);
    std::vector<char> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>(text[i] & 0x7F);
    ce::DWORD written = 0;
    ce::WriteFile(log_file_, bytes.data(), static_cast<ce::DWORD>(length), &written, nullptr);
    ce::FlushFileBuffers(log_file_);
}

void ConsolePageOutput::showOnScreen(const char16_t* text) {
    size_t length = wideLength(text);
    size_t line_feeds = 0;
    for (size_t i = 0; i < length; ++i)
        line_feeds += text[i] == u'\n' ? 1 : 0;
    auto* copy = static_cast<char16_t*>(std::malloc((length + line_feeds + 1) * sizeof(char16_t)));
    if (copy == nullptr)
        return;
    char16_t* out = copy;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == u'\n')
            *out++ = u'\r';
        *out++ = text[i];
    }
    *out = 0;
    controls_.appendToOutputBox(copy);
    std::free(copy);
}

bool ConsolePageOutput::openLogFile() {
    char16_t directory[ce::MAX_PATH];
    if (!findTemporaryDirectory(directory)) {
        append(u"couldn't find temporary directory.\n", true);
        return false;
    }
    char16_t name[kFileNameSize + 1];
    controls_.readFileName(name, kFileNameSize + 1);
    // A path that does not fit is refused rather than cut to another file's name.
    if (wideLength(directory) + wideLength(name) + 3 > ce::MAX_PATH)
        return false;
    char16_t path[ce::MAX_PATH];
    wsprintfW(path, ce::MAX_PATH, u"\\%s\\%s", directory, name);
    ce::HANDLE file = ce::CreateFileW(path, ce::GENERIC_WRITE, 0, nullptr, ce::CREATE_ALWAYS,
                                      ce::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == ce::INVALID_HANDLE_VALUE)
        return false;
    char16_t message[ce::MAX_PATH + 32];
    wsprintfW(message, ce::MAX_PATH + 32, u"log file is %s\n", path);
    append(message, true);
    log_file_ = file;
    return true;
}
