// Standard input as the handheld's serial line after the jump: read on a
// thread of its own into a sim::SerialInput, which the UARTs take from as the
// kernel reads them. A large file is read ahead only a little at a time.
// On a terminal, the terminal is put in raw mode (keys go to the kernel as
// typed, Enter as a carriage return) until the line goes, the process exits
// or a signal ends it, and Ctrl-A is an escape: Ctrl-A X quits, Ctrl-A Ctrl-A
// sends one Ctrl-A.
#pragma once

#include "cli/terminal.h"
#include "sim/serial_input.h"

#include <memory>

#include <thread>
#include <unistd.h>

class HostSerialLine {
  public:
    explicit HostSerialLine(int fd = STDIN_FILENO);
    ~HostSerialLine();
    HostSerialLine(const HostSerialLine&) = delete;
    HostSerialLine& operator=(const HostSerialLine&) = delete;

    sim::SerialInput& input() { return input_; }
    bool onTerminal() const { return terminal_; }

  private:
    void readInput();
    // Bytes typed on the terminal, with the Ctrl-A escapes taken out.
    void typed(const char* bytes, size_t count);

    int fd_;
    bool terminal_ = false;
    bool escape_ = false; // Ctrl-A was the last key
    int wake_[2] = {-1, -1};
    sim::SerialInput input_;
    std::thread reader_;
};

// Connects standard input to the handheld's serial line (Handheld::
// serial_input) until the returned line goes; on a terminal the first line
// says how to quit.
std::unique_ptr<HostSerialLine> connectStandardInput(Terminal& terminal);
