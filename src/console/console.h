// Where progress and diagnostics go: the screen console (the Console page or
// its log file) and the serial consoles built on the COM1 driver.
#pragma once

#include "platform/wince.h"

#include <cstdarg>
#include <cstdint>

class Console {
  public:
    static constexpr int16_t kScreen = 1;
    static constexpr int16_t kSerial = 2;
    static constexpr size_t kTextSize = 256;

    Console();
    virtual ~Console() = default;

    // Formats with the wide printf conventions and emits. A text longer than
    // the 256-character buffer loses characters from its middle ("..."), so
    // its end, where a message gives its reason and line end, stays.
    void print(const char16_t* format, ...);
    virtual void vprint(const char16_t* format, va_list args);
    // Makes the console usable; the screen console always is.
    virtual bool open();
    int16_t kind() const { return kind_; }

    // The current-console registry. `current` creates the screen console on
    // first use; `setCurrent` does not take ownership; `releaseCurrent`
    // deletes only the screen console that `current` made.
    static Console* current();
    // The screen console of the registry, made on first use; what a boot falls
    // back to when its serial console cannot be used.
    static Console* screen();
    static void setCurrent(Console* console);
    static void releaseCurrent();

  protected:
    // The characters of a long text's end that are kept.
    static constexpr size_t kKeptEnd = 124;

    explicit Console(int16_t kind);
    // Into `text_`, at most `capacity` characters with the terminator.
    void format(const char16_t* format, va_list args, size_t capacity = kTextSize);
    // The screen path: the text goes to the Console page through the MenuContext.
    void printOnScreen(const char16_t* format, ...);

    int16_t kind_;
    char16_t text_[kTextSize];
};

// A console that writes to the Windows CE serial driver "COM1:". A text whose
// 8-bit form does not fit the byte buffer is shortened to half as many characters.
class ComPortConsole : public Console {
  public:
    ComPortConsole();
    void vprint(const char16_t* format, va_list args) override;
    bool open() override;

  protected:
    // The 8-bit form of the formatted text in `ascii_`; false when it does not fit.
    bool convertText();
    // Sends one byte of the text: to COM1 here, to the registers in the UART consoles.
    virtual void putChar(uint8_t byte);

    ce::HANDLE port_; // invalid until opened
    char ascii_[kTextSize];
};

// Opens COM1 once per process at `serial_speed` and writes the banner; the
// handle then stays open. Returns the invalid handle when it cannot.
ce::HANDLE openComPort();
// Forgets the shared handle (closing it): a new simulated device starts afresh.
void resetComPort();

// Formatted text to the debugger output; returns the characters formatted.
int debugPrint(const char16_t* format, ...);

// Prints through whatever console a BootContext slot holds at this moment;
// nothing while the slot or the console is empty.
void slotVprint(Console* const* slot, const char16_t* format, va_list args);
