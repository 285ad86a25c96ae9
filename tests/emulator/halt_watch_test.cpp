// Where a stopped processor waits for good: the instruction forms that count
// as a halt, and the ones that look alike but do not.
#include "sim/emulator/halt_watch.h"

#include <gtest/gtest.h>
#include <map>

namespace {

constexpr uint32_t kSvcIrqMasked = 0xD3;  // SVC mode, IRQ and FIQ masked
constexpr uint32_t kSvcIrqEnabled = 0x13; // SVC mode, interrupts enabled
constexpr uint32_t kThumb = 0x20;

constexpr uint32_t kBranchToSelf = 0xEAFFFFFE;  // b .
constexpr uint32_t kBranchBackOne = 0xEAFFFFFD; // b .-4
constexpr uint32_t kWaitCp15 = 0xEE070F90;      // mcr p15, 0, r0, c7, c0, 4
constexpr uint32_t kWaitCp15V5 = 0xEE073F58;    // mcr p15, 0, r3, c7, c8, 2
constexpr uint32_t kWaitPxaIdle = 0xEE071E10;   // mcr p14, 0, r1, c7, c0, 0
constexpr uint32_t kWaitV7 = 0xE320F003;        // wfi
constexpr uint32_t kNop = 0xE1A00000;           // mov r0, r0

struct Case {
    const char* what;
    std::map<uint32_t, uint32_t> code; // word address -> word
    uint32_t pc;
    uint32_t cpsr;
    std::optional<uint32_t> site;
};

TEST(HaltSite, RecognisesBranchesToThemselvesAndLoopsThatOnlyWaitForInterrupts) {
    const Case cases[] = {
        {"ARM branch to itself", {{0x1000, kBranchToSelf}}, 0x1000, kSvcIrqMasked, 0x1000},
        {"... also with interrupts enabled", {{0x1000, kBranchToSelf}}, 0x1000, kSvcIrqEnabled, 0x1000},
        {"a conditional branch to itself", {{0x1000, 0x0AFFFFFE}}, 0x1000, kSvcIrqMasked, std::nullopt},
        {"a branch elsewhere", {{0x1000, 0xEAFFFFFC}}, 0x1000, kSvcIrqMasked, std::nullopt},
        {"Thumb b . in the low half", {{0x2000, 0x4600E7FE}}, 0x2000, kSvcIrqMasked | kThumb, 0x2000},
        {"Thumb b . in the high half", {{0x2000, 0xE7FE4600}}, 0x2002, kSvcIrqMasked | kThumb, 0x2002},
        {"Thumb code that is not b .", {{0x2000, 0xE7FE4600}}, 0x2000, kSvcIrqMasked | kThumb, std::nullopt},
        {"stopped on the wait of a wait loop",
         {{0x3000, kWaitCp15}, {0x3004, kBranchBackOne}},
         0x3000,
         kSvcIrqMasked,
         0x3000},
        {"stopped on the branch of a wait loop",
         {{0x3000, kWaitCp15}, {0x3004, kBranchBackOne}},
         0x3004,
         kSvcIrqMasked,
         0x3000},
        {"ARMv5 wait form", {{0x3000, kWaitCp15V5}, {0x3004, kBranchBackOne}}, 0x3004, kSvcIrqMasked, 0x3000},
        {"PXA2x0 idle form",
         {{0x3000, kWaitPxaIdle}, {0x3004, kBranchBackOne}},
         0x3000,
         kSvcIrqMasked,
         0x3000},
        {"ARMv7 wfi", {{0x3000, kWaitV7}, {0x3004, kBranchBackOne}}, 0x3004, kSvcIrqMasked, 0x3000},
        {"a wait loop with interrupts enabled idles",
         {{0x3000, kWaitCp15}, {0x3004, kBranchBackOne}},
         0x3004,
         kSvcIrqEnabled,
         std::nullopt},
        {"a wait not followed by the branch back",
         {{0x3000, kWaitCp15}, {0x3004, kNop}},
         0x3000,
         kSvcIrqMasked,
         std::nullopt},
        {"a branch back to something else",
         {{0x3000, kNop}, {0x3004, kBranchBackOne}},
         0x3004,
         kSvcIrqMasked,
         std::nullopt},
        {"code that cannot be read", {}, 0x1000, kSvcIrqMasked, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::WordReader read = [&c](uint32_t address) -> std::optional<uint32_t> {
            auto found = c.code.find(address);
            if (found == c.code.end())
                return std::nullopt;
            return found->second;
        };
        EXPECT_EQ(sim::haltSite(c.pc, c.cpsr, read), c.site);
    }
}

} // namespace
