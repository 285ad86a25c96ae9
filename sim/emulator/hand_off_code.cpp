#include "sim/emulator/hand_off_code.h"

#include "arch/arm/arm_code.h"
#include "sim/board_devices.h"
#include "sim/lcd.h"
#include "sim/page_list_replay.h"
#include "sim/physical_memory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

// The boot stub, ARM state: the register writes follow its literal words,
// address and value, until an address of 0.
constexpr uint32_t kStub[] = {
    0xE10F4000, // mrs   r4, cpsr
    0xE3C4401F, // bic   r4, r4, #0x1F
    0xE38440DF, // orr   r4, r4, #0xDF        System mode, IRQ and FIQ masked
    0xE121F004, // msr   cpsr_c, r4
    0xE28F4034, // add   r4, pc, #0x34        the register writes
    0xE8B40060, // 1: ldmia r4!, {r5, r6}
    0xE3550000, // cmp   r5, #0
    0x15856000, // strne r6, [r5]
    0x1AFFFFFB, // bne   1b
    0xE59F000C, // ldr   r0, argument_page
    0xE59F100C, // ldr   r1, page_list
    0xE59F200C, // ldr   r2, stack_pointer
    0xE59F300C, // ldr   r3, code_page
    0xE59FF00C, // ldr   pc, jump_routine
};
constexpr size_t kStubWords = sizeof(kStub) / 4;
constexpr size_t kLiteralWords = 5;
constexpr size_t kWritesOffset = 4 * (kStubWords + kLiteralWords);

void putWord(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The device registers as Windows CE's drivers leave them: the board's
// serial transmitter on (UTCR3 receiver and transmitter enable; FFUART IER
// unit enable) and the LCD controller set up.
std::vector<RegisterValue> driverRegisters(const HandOff& hand_off) {
    std::vector<RegisterValue> writes;
    if (isXScale(hand_off.processor))
        writes.push_back({kPxa2x0FfuartBase + Pxa2x0Uart::kIer, Pxa2x0Uart::kIerUnitEnable});
    else
        writes.push_back({kSa1100SerialBase + Sa1100SerialPort::kUtcr3, 0x03u});
    if (const DeviceProfile* profile = findDeviceProfile(hand_off.platform_cpu, hand_off.platform_machine)) {
        std::vector<RegisterValue> lcd = lcdControllerSetup(*profile);
        writes.insert(writes.end(), lcd.begin(), lcd.end());
    }
    return writes;
}

} // namespace

std::vector<uint8_t> handOffCode(const HandOff& hand_off) {
    const ArmCode& routine =
        hand_off.routine == JumpRoutine::kPxa2x0 ? FlatJumpCode_pxa2x0_code : FlatJumpCode_sa11x0_code;
    std::vector<uint8_t> bytes(kJumpRoutineOffset + routine.size, 0);
    for (size_t i = 0; i < kStubWords; ++i)
        putWord(bytes, 4 * i, kStub[i]);
    uint32_t literals[kLiteralWords] = {
        hand_off.args_paddr,
        hand_off.list_paddr,
        hand_off.sp,
        hand_off.code_paddr,
        hand_off.jump_paddr + kJumpRoutineOffset,
    };
    for (size_t i = 0; i < kLiteralWords; ++i)
        putWord(bytes, 4 * (kStubWords + i), literals[i]);
    // The list and its end marker must leave the routine's place free.
    std::vector<RegisterValue> writes = driverRegisters(hand_off);
    size_t room = (kJumpRoutineOffset - kWritesOffset) / 8 - 1;
    if (writes.size() > room) {
        // Cutting the list would drop its last write, the one that turns the display on.
        std::fprintf(stderr, "hand-off stub: %zu register writes, room for %zu\n", writes.size(), room);
        std::abort();
    }
    size_t at = kWritesOffset;
    for (const RegisterValue& write : writes) {
        putWord(bytes, at, write.paddr);
        putWord(bytes, at + 4, write.value);
        at += 8;
    }
    std::memcpy(bytes.data() + kJumpRoutineOffset, routine.bytes, routine.size);
    return bytes;
}

uint32_t kernelEntry(const HandOff& hand_off) {
    uint8_t bytes[4] = {};
    PhysicalMemory::get().read(hand_off.args_paddr, bytes, 4);
    uint32_t stored =
        uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
    return secondStageAddress(stored, hand_off.routine);
}

bool prepareHandOffRam(const HandOff& hand_off, const ExpectedPlacement* expected) {
    PhysicalMemory& ram = PhysicalMemory::get();
    std::vector<uint8_t> leftovers(4096);
    for (size_t i = 0; i < leftovers.size(); i += 4)
        putWord(leftovers, i, kLeftoverWord);
    auto fill = [&](uint64_t start, uint64_t end) {
        for (uint64_t page = start & ~0xFFFull; page < end && page < 0x100000000ull; page += 4096) {
            uint32_t paddr = static_cast<uint32_t>(page);
            if (ram.contains(paddr, 4096) && !ram.frameInUse(paddr) && paddr != hand_off.jump_paddr)
                ram.write(paddr, leftovers.data(), 4096);
        }
    };
    // Every link's destination pages, and the page after each (whole-word
    // stores may run a little past a range). The walk ends at the list's end,
    // a link outside RAM, or after as many links as RAM has pages.
    uint32_t link = hand_off.list_paddr;
    for (uint32_t n = 0; n < ram.size() / 4096 && link != 0xFFFFFFFFu; ++n) {
        uint8_t fields[16];
        if (!ram.read(link, fields, sizeof fields))
            break;
        auto word = [&fields](int i) {
            return uint32_t{fields[4 * i]} | (uint32_t{fields[4 * i + 1]} << 8) |
                   (uint32_t{fields[4 * i + 2]} << 16) | (uint32_t{fields[4 * i + 3]} << 24);
        };
        uint32_t dst = secondStageAddress(word(2), hand_off.routine);
        fill(dst, uint64_t{dst} + word(3) + 4096);
        link = word(0);
    }
    // The kernel's places as its file names them, whether or not a link
    // still goes there. What it clears gets leftovers even in a page the
    // loader holds: a page in place carries only the kernel's bytes, and the
    // rest of it is the second stage's to clear (from the word after the
    // bytes on, as it clears).
    if (expected != nullptr) {
        for (const PlacedRange& range : expected->ranges) {
            uint64_t end = uint64_t{range.address} + range.size;
            if (!range.bytes.empty()) {
                fill(range.address, end);
                continue;
            }
            end &= ~3ull;
            for (uint64_t at = (uint64_t{range.address} + 3) & ~3ull; at < end;) {
                uint64_t piece = std::min<uint64_t>(end, (at & ~0xFFFull) + 4096) - at;
                uint32_t paddr = static_cast<uint32_t>(at);
                if ((paddr & ~0xFFFu) != hand_off.jump_paddr &&
                    ram.contains(paddr, static_cast<uint32_t>(piece)))
                    ram.write(paddr, leftovers.data(), static_cast<uint32_t>(piece));
                at += piece;
            }
        }
    }
    std::vector<uint8_t> code = handOffCode(hand_off);
    return ram.write(hand_off.jump_paddr, code.data(), static_cast<uint32_t>(code.size()));
}

uint32_t freeJumpPage(uint32_t ram_base, uint32_t ram_size, const std::function<bool(uint32_t)>& used) {
    for (uint32_t pages = ram_size / 4096; pages > 0; --pages) {
        uint32_t page = ram_base + (pages - 1) * 4096;
        if (!used(page))
            return page;
    }
    return 0;
}

} // namespace sim
