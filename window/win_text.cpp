#include "window/win_text.h"

#include "platform/wide_string.h"
#include "ui/window/wide_cast.h"
#include "ui/window/win32.h"

#include <shellapi.h>

std::string utf8(const wchar_t* text) {
    return utf16ToUtf8(fromWide(text));
}

std::vector<std::string> commandLineWords() {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(utf8(words[i]));
    LocalFree(words);
    return args;
}
