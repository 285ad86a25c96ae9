// The moment the simulated handheld leaves Windows CE: a jump routine called
// with its four arguments. Everything an emulated processor needs to go on
// from there is the RAM of the device and this record.
#pragma once

#include "sim/device_profile.h"

#include <cstdint>
#include <string>

namespace sim {

enum class JumpRoutine { kSa11x0, kPxa2x0 };

struct HandOff {
    JumpRoutine routine = JumpRoutine::kSa11x0; // the routine the loader called
    Processor processor = Processor::SA1110;    // the device's processor
    uint32_t platform_cpu = 0;                  // the device's profile
    uint32_t platform_machine = 0;
    // The device's RAM window, from its first bank to the end of its last.
    uint32_t ram_base = 0;
    uint32_t ram_size = 0;
    // The jump routine's arguments: argument page, first PageLink, stack
    // pointer for the second stage, code page.
    uint32_t args_paddr = 0;
    uint32_t list_paddr = 0;
    uint32_t sp = 0;
    uint32_t code_paddr = 0;
    // A RAM page the loader does not use: it takes the routine's bytes (see
    // sim/emulator/hand_off_code.h).
    uint32_t jump_paddr = 0;
};

const char* jumpRoutineName(JumpRoutine routine);
// A 32-bit word as the emulator reports print it, "0x%08x".
std::string hexWord(uint32_t value);

} // namespace sim
