// Telling that a kernel on QEMU has stopped for good, without reading what it
// prints: the processor is looked at through QEMU's gdb stub every little
// while. A kernel has halted when two looks in a row find it at the same halt
// site with no output from the board in between.
#pragma once

#include "sim/emulator/gdb_remote.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace sim {

// The word at an address as the processor sees it, or nothing when it cannot be read.
using WordReader = std::function<std::optional<uint32_t>(uint32_t address)>;

// Where a processor stopped at `pc` (with status register `cpsr`) waits for
// good: the address of a branch to itself (ARM or Thumb), or, with IRQs
// masked, the wait-for-interrupt instruction of a loop that only waits for
// interrupts (the instruction itself, or a branch back to it). Nothing when
// the code at `pc` is neither.
std::optional<uint32_t> haltSite(uint32_t pc, uint32_t cpsr, const WordReader& read_word);

class HaltWatch {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kInterval{20};

    // The stub QEMU was told to listen on.
    explicit HaltWatch(std::filesystem::path stub);

    // Time until the next look, for the caller's wait on the board's output.
    std::chrono::milliseconds untilNextLook(Clock::time_point now) const;
    // The board sent output: the kernel is not done yet.
    void noteOutput() { output_since_look_ = true; }
    // Looks at the processor when it is time; true once the kernel has halted.
    bool look(Clock::time_point now);
    // Lets go of the stub (a debugger wants it) and looks again afresh later.
    void release();

  private:
    // The halt site of the stopped processor, if it is at one; false when the
    // stub stopped answering.
    bool sample(std::optional<uint32_t>* site);

    std::filesystem::path stub_;
    GdbRemote gdb_;
    bool connected_once_ = false;
    bool given_up_ = false;
    Clock::time_point next_look_;
    std::optional<uint32_t> last_site_;
    bool output_since_look_ = false;
};

} // namespace sim
