// A client of QEMU's gdb stub (the GDB remote serial protocol) on a Unix
// socket: just enough to stop the processor, read a register or a word of
// memory as the processor sees it, and let it run on. QEMU stops the machine
// when a debugger connects; `resume` lets it go.
#pragma once

#include "sim/emulator/arm_emulator.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

class GdbRemote {
  public:
    GdbRemote() = default;
    ~GdbRemote();
    GdbRemote(const GdbRemote&) = delete;
    GdbRemote& operator=(const GdbRemote&) = delete;

    // Connects to the stub listening at `path` and waits for the processor to
    // stop. False while nothing listens there yet, or when the stub does not answer.
    bool connect(const std::filesystem::path& path);
    bool connected() const { return fd_ >= 0; }
    void disconnect();

    // Stops the running processor; false when the stub does not answer.
    bool interrupt();
    // Lets the stopped processor run on.
    bool resume();
    std::optional<ArmState> readRegisters();
    // The little-endian word at `address`, through the processor's MMU.
    std::optional<uint32_t> readWord(uint32_t address);
    // `size` bytes from `address` on, through the processor's MMU; false when
    // any of them can't be read.
    bool readMemory(uint32_t address, uint8_t* out, uint32_t size);
    // A breakpoint at an instruction of 4 bytes; QEMU keeps it in the
    // emulator, the code in memory stays as it is.
    bool insertBreakpoint(uint32_t address);
    bool removeBreakpoint(uint32_t address);
    // Lets the stopped processor run until it stops again (at a breakpoint);
    // false when it does not stop within the answer time.
    bool runToStop();

  private:
    bool setBreakpoint(char command, uint32_t address);
    bool sendPacket(std::string_view payload);
    bool sendBytes(const char* bytes, size_t count);
    // The next packet's payload (acknowledged), skipping acknowledgements.
    std::optional<std::string> receivePacket();
    // A stop reply ("S.." or "T.."), skipping anything else the stub sends first.
    bool receiveStop();
    // The answer to `payload`, skipping stop replies: the stub also sends one
    // of its own when a debugger connects.
    std::optional<std::string> request(std::string_view payload);
    // Up to `count` bytes, waiting at most the answer time; 0 on an error or end.
    size_t receiveBytes(char* buffer, size_t count);

    int fd_ = -1;
    std::string pending_; // bytes received beyond the last packet
};

} // namespace sim
