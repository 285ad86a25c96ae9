// The simulated processor: CPSR, coprocessor 15 and the jump routines, and
// SetKMode, which moves the calling thread between User and System mode.
#include "sim/cpu.h"

#include "arch/arm/cpu_routines.h"
#include "platform/wince.h"
#include "sim/emulator/hand_off_code.h"
#include "sim/handheld.h"
#include "sim/page_list_replay.h"
#include "sim/physical_memory.h"

namespace sim {

namespace {

// Control register as Windows CE leaves it: MMU, alignment faults, D-cache,
// write buffer, I-cache and high vectors on; bits 4 to 6 read as one.
constexpr uint32_t kControlStrongArm = 0x0000307F;
// The XScale adds branch target buffer (Z, bit 11).
constexpr uint32_t kControlXScale = 0x0000387F;

uint32_t idOf(Processor processor) {
    switch (processor) {
    case Processor::SA1100:
        return 0x4401A11B; // Digital SA-1100, revision 11
    case Processor::SA1110:
        return 0x6901B118; // Intel SA-1110, revision 8 (B4)
    case Processor::PXA250:
        return 0x69052105; // Intel XScale PXA250 C0
    case Processor::PXA270:
        return 0x69054117; // Intel XScale PXA270 C5
    }
    return 0;
}

// The hand-off as an emulated machine takes it over.
HandOff handOffOf(JumpRoutine routine, const FlatJumpCall& call) {
    const Handheld& device = Handheld::get();
    PhysicalMemory& ram = PhysicalMemory::get();
    HandOff hand_off;
    hand_off.routine = routine;
    hand_off.processor = device.profile().processor;
    hand_off.platform_cpu = device.profile().cpu;
    hand_off.platform_machine = device.profile().machine;
    hand_off.ram_base = ram.base();
    hand_off.ram_size = ram.size();
    hand_off.args_paddr = call.args_paddr;
    hand_off.list_paddr = call.list_paddr;
    hand_off.sp = call.sp;
    hand_off.code_paddr = call.code_paddr;
    hand_off.jump_paddr = freeJumpPage(ram.base(), ram.size(), [&ram](uint32_t page) {
        return ram.frameInUse(page) || !ram.contains(page, PhysicalMemory::kFrameSize);
    });
    return hand_off;
}

// The `corrupt_load_link` knob: flips the first data byte of that load link.
void corruptLoadLink(uint32_t list_head, uint32_t wanted) {
    PhysicalMemory& ram = PhysicalMemory::get();
    uint32_t count = 0;
    for (uint32_t link = list_head, steps = 0; link != kListEnd && steps < (1u << 24); ++steps) {
        uint32_t fields[4]; // next, src, dst, len
        if (!ram.read(link, fields, sizeof fields))
            return;
        if (fields[1] != kZeroClearSource && count++ == wanted) {
            uint8_t byte = 0;
            if (ram.read(fields[1], &byte, 1)) {
                byte ^= 0xFF;
                ram.write(fields[1], &byte, 1);
            }
            return;
        }
        link = fields[0];
    }
}

// The `drop_zero_link` knob: the link before that zero-clear link (or the
// jump's list head) goes on with the link after it. Returns the list head.
uint32_t dropZeroLink(uint32_t list_head, uint32_t wanted) {
    PhysicalMemory& ram = PhysicalMemory::get();
    uint32_t count = 0;
    uint32_t previous = kListEnd;
    for (uint32_t link = list_head, steps = 0; link != kListEnd && steps < (1u << 24); ++steps) {
        uint32_t fields[4]; // next, src, dst, len
        if (!ram.read(link, fields, sizeof fields))
            break;
        if (fields[1] == kZeroClearSource && count++ == wanted) {
            if (previous == kListEnd)
                return fields[0];
            ram.write(previous, &fields[0], 4);
            break;
        }
        previous = link;
        link = fields[0];
    }
    return list_head;
}

void record(JumpRoutine routine, uint32_t args_paddr, uint32_t list_paddr, uint32_t sp, uint32_t code_paddr) {
    Cpu& cpu = Cpu::get();
    FlatJumpCall call{
        jumpRoutineName(routine),    args_paddr,           list_paddr, sp, code_paddr, cpu.cpsr(),
        Handheld::get().kernel_mode, cpu.dcache_lines_read};
    cpu.flat_jumps.push_back(call);
    if (cpu.on_flat_jump)
        cpu.on_flat_jump(call);
    Handheld& device = Handheld::get();
    if (device.memory.corrupt_load_link)
        corruptLoadLink(list_paddr, *device.memory.corrupt_load_link);
    if (device.memory.drop_zero_link)
        call.list_paddr = dropZeroLink(list_paddr, *device.memory.drop_zero_link);
    if (device.on_jump)
        device.on_jump(handOffOf(routine, call));
}

} // namespace

Cp15Registers cp15Of(const DeviceProfile& profile) {
    Cp15Registers registers{};
    registers.id = idOf(profile.processor);
    registers.control = isXScale(profile.processor) ? kControlXScale : kControlStrongArm;
    registers.ttb = profile.ram_base + 0x00010000; // first-level table, 16 KB aligned
    registers.domain_access = 0x00000005;          // domains 0 and 1: client
    registers.fault_status = 0x00000007;           // last fault: page translation, domain 0
    registers.fault_address = 0x2C01F7A0;
    registers.process_id = 0x0A000000; // the program runs in process slot 5
    registers.c14 = 0;
    return registers;
}

Cpu& Cpu::get() {
    static Cpu cpu;
    return cpu;
}

void Cpu::reset() {
    *this = Cpu();
}

bool Cpu::privileged() const {
    return Handheld::get().kernel_mode && kmode_reaches_system;
}

uint32_t Cpu::cpsr() const {
    return (privileged() ? kSystemMode : kUserMode) | interrupt_bits;
}

Cp15Registers Cpu::cp15() const {
    return cp15Of(Handheld::get().profile());
}

} // namespace sim

namespace ce {

BOOL SetKMode(BOOL kernel) {
    sim::Handheld& device = sim::Handheld::get();
    BOOL previous = device.kernel_mode ? TRUE : FALSE;
    device.kernel_mode = kernel != FALSE;
    return previous;
}

} // namespace ce

// The CPU routines of the system; in User mode the CPSR control field cannot
// be written, as on the processor.
extern "C" {

void DisableInterrupts() {
    sim::Cpu& cpu = sim::Cpu::get();
    ++cpu.interrupt_disables;
    if (cpu.privileged())
        cpu.interrupt_bits = sim::kCpsrIrqFiq;
}

void EnableInterrupts() {
    sim::Cpu& cpu = sim::Cpu::get();
    ++cpu.interrupt_enables;
    if (cpu.privileged())
        cpu.interrupt_bits = 0;
}

uint32_t GetCPSR() {
    return sim::Cpu::get().cpsr();
}

uint32_t ReadCP15_c0() {
    return sim::Cpu::get().cp15().id;
}
uint32_t ReadCP15_c1() {
    return sim::Cpu::get().cp15().control;
}
uint32_t ReadCP15_c2() {
    return sim::Cpu::get().cp15().ttb;
}
uint32_t ReadCP15_c3() {
    return sim::Cpu::get().cp15().domain_access;
}
uint32_t ReadCP15_c5() {
    return sim::Cpu::get().cp15().fault_status;
}
uint32_t ReadCP15_c6() {
    return sim::Cpu::get().cp15().fault_address;
}
uint32_t ReadCP15_c13() {
    return sim::Cpu::get().cp15().process_id;
}
uint32_t ReadCP15_c14() {
    return sim::Cpu::get().cp15().c14;
}

void FlatJump_sa11x0(uint32_t args_paddr, uint32_t list_paddr, uint32_t sp, uint32_t code_paddr) {
    sim::record(sim::JumpRoutine::kSa11x0, args_paddr, list_paddr, sp, code_paddr);
}

void FlatJump_pxa2x0(uint32_t args_paddr, uint32_t list_paddr, uint32_t sp, uint32_t code_paddr) {
    sim::record(sim::JumpRoutine::kPxa2x0, args_paddr, list_paddr, sp, code_paddr);
}

} // extern "C"
