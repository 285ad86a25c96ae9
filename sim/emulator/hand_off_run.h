// The outcome of running a hand-off on an emulated machine.
#pragma once

#include "sim/emulator/arm_emulator.h"
#include "sim/placed_image.h"
#include "sim/rgb_image.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace sim {

// A run has no limit unless one is given: a kernel that waits for input may
// wait as long as the user likes.
struct HandOffLimits {
    std::optional<uint64_t> instruction_limit; // Unicorn
    std::optional<std::chrono::seconds> time_limit;
    // Ends the run when set (the user quit), from any thread.
    const std::atomic<bool>* quit = nullptr;
    // Called once when the kernel's entry is reached, before its first
    // instruction, with a reader of the memory as the second stage left it.
    // QEMU starts stopped for it and stops again at the entry.
    std::function<void(const PhysicalReader& read)> at_kernel_entry;
    // The kernel's places as read on the host: RAM the loader does not hold
    // there starts with leftovers, like the rest the page list writes.
    const ExpectedPlacement* expected = nullptr;
    // Take a picture of the screen when the run ends (HandOffRun::screen).
    bool picture_screen = false;
    // QEMU: pictures of the board's display while the kernel runs, about
    // every `screen_interval`, and the last when it has halted, handed over
    // on the thread that runs the hand-off (a board without a display sends
    // none). Unicorn's screen is this process's memory: renderLcd reads it
    // from any thread.
    std::function<void(RgbImage picture)> on_screen;
    std::chrono::milliseconds screen_interval{100};
    // QEMU: stop at the kernel's first instruction, the second stage done,
    // and wait there for a debugger on this TCP port of the loopback (0: any
    // free one); `on_gdb_ready` is told the port once QEMU waits.
    std::optional<uint16_t> gdb_port;
    std::function<void(uint16_t port)> on_gdb_ready;
};

// The processor when it first reached an address.
struct EntryState {
    bool reached = false;
    ArmState state;
    uint32_t control = 0; // coprocessor 15 c1
};

struct HandOffRun {
    std::string machine; // e.g. "Unicorn SA-1110", "QEMU collie"
    // False when the machine could not be set up: result.reason says why.
    bool started = false;
    EmulationResult result;
    // Observed by Unicorn only.
    EntryState second_stage;
    EntryState kernel;
    // With HandOffLimits::picture_screen: the screen as the run left it, or
    // why there is no picture.
    std::optional<RgbImage> screen;
    std::string no_screen;
};

// One line for a run that did not halt normally: the reason, the fault
// address, PC and mode.
std::string describeStop(const HandOffRun& run);

} // namespace sim
