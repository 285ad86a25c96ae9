// A console that keeps everything printed on it, for tests.
#pragma once

#include "console/console.h"
#include "platform/wide_format.h"
#include "platform/wide_string.h"

#include <string>

class RecordingConsole : public Console {
  public:
    void vprint(const char16_t* format, va_list args) override {
        char16_t text[1024];
        wvsprintfW(text, 1024, format, args);
        output += text;
    }
    // The output so far as UTF-8, for readable assertions.
    std::string text() const { return utf16ToUtf8(output); }

    std::u16string output;
};

// A console that formats everything (so bad formats still show) and keeps
// nothing, for fuzzers and other long runs.
class DiscardingConsole : public Console {
  public:
    void vprint(const char16_t* format, va_list args) override { wvsprintfW(text_, kTextSize, format, args); }
};
