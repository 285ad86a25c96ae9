// The processor of the simulated handheld, as far as the loader sees it: the
// mode and interrupt bits of the CPSR, the coprocessor 15 registers of the
// profile's processor, data-cache cleaning, and the jump routines, which here
// record their arguments and then hand over to `Handheld::on_jump` (the emulated CPU).
#pragma once

#include "sim/device_profile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

constexpr uint32_t kCpsrModeMask = 0x1F;
constexpr uint32_t kUserMode = 0x10;
constexpr uint32_t kSystemMode = 0x1F;
constexpr uint32_t kCpsrIrqFiq = 0xC0;

// Coprocessor 15 as Windows CE leaves it: MMU, caches and write buffer on,
// exception vectors high.
struct Cp15Registers {
    uint32_t id;            // c0
    uint32_t control;       // c1
    uint32_t ttb;           // c2
    uint32_t domain_access; // c3
    uint32_t fault_status;  // c5
    uint32_t fault_address; // c6
    uint32_t process_id;    // c13
    uint32_t c14;
};

Cp15Registers cp15Of(const DeviceProfile& profile);

struct FlatJumpCall {
    std::string routine; // "FlatJump_sa11x0" or "FlatJump_pxa2x0"
    uint32_t args_paddr;
    uint32_t list_paddr;
    uint32_t sp;
    uint32_t code_paddr;
    // The processor at the call.
    uint32_t cpsr;
    bool kernel_mode;
    uint32_t dcache_lines_read;
};

class Cpu {
  public:
    static Cpu& get();
    // A processor just as Windows CE runs the program: User mode, interrupts
    // enabled, nothing recorded, knobs at their defaults.
    void reset();

    // The CPSR of the calling thread: System mode in kernel mode (SetKMode),
    // User mode otherwise, with the I and F bits.
    uint32_t cpsr() const;
    bool privileged() const;
    Cp15Registers cp15() const;

    // Knob: SetKMode(TRUE) is answered but leaves the thread in User mode.
    bool kmode_reaches_system = true;

    // I and F bits as DisableInterrupts / EnableInterrupts left them.
    uint32_t interrupt_bits = 0;

    // Records.
    int interrupt_disables = 0;
    int interrupt_enables = 0;
    int dcache_cleans = 0;
    uint32_t dcache_lines_read = 0; // over all cleans
    std::vector<FlatJumpCall> flat_jumps;

    // Observers, called after the routine has done its work.
    std::function<void()> on_clean_dcache;
    std::function<void(const FlatJumpCall&)> on_flat_jump;
};

} // namespace sim
