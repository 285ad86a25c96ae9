// An emulated ARM processor of one of the handhelds' models (Unicorn), with
// the MMU off: addresses are physical. Memory is host memory mapped in place,
// memory of its own, or device registers answered by the current handheld's
// device models. A run ends when the program halts (a branch to itself), on a
// fault, or at an instruction limit. The interrupt controller's lines reach
// the processor, which takes the IRQ and FIQ exceptions the CPSR lets through.
#pragma once

#include "sim/device_profile.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct uc_struct;

namespace sim {

constexpr uint32_t kArmBranchToSelf = 0xEAFFFFFE; // b .

struct ArmState {
    std::array<uint32_t, 16> r{};
    uint32_t cpsr = 0;
};

enum class EmulationStop { kHalted, kFault, kInstructionLimit, kTimeLimit, kUserQuit };

// What ends a run besides the program: none of these unless given.
struct RunLimits {
    std::optional<uint64_t> instructions;
    std::optional<std::chrono::milliseconds> time;
    // Set by another thread when the user quits.
    const std::atomic<bool>* quit = nullptr;
    // Whether a device asks for an interrupt, which ends a wait for interrupt
    // (masked or not, as on the processors), or will never ask; null: never.
    enum class Wake { kNow, kLater, kNever };
    std::function<Wake()> wake;
    // Waits a few milliseconds for what may make a device ask (the host's serial line).
    std::function<void()> idle;
    // The interrupt controller's two lines into the processor: an unmasked
    // source pending that goes to IRQ, or to FIQ. Looked at before each
    // translated block runs (the processor's instruction boundaries that can
    // follow a change of the CPSR or of a device, and the first after a wait
    // for interrupt); null: no line is ever raised.
    struct Lines {
        bool irq = false;
        bool fiq = false;
    };
    std::function<Lines()> interrupt_lines;
    // The interrupt controller's mask (ICMR), when given: while it is 0 no
    // line can be raised, and the lines are not asked (a load per block).
    const uint32_t* interrupt_mask = nullptr;
};

// Limits of `count` instructions only.
inline RunLimits instructionLimit(uint64_t count) {
    RunLimits limits;
    limits.instructions = count;
    return limits;
}

struct EmulationResult {
    EmulationStop stop = EmulationStop::kFault;
    std::string reason; // one line: what stopped the run
    ArmState state;     // at the stop
    // Instructions executed, counted a translated block at a time.
    uint64_t instructions = 0;
    bool has_fault_address = false;
    uint32_t fault_address = 0;
};

// Whether `instruction` is one of the forms of "wait for interrupt" these
// processors and QEMU know.
bool isWaitForInterrupt(uint32_t instruction);
// "System", "Supervisor", ... for the mode bits of `cpsr`.
const char* armModeName(uint32_t cpsr);
// "pc=0x... cpsr=0x... (System) r0=... ... r15=..."
std::string describeArmState(const ArmState& state);

class ArmEmulator {
  public:
    explicit ArmEmulator(Processor processor);
    ~ArmEmulator();
    ArmEmulator(const ArmEmulator&) = delete;
    ArmEmulator& operator=(const ArmEmulator&) = delete;

    // False when the emulator could not be made; error() says why.
    bool ok() const { return uc_ != nullptr; }
    const std::string& error() const { return error_; }

    // `host` is seen at [base, base + size), not copied; page-aligned.
    bool mapHostMemory(uint32_t base, uint32_t size, void* host);
    // Zero-filled memory of the emulator's own.
    bool mapMemory(uint32_t base, uint32_t size);
    // Accesses to these pages reach the device models of the current
    // handheld's physical memory (unmodelled registers read 0).
    bool mapDevices(uint32_t base, uint32_t size);

    bool write(uint32_t address, const void* bytes, size_t size);
    bool read(uint32_t address, void* bytes, size_t size);
    uint32_t readWord(uint32_t address);

    void setRegister(int n, uint32_t value);
    uint32_t reg(int n);
    // Mode and flags; switching mode banks sp and lr as the processor does.
    void setCpsr(uint32_t value);
    uint32_t cpsr();
    ArmState state();
    // Coprocessor 15 register `crn` (opcode 0, c0, 0): c0 ID, c1 control, ...
    uint32_t cp15(uint32_t crn);

    // `observer` runs before the instruction at `address` each time.
    void onExecute(uint32_t address, std::function<void()> observer);
    // `observer` sees every data read in [begin, end).
    void onRead(uint32_t begin, uint32_t end, std::function<void(uint32_t address, int size)> observer);

    // Runs from `pc` (ARM state) until a halt, a fault or a limit. A wait for
    // interrupt (coprocessor 15 c7, c0, 4 or c7, c8, 2) waits, costing the
    // host nothing, until a device asks for an interrupt; when none ever can,
    // the processor has halted there. A raised interrupt line whose CPSR bit
    // (I or F) is clear is taken as an ARMv4/v5 core takes it: the mode's SPSR
    // keeps the CPSR, its LR the next instruction's address + 4, and the
    // processor goes on in ARM state at the vector (0x18 IRQ, 0x1C FIQ; at
    // 0xFFFF0000 with the control register's V bit), I set, and F for FIQ.
    EmulationResult run(uint32_t pc, const RunLimits& limits = {});

    struct Hooks;

  private:
    uint32_t faultingInstruction(const EmulationResult& result);

    ::uc_struct* uc_ = nullptr;
    std::string error_;
    std::unique_ptr<Hooks> hooks_;
};

} // namespace sim
