// What zandrel-sim does once the simulated handheld leaves Windows CE: save
// the hand-off when asked, then run it on the chosen emulator (or replay the
// page list), and tell how it ended.
#pragma once

#include "cli/options.h"
#include "cli/terminal.h"
#include "sim/hand_off.h"
#include "sim/placed_image.h"
#include "sim/rgb_image.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

// The kernel's file on the host, for gdb's symbols, or why there is none.
struct KernelHostFile {
    std::optional<std::filesystem::path> path;
    std::string why_not = "the kernel's file is not known";
};

// The exit status for zandrel-sim: 0 the kernel halted normally (with
// --emulator none: the page list was walked to its end), 3 the emulated
// processor faulted or reached its instruction limit, the reason on standard
// error, 4 the memory the kernel was entered with differs from `expected`
// (when given; compared at the kernel's entry on Unicorn, after the replay
// with --emulator none), 5 the time limit passed, 6 the user quit. The
// handheld's serial line takes its input from Handheld::serial_input when
// set. `on_screen` takes QEMU's pictures of its display while the kernel runs
// (sim::HandOffLimits::on_screen).
int runHandOff(const sim::HandOff& hand_off, const CliOptions& options, Terminal& terminal,
               const sim::ExpectedPlacement* expected = nullptr,
               const std::function<void(sim::RgbImage)>& on_screen = {}, const KernelHostFile& kernel = {});

// --from-snapshot: makes the current handheld the snapshot's and runs it; 1
// when the snapshot cannot be used.
int runSnapshot(const CliOptions& options, Terminal& terminal);
