// What an emulated machine runs to take over from Windows CE.
//
// On the handheld the jump routine runs from the loader program's code, in a
// RAM frame of Windows CE's choosing, reached through the program's virtual
// mapping. The emulated machines start with the MMU off, so the routine is
// placed in a RAM page the loader does not use (HandOff::jump_paddr), behind a
// short boot stub at the start of that page:
//
//   +0x000  boot stub: System mode with IRQ and FIQ masked (Windows CE kernel
//           mode with interrupts off), the board's serial transmitter enabled
//           and its LCD controller set up as Windows CE's drivers leave them
//           (a list of register writes after the stub's literal words; a
//           board without the register ignores the write), r0..r3 = the
//           routine's four arguments, then a branch to the routine
//   +0x100  the jump routine's bytes (FlatJumpCode_sa11x0 / _pxa2x0)
//
// Both emulators start at the stub, so both run the same instructions from
// the first one on. The page is not needed after the routine branches to the
// second stage; the second stage may overwrite it.
#pragma once

#include "sim/hand_off.h"
#include "sim/placed_image.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace sim {

constexpr uint32_t kJumpRoutineOffset = 0x100;

std::vector<uint8_t> handOffCode(const HandOff& hand_off);

// Readies the current handheld's RAM for a run: the hand-off code at
// jump_paddr, and leftovers (kLeftoverWord) in every page the page list will
// write, and every page of the kernel's places `expected` names, that the
// loader does not hold, as RAM is after Windows CE rather than zero, so a
// range the second stage fails to write shows. Pages the loader holds there
// carry the kernel's bytes in place. False when the jump page is not in RAM.
constexpr uint32_t kLeftoverWord = 0xE7F000F0; // an undefined instruction
bool prepareHandOffRam(const HandOff& hand_off, const ExpectedPlacement* expected = nullptr);
// Where the second stage enters the kernel: the argument page's first word,
// moved as the variant's second stage moves addresses.
uint32_t kernelEntry(const HandOff& hand_off);
// The highest page of [ram_base, ram_base + ram_size) for which `used` is
// false; 0 when every page is used.
uint32_t freeJumpPage(uint32_t ram_base, uint32_t ram_size, const std::function<bool(uint32_t)>& used);

} // namespace sim
