#include "sim/emulator/arm_emulator.h"

#include "sim/hand_off.h"
#include "sim/physical_memory.h"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <unicorn/unicorn.h>

namespace sim {

namespace {

constexpr uint32_t kSemihostingSwi = 0x123456;
constexpr uint32_t kSemihostingExit = 0x18;
constexpr uint32_t kApplicationExit = 0x20026; // ADP_Stopped_ApplicationExit

constexpr uint32_t kCpsrMode = 0x1F;
constexpr uint32_t kCpsrThumb = 0x20;
constexpr uint32_t kCpsrF = 0x40;
constexpr uint32_t kCpsrI = 0x80;
constexpr uint32_t kModeFiq = 0x11;
constexpr uint32_t kModeIrq = 0x12;
constexpr uint32_t kControlHighVectors = 1u << 13;
constexpr uint32_t kHighVectors = 0xFFFF0000;
constexpr uint32_t kIrqVector = 0x18;
constexpr uint32_t kFiqVector = 0x1C;

int unicornModel(Processor processor) {
    switch (processor) {
    case Processor::SA1100:
        return UC_CPU_ARM_SA1100;
    case Processor::SA1110:
        return UC_CPU_ARM_SA1110;
    case Processor::PXA250:
        return UC_CPU_ARM_PXA250;
    case Processor::PXA270:
        return UC_CPU_ARM_PXA270C5;
    }
    return UC_CPU_ARM_SA1110;
}

// r13 to r15 are not numbered after r12 in Unicorn.
int registerId(int n) {
    switch (n) {
    case 13:
        return UC_ARM_REG_SP;
    case 14:
        return UC_ARM_REG_LR;
    case 15:
        return UC_ARM_REG_PC;
    default:
        return UC_ARM_REG_R0 + n;
    }
}

const char* exceptionName(uint32_t number) {
    switch (number) {
    case 1:
        return "undefined instruction";
    case 2:
        return "software interrupt";
    case 3:
        return "prefetch abort";
    case 4:
        return "data abort";
    case 5:
        return "interrupt";
    case 6:
        return "fast interrupt";
    case 7:
        return "breakpoint";
    default:
        return "processor exception";
    }
}

// Coprocessor 15 register `crn` (opcode 0, c0, 0); 0 when it cannot be read.
uint32_t readCp15(uc_engine* uc, uint32_t crn) {
    uc_arm_cp_reg reg{};
    reg.cp = 15;
    reg.crn = crn;
    if (uc_reg_read(uc, UC_ARM_REG_CP_REG, &reg) != UC_ERR_OK)
        return 0;
    return static_cast<uint32_t>(reg.val);
}

// Takes the interrupt of a raised line that the CPSR does not mask (FIQ
// first) before the instruction at `next`; 0 when none is taken, else the
// vector the processor goes on at. Writing
// Unicorn's CPSR with another mode banks r13, r14 (r8 to r12 for FIQ) and
// the SPSR as the processor does, from any mode; a write of the program
// counter from a block hook leaves the block unrun and goes on there.
uint32_t takeInterrupt(uc_engine* uc, RunLimits::Lines lines, uint32_t next) {
    if (!lines.irq && !lines.fiq)
        return 0;
    uint32_t cpsr = 0;
    uc_reg_read(uc, UC_ARM_REG_CPSR, &cpsr);
    bool fiq = lines.fiq && (cpsr & kCpsrF) == 0;
    if (!fiq && !(lines.irq && (cpsr & kCpsrI) == 0))
        return 0;
    uint32_t entered = (cpsr & ~(kCpsrMode | kCpsrThumb)) | kCpsrI | (fiq ? kModeFiq | kCpsrF : kModeIrq);
    uint32_t link = next + 4;
    uint32_t vector =
        (readCp15(uc, 1) & kControlHighVectors ? kHighVectors : 0) + (fiq ? kFiqVector : kIrqVector);
    uc_reg_write(uc, UC_ARM_REG_CPSR, &entered);
    uc_reg_write(uc, UC_ARM_REG_SPSR, &cpsr);
    uc_reg_write(uc, UC_ARM_REG_LR, &link);
    uc_reg_write(uc, UC_ARM_REG_PC, &vector);
    return vector;
}

// The physical address the MMU's tables at `table` give `address` (sections,
// and small and large pages of coarse tables), read with `read_word`.
template <typename ReadWord>
std::optional<uint32_t> translate(uint32_t table, uint32_t address, ReadWord read_word) {
    uint32_t first = read_word((table & ~0x3FFFu) + (address >> 20) * 4);
    if ((first & 3) == 2)
        return (first & 0xFFF00000u) | (address & 0xFFFFF);
    if ((first & 3) != 1)
        return std::nullopt;
    uint32_t second = read_word((first & ~0x3FFu) + ((address >> 12) & 0xFF) * 4);
    if ((second & 3) == 2)
        return (second & ~0xFFFu) | (address & 0xFFF);
    if ((second & 3) == 1)
        return (second & 0xFFFF0000u) | (address & 0xFFFF);
    return std::nullopt;
}

uint64_t mmioRead(uc_engine*, uint64_t offset, unsigned size, void* user) {
    uint32_t base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(user));
    uint32_t paddr = base + static_cast<uint32_t>(offset);
    uint32_t device_offset = 0;
    DeviceModel* model = PhysicalMemory::get().deviceAt(paddr, &device_offset);
    if (model == nullptr)
        return 0;
    if (size == 1)
        return model->read8(device_offset);
    uint32_t word = model->read32(device_offset & ~3u);
    return size == 2 ? (word >> (8 * (device_offset & 2))) & 0xFFFF : word;
}

void mmioWrite(uc_engine*, uint64_t offset, unsigned size, uint64_t value, void* user) {
    uint32_t base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(user));
    uint32_t paddr = base + static_cast<uint32_t>(offset);
    uint32_t device_offset = 0;
    DeviceModel* model = PhysicalMemory::get().deviceAt(paddr, &device_offset);
    if (model == nullptr)
        return;
    if (size == 1) {
        model->write8(device_offset, static_cast<uint8_t>(value));
    } else if (size == 2) {
        // A halfword store changes its half of the register word only.
        uint32_t shift = 8 * (device_offset & 2);
        uint32_t word = model->read32(device_offset & ~3u) & ~(0xFFFFu << shift);
        model->write32(device_offset & ~3u, word | (static_cast<uint32_t>(value) & 0xFFFF) << shift);
    } else {
        model->write32(device_offset & ~3u, static_cast<uint32_t>(value));
    }
}

// The shifted register operand of a load or store (immediate shift amount).
uint32_t shiftedRegister(uint32_t word, const uint32_t* r) {
    uint32_t value = r[word & 15];
    uint32_t amount = (word >> 7) & 31;
    switch ((word >> 5) & 3) {
    case 0:
        return value << amount;
    case 1:
        return amount == 0 ? 0 : value >> amount;
    case 2:
        return amount == 0 ? (value & 0x80000000u ? 0xFFFFFFFFu : 0)
                           : static_cast<uint32_t>(static_cast<int32_t>(value) >> amount);
    default:
        return amount == 0 ? value : (value >> amount) | (value << (32 - amount));
    }
}

// The bytes [first, first + size) a load or store at `pc` accesses with the
// registers `r`; false for an instruction that accesses no memory.
bool accessOf(uint32_t word, uint32_t pc, const uint32_t* r, uint32_t& first, uint32_t& size) {
    uint32_t rn = (word >> 16) & 15;
    uint32_t base = rn == 15 ? pc + 8 : r[rn];
    bool pre = (word >> 24) & 1, up = (word >> 23) & 1;
    if ((word & 0x0C000000) == 0x04000000) { // LDR, STR, LDRB, STRB
        uint32_t offset = (word & 0x02000000) ? shiftedRegister(word, r) : word & 0xFFF;
        first = pre ? (up ? base + offset : base - offset) : base;
        size = (word & 0x00400000) ? 1 : 4;
        return true;
    }
    if ((word & 0x0E000090) == 0x00000090 && (word & 0x60) != 0) { // LDRH, STRH, LDRSB, LDRSH
        uint32_t offset = (word & 0x00400000) ? ((word >> 4) & 0xF0) | (word & 0xF) : r[word & 15];
        first = pre ? (up ? base + offset : base - offset) : base;
        size = (word & 0x60) == 0x40 ? 1 : 2;
        return true;
    }
    if ((word & 0x0E000000) == 0x08000000) { // LDM, STM
        uint32_t count = static_cast<uint32_t>(__builtin_popcount(word & 0xFFFF));
        first = up ? base + (pre ? 4 : 0) : base - 4 * count + (pre ? 0 : 4);
        size = 4 * count;
        return true;
    }
    return false;
}

} // namespace

struct ArmEmulator::Hooks {
    ArmEmulator* self = nullptr;
    std::optional<uint64_t> limit;
    const std::atomic<bool>* quit = nullptr;
    const std::function<RunLimits::Lines()>* interrupt_lines = nullptr;
    const uint32_t* interrupt_mask = nullptr;
    EmulationResult result;
    bool stopped = false;
    // Set when the run halted: the branch to itself, which is never executed.
    bool halted_at_valid = false;
    uint32_t halted_at = 0;
    bool fetch_fault = false;
    uint32_t fault_pc = 0;
    struct Reads {
        uint32_t begin;
        uint32_t end;
        std::function<void(uint32_t, int)> observer;
    };
    std::vector<std::unique_ptr<Reads>> reads;
    struct Execute {
        uint32_t address;
        std::function<void()> observer;
    };
    std::vector<std::unique_ptr<Execute>> executes;
    struct HostRange {
        uint32_t base;
        uint32_t size;
        uint8_t* host;
    };
    std::vector<HostRange> host_ranges;
    // The page of RAM seen at the vector page's address, if any.
    std::optional<std::pair<uint32_t, uint32_t>> vector_alias; // {vector page, its RAM}

    // Unicorn takes addresses as physical, whatever the MMU holds. The
    // vectors a kernel maps to a page of RAM with the MMU on are seen at
    // their address as that page, looked up whenever an exception is taken.
    void seeVectorPage(uint32_t vector) {
        uc_engine* uc = self->uc_;
        uint32_t page = vector & ~0xFFFu;
        if ((readCp15(uc, 1) & 1) == 0)
            return;
        std::optional<uint32_t> ram =
            translate(readCp15(uc, 2), page, [this](uint32_t a) { return self->readWord(a); });
        if (!ram || *ram == page || (vector_alias && *vector_alias == std::make_pair(page, *ram)))
            return;
        if (vector_alias && vector_alias->first == page) {
            uc_mem_unmap(uc, page, 0x1000);
            vector_alias.reset();
        }
        for (const HostRange& range : host_ranges) {
            if (*ram - range.base < range.size) {
                // Not over memory of the emulator's own at that address.
                uint32_t probe = 0;
                if (uc_mem_read(uc, page, &probe, 4) != UC_ERR_OK &&
                    uc_mem_map_ptr(uc, page, 0x1000, UC_PROT_ALL, range.host + (*ram - range.base)) ==
                        UC_ERR_OK)
                    vector_alias = std::make_pair(page, *ram);
                return;
            }
        }
    }

    void stop(EmulationStop kind, std::string reason) {
        if (stopped)
            return;
        stopped = true;
        result.stop = kind;
        result.reason = std::move(reason);
        uc_emu_stop(self->uc_);
    }
};

namespace {

void onBlock(uc_engine* uc, uint64_t address, uint32_t size, void* user) {
    auto* hooks = static_cast<ArmEmulator::Hooks*>(user);
    // An interrupt comes before the block: it has not run, and is not counted.
    if (hooks->interrupt_lines != nullptr &&
        (hooks->interrupt_mask == nullptr || *hooks->interrupt_mask != 0)) {
        if (uint32_t vector =
                takeInterrupt(uc, (*hooks->interrupt_lines)(), static_cast<uint32_t>(address))) {
            hooks->seeVectorPage(vector);
            return;
        }
    }
    if (size == 4) {
        uint32_t word = 0;
        if (uc_mem_read(uc, address, &word, 4) == UC_ERR_OK && word == kArmBranchToSelf) {
            // The block is stopped before it runs: the branch counts as reached.
            hooks->halted_at_valid = true;
            hooks->halted_at = static_cast<uint32_t>(address);
            for (const auto& execute : hooks->executes) {
                if (execute->address == address)
                    execute->observer();
            }
            hooks->stop(EmulationStop::kHalted, "halted at " + hexWord(static_cast<uint32_t>(address)));
            return;
        }
    }
    hooks->result.instructions += size / 4;
    if (hooks->limit && hooks->result.instructions >= *hooks->limit)
        hooks->stop(EmulationStop::kInstructionLimit,
                    "instruction limit of " + std::to_string(*hooks->limit) + " reached");
    if (hooks->quit != nullptr && hooks->quit->load(std::memory_order_relaxed))
        hooks->stop(EmulationStop::kUserQuit, "the user quit");
}

bool onInvalidMemory(uc_engine* uc, uc_mem_type type, uint64_t address, int, int64_t, void* user) {
    auto* hooks = static_cast<ArmEmulator::Hooks*>(user);
    // The program counter is current here, unlike after the run.
    uc_reg_read(uc, UC_ARM_REG_PC, &hooks->fault_pc);
    const char* what = "access to";
    switch (type) {
    case UC_MEM_READ_UNMAPPED:
    case UC_MEM_READ_PROT:
        what = "read from";
        break;
    case UC_MEM_WRITE_UNMAPPED:
    case UC_MEM_WRITE_PROT:
        what = "write to";
        break;
    case UC_MEM_FETCH_UNMAPPED:
    case UC_MEM_FETCH_PROT:
        what = "instruction fetch from";
        hooks->fetch_fault = true;
        break;
    default:
        break;
    }
    hooks->result.has_fault_address = true;
    hooks->result.fault_address = static_cast<uint32_t>(address);
    hooks->stop(EmulationStop::kFault,
                std::string(what) + " unmapped address " + hexWord(static_cast<uint32_t>(address)));
    return false;
}

void onInterrupt(uc_engine* uc, uint32_t number, void* user) {
    auto* hooks = static_cast<ArmEmulator::Hooks*>(user);
    if (number == 2) {
        // Semihosting SYS_EXIT (svc 0x123456 with r0 = 0x18) ends a run like a halt.
        uint32_t pc = 0, r0 = 0, r1 = 0, insn = 0;
        uc_reg_read(uc, UC_ARM_REG_PC, &pc);
        uc_reg_read(uc, UC_ARM_REG_R0, &r0);
        uc_reg_read(uc, UC_ARM_REG_R1, &r1);
        if (uc_mem_read(uc, pc - 4, &insn, 4) == UC_ERR_OK && (insn & 0x00FFFFFF) == kSemihostingSwi &&
            r0 == kSemihostingExit) {
            hooks->stop(r1 == kApplicationExit ? EmulationStop::kHalted : EmulationStop::kFault,
                        "semihosting exit, reason " + hexWord(r1));
            return;
        }
    }
    hooks->stop(EmulationStop::kFault, exceptionName(number));
}

void onExecuteHook(uc_engine*, uint64_t, uint32_t, void* user) {
    static_cast<ArmEmulator::Hooks::Execute*>(user)->observer();
}

void onReadHook(uc_engine*, uc_mem_type, uint64_t address, int size, int64_t, void* user) {
    auto* reads = static_cast<ArmEmulator::Hooks::Reads*>(user);
    if (address >= reads->begin && address < reads->end)
        reads->observer(static_cast<uint32_t>(address), size);
}

} // namespace

// The forms of "wait for interrupt" these processors and QEMU know.
bool isWaitForInterrupt(uint32_t instruction) {
    const uint32_t any_register = 0xFFFF0FFF;
    return (instruction & any_register) == 0xEE070F90 || // mcr p15, 0, rN, c7, c0, 4
           (instruction & any_register) == 0xEE070F58 || // mcr p15, 0, rN, c7, c8, 2
           (instruction & any_register) == 0xEE070E10 || // mcr p14, 0, rN, c7, c0, 0 (PXA2x0 power mode)
           instruction == 0xE320F003;                    // wfi
}

const char* armModeName(uint32_t cpsr) {
    switch (cpsr & 0x1F) {
    case 0x10:
        return "User";
    case 0x11:
        return "FIQ";
    case 0x12:
        return "IRQ";
    case 0x13:
        return "Supervisor";
    case 0x17:
        return "Abort";
    case 0x1B:
        return "Undefined";
    case 0x1F:
        return "System";
    default:
        return "invalid";
    }
}

std::string describeArmState(const ArmState& state) {
    std::string text =
        "pc=" + hexWord(state.r[15]) + " cpsr=" + hexWord(state.cpsr) + " (" + armModeName(state.cpsr) + ")";
    for (int i = 0; i < 15; ++i)
        text += " r" + std::to_string(i) + "=" + hexWord(state.r[i]);
    return text;
}

ArmEmulator::ArmEmulator(Processor processor) : hooks_(std::make_unique<Hooks>()) {
    hooks_->self = this;
    uc_engine* uc = nullptr;
    uc_err err = uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc);
    if (err != UC_ERR_OK) {
        error_ = std::string("Unicorn: ") + uc_strerror(err);
        return;
    }
    // The model must be chosen before any memory is mapped.
    err = uc_ctl_set_cpu_model(uc, unicornModel(processor));
    if (err != UC_ERR_OK) {
        error_ = std::string("Unicorn: no ") + processorName(processor) + " model: " + uc_strerror(err);
        uc_close(uc);
        return;
    }
    uc_ = uc;
    uc_hook hook;
    uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(onBlock), hooks_.get(), 1, 0);
    uc_hook_add(uc_, &hook, UC_HOOK_MEM_UNMAPPED | UC_HOOK_MEM_PROT, reinterpret_cast<void*>(onInvalidMemory),
                hooks_.get(), 1, 0);
    uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(onInterrupt), hooks_.get(), 1, 0);
}

ArmEmulator::~ArmEmulator() {
    if (uc_ != nullptr)
        uc_close(uc_);
}

bool ArmEmulator::mapHostMemory(uint32_t base, uint32_t size, void* host) {
    if (!ok() || uc_mem_map_ptr(uc_, base, size, UC_PROT_ALL, host) != UC_ERR_OK)
        return false;
    hooks_->host_ranges.push_back({base, size, static_cast<uint8_t*>(host)});
    return true;
}

bool ArmEmulator::mapMemory(uint32_t base, uint32_t size) {
    return ok() && uc_mem_map(uc_, base, size, UC_PROT_ALL) == UC_ERR_OK;
}

bool ArmEmulator::mapDevices(uint32_t base, uint32_t size) {
    void* user = reinterpret_cast<void*>(static_cast<uintptr_t>(base));
    return ok() && uc_mmio_map(uc_, base, size, mmioRead, user, mmioWrite, user) == UC_ERR_OK;
}

bool ArmEmulator::write(uint32_t address, const void* bytes, size_t size) {
    return ok() && uc_mem_write(uc_, address, bytes, size) == UC_ERR_OK;
}

bool ArmEmulator::read(uint32_t address, void* bytes, size_t size) {
    return ok() && uc_mem_read(uc_, address, bytes, size) == UC_ERR_OK;
}

uint32_t ArmEmulator::readWord(uint32_t address) {
    uint8_t bytes[4] = {};
    read(address, bytes, 4);
    return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
           (uint32_t{bytes[3]} << 24);
}

void ArmEmulator::setRegister(int n, uint32_t value) {
    if (ok() && n >= 0 && n <= 15)
        uc_reg_write(uc_, registerId(n), &value);
}

uint32_t ArmEmulator::reg(int n) {
    uint32_t value = 0;
    if (ok() && n >= 0 && n <= 15)
        uc_reg_read(uc_, registerId(n), &value);
    return value;
}

void ArmEmulator::setCpsr(uint32_t value) {
    if (ok())
        uc_reg_write(uc_, UC_ARM_REG_CPSR, &value);
}

uint32_t ArmEmulator::cpsr() {
    uint32_t value = 0;
    if (ok())
        uc_reg_read(uc_, UC_ARM_REG_CPSR, &value);
    return value;
}

ArmState ArmEmulator::state() {
    ArmState state;
    for (int i = 0; i < 16; ++i)
        state.r[i] = reg(i);
    state.cpsr = cpsr();
    return state;
}

uint32_t ArmEmulator::cp15(uint32_t crn) {
    return ok() ? readCp15(uc_, crn) : 0;
}

void ArmEmulator::onExecute(uint32_t address, std::function<void()> observer) {
    if (!ok())
        return;
    hooks_->executes.push_back(
        std::make_unique<Hooks::Execute>(Hooks::Execute{address, std::move(observer)}));
    uc_hook hook;
    uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(onExecuteHook),
                hooks_->executes.back().get(), address, address);
}

void ArmEmulator::onRead(uint32_t begin, uint32_t end, std::function<void(uint32_t, int)> observer) {
    if (!ok() || end <= begin)
        return;
    hooks_->reads.push_back(std::make_unique<Hooks::Reads>(Hooks::Reads{begin, end, std::move(observer)}));
    uc_hook hook;
    uc_hook_add(uc_, &hook, UC_HOOK_MEM_READ, reinterpret_cast<void*>(onReadHook), hooks_->reads.back().get(),
                begin, end - 1);
}

// The emulator knows only the start of the translated block in which a data
// access faulted; the registers are those before the faulting instruction.
// The first load or store of the block whose access covers the fault
// address, with those registers, is the faulting one.
uint32_t ArmEmulator::faultingInstruction(const EmulationResult& result) {
    uint32_t block = hooks_->fault_pc;
    for (uint32_t pc = block; pc < block + 4 * 64; pc += 4) {
        uint32_t word = 0, first = 0, size = 0;
        if (!read(pc, &word, 4))
            break;
        if (accessOf(word, pc, result.state.r.data(), first, size) && result.fault_address - first < size)
            return pc;
    }
    return block;
}

EmulationResult ArmEmulator::run(uint32_t pc, const RunLimits& limits) {
    hooks_->result = EmulationResult{};
    hooks_->stopped = false;
    hooks_->halted_at_valid = false;
    hooks_->fetch_fault = false;
    hooks_->limit = limits.instructions;
    hooks_->quit = limits.quit;
    hooks_->interrupt_lines = limits.interrupt_lines ? &limits.interrupt_lines : nullptr;
    hooks_->interrupt_mask = limits.interrupt_mask;
    if (!ok()) {
        hooks_->result.reason = error_;
        return hooks_->result;
    }
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> deadline;
    if (limits.time)
        deadline = Clock::now() + *limits.time;
    auto out_of_time = [&] { return deadline && Clock::now() >= *deadline; };
    auto stop_for_time = [&] {
        hooks_->stop(EmulationStop::kTimeLimit,
                     "time limit of " + std::to_string(limits.time->count() / 1000) + " s reached");
    };
    uc_err err = UC_ERR_OK;
    for (;;) {
        uint64_t timeout_us = 0;
        if (deadline) {
            auto left = std::chrono::ceil<std::chrono::microseconds>(*deadline - Clock::now());
            timeout_us = static_cast<uint64_t>(std::max<int64_t>(left.count(), 1));
        }
        // An odd address that the program counter never holds: runs end only through the hooks.
        err = uc_emu_start(uc_, pc, 0xFFFFFFFFu, timeout_us, 0);
        if (hooks_->stopped || err != UC_ERR_OK)
            break;
        if (out_of_time()) {
            stop_for_time();
            break;
        }
        // Unicorn comes back after a wait for interrupt, with the program counter
        // past it; an interrupt the wake lets through is taken at the first block.
        pc = reg(15);
        if (!isWaitForInterrupt(readWord(pc - 4)))
            break;
        using Wake = RunLimits::Wake;
        Wake wake = limits.wake ? limits.wake() : Wake::kNever;
        while (wake == Wake::kLater && !out_of_time() && !(limits.quit != nullptr && limits.quit->load())) {
            limits.idle ? limits.idle() : std::this_thread::sleep_for(std::chrono::milliseconds(5));
            wake = limits.wake();
        }
        if (wake == Wake::kNever) {
            hooks_->halted_at_valid = true;
            hooks_->halted_at = pc - 4;
            hooks_->stop(EmulationStop::kHalted,
                         "halted in a wait for interrupt at " + hexWord(pc - 4) + " that no device will end");
            break;
        }
        if (limits.quit != nullptr && limits.quit->load()) {
            hooks_->stop(EmulationStop::kUserQuit, "the user quit");
            break;
        }
        // The time ran out while the processor slept: it is not woken for that.
        if (wake == Wake::kLater) {
            stop_for_time();
            break;
        }
    }
    EmulationResult result = hooks_->result;
    if (!hooks_->stopped) {
        result.stop = EmulationStop::kFault;
        if (err == UC_ERR_INSN_INVALID)
            result.reason = "undefined instruction";
        else
            result.reason = err != UC_ERR_OK ? std::string(uc_strerror(err)) : "the run ended without a halt";
    }
    result.state = state();
    // Where the processor stands: the halt, or the address it could not fetch.
    if (hooks_->halted_at_valid && result.stop == EmulationStop::kHalted)
        result.state.r[15] = hooks_->halted_at;
    if (result.has_fault_address)
        result.state.r[15] = hooks_->fetch_fault ? result.fault_address : faultingInstruction(result);
    return result;
}

} // namespace sim
