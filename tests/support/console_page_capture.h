// The Console page for tests: what reaches the output box is kept, so a test
// sees what the screen console shows.
#pragma once

#include "console/console_page_output.h"
#include "platform/wide_string.h"
#include "ui/menu_context.h"

#include <memory>
#include <string>

class ConsolePageCapture : public ConsolePageControls {
  public:
    ConsolePageCapture() : output(*this) {}
    void appendToOutputBox(const char16_t* text) override { box += text; }
    void readFileName(char16_t* buffer, size_t capacity) override {
        wideCopy(buffer, capacity, file_name.c_str());
    }
    void saveToFileSwitchedOff() override { ++switched_off; }

    // The box as UTF-8 with the carriage returns the box adds taken out.
    std::string text() const {
        std::string lines;
        for (char c : utf16ToUtf8(box)) {
            if (c != '\r')
                lines += c;
        }
        return lines;
    }
    void attach(MenuContext& menu) { menu.console_page = &output; }

    std::u16string box;
    std::u16string file_name = u"bootlog.txt";
    int switched_off = 0;
    ConsolePageOutput output;
};
