// What zandrel-sim does once the simulated handheld leaves Windows CE: save
// the hand-off when asked, then run it on the chosen emulator (or replay the
// page list), and tell how it ended.
#pragma once

#include "cli/options.h"
#include "cli/terminal.h"
#include "sim/hand_off.h"
#include "sim/placed_image.h"
#include "sim/rgb_image.h"

#include <functional>

// The exit status for zandrel-sim: 0 the kernel halted normally (with
// --emulator none: the page list was walked to its end), 3 the emulated
// processor faulted or reached its limit, the reason on standard error, 4
// the memory the kernel was entered with differs from `expected` (when
// given; compared at the kernel's entry on Unicorn, after the replay with
// --emulator none). `on_screen` takes QEMU's pictures of its display while
// the kernel runs (sim::HandOffLimits::on_screen).
int runHandOff(const sim::HandOff& hand_off, const CliOptions& options, Terminal& terminal,
               const sim::ExpectedPlacement* expected = nullptr,
               const std::function<void(sim::RgbImage)>& on_screen = {});

// --from-snapshot: makes the current handheld the snapshot's and runs it; 1
// when the snapshot cannot be used.
int runSnapshot(const CliOptions& options, Terminal& terminal);
