// The Console page's output path: text goes to the output box, with a
// carriage return before every line feed, or, while "save to file" is on,
// only to the log file beside the settings on the storage card.
#pragma once

#include "platform/wince.h"
#include "ui/views.h"

#include <cstddef>

// The page's controls that the output path uses.
class ConsolePageControls {
  public:
    virtual ~ConsolePageControls() = default;
    // Replaces the selection at the end of the output box, scrolls to it and repaints at once.
    virtual void appendToOutputBox(const char16_t* text) = 0;
    // The text of the file-name box (322).
    virtual void readFileName(char16_t* buffer, size_t capacity) = 0;
    // Clears the "save to file" check box (321) and disables the file-name box.
    virtual void saveToFileSwitchedOff() = 0;
};

class ConsolePageOutput : public ConsoleView {
  public:
    static constexpr size_t kFileNameSize = 260;

    explicit ConsolePageOutput(ConsolePageControls& controls);
    ~ConsolePageOutput() override;

    void append(const char16_t* text, bool screen_only) override;
    bool openLogFile();

    void setSaveToFile(bool on) { save_to_file_ = on; }
    bool saveToFile() const { return save_to_file_; }
    bool logFileOpen() const;

  private:
    void writeToLog(const char16_t* text);
    void showOnScreen(const char16_t* text);

    ConsolePageControls& controls_;
    bool save_to_file_ = false;
    ce::HANDLE log_file_; // invalid while no log file is open
};
