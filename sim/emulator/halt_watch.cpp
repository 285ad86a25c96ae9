#include "sim/emulator/halt_watch.h"

#include "sim/emulator/arm_emulator.h"

namespace sim {

namespace {

constexpr uint32_t kCpsrThumb = 0x20;
constexpr uint32_t kCpsrIrqMasked = 0x80;
constexpr uint16_t kThumbBranchToSelf = 0xE7FE;    // b .
constexpr uint32_t kArmBranchBackOne = 0xEAFFFFFD; // b .-4

} // namespace

std::optional<uint32_t> haltSite(uint32_t pc, uint32_t cpsr, const WordReader& read_word) {
    if ((cpsr & kCpsrThumb) != 0) {
        std::optional<uint32_t> word = read_word(pc & ~3u);
        if (word && ((pc & 2) != 0 ? *word >> 16 : *word & 0xFFFF) == kThumbBranchToSelf)
            return pc;
        return std::nullopt;
    }
    std::optional<uint32_t> instruction = read_word(pc);
    if (!instruction)
        return std::nullopt;
    if (*instruction == kArmBranchToSelf)
        return pc;
    // With IRQs enabled, waiting for an interrupt is idling, not halting.
    if ((cpsr & kCpsrIrqMasked) == 0)
        return std::nullopt;
    if (isWaitForInterrupt(*instruction)) {
        std::optional<uint32_t> next = read_word(pc + 4);
        return next && *next == kArmBranchBackOne ? std::optional<uint32_t>(pc) : std::nullopt;
    }
    if (*instruction == kArmBranchBackOne) {
        std::optional<uint32_t> wait = read_word(pc - 4);
        return wait && isWaitForInterrupt(*wait) ? std::optional<uint32_t>(pc - 4) : std::nullopt;
    }
    return std::nullopt;
}

HaltWatch::HaltWatch(std::filesystem::path stub) : stub_(std::move(stub)) {}

std::chrono::milliseconds HaltWatch::untilNextLook(Clock::time_point now) const {
    if (given_up_)
        return std::chrono::milliseconds::max();
    if (now >= next_look_)
        return std::chrono::milliseconds(0);
    return std::chrono::ceil<std::chrono::milliseconds>(next_look_ - now);
}

bool HaltWatch::look(Clock::time_point now) {
    if (given_up_ || now < next_look_)
        return false;
    next_look_ = now + kInterval;
    std::optional<uint32_t> site;
    if (!sample(&site)) {
        given_up_ = true;
        return false;
    }
    bool halted = site && site == last_site_ && !output_since_look_;
    last_site_ = site;
    output_since_look_ = false;
    return halted;
}

void HaltWatch::release() {
    gdb_.disconnect();
    connected_once_ = false;
    last_site_.reset();
}

bool HaltWatch::sample(std::optional<uint32_t>* site) {
    if (!gdb_.connected()) {
        // A stub that answered once and went away is not asked again.
        if (connected_once_)
            return false;
        // Not listening yet: QEMU is still starting.
        if (!gdb_.connect(stub_))
            return true;
        connected_once_ = true;
    } else if (!gdb_.interrupt()) {
        return false;
    }
    if (std::optional<ArmState> registers = gdb_.readRegisters())
        *site = haltSite(registers->r[15], registers->cpsr,
                         [this](uint32_t address) { return gdb_.readWord(address); });
    return gdb_.resume();
}

} // namespace sim
