// The hand-off on Unicorn: the current handheld's RAM (mapped in place, not
// copied), its serial and display hardware, an emulated processor of its model, and
// the hand-off code of hand_off_code.h run from its first instruction.
#pragma once

#include "sim/emulator/hand_off_run.h"
#include "sim/hand_off.h"

namespace sim {

HandOffRun runOnUnicorn(const HandOff& hand_off, const HandOffLimits& limits = {});

} // namespace sim
