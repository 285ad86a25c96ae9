// The argument page the kernel is started with and its boot-information
// record. Every address stored in the page is physical; all fields are
// little-endian.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little, "the argument page is written little-endian");

struct BootInfo {
    static constexpr uint16_t kLength = 36;
    static constexpr uint32_t kMagic = 0x13536135;

    uint16_t length;
    uint16_t reserved;
    uint32_t magic;
    uint32_t fb_addr;
    int16_t fb_line_bytes;
    int16_t fb_width;
    int16_t fb_height;
    int16_t fb_type;
    int16_t console_type;
    int16_t padding;
    uint32_t cpu;
    uint32_t machine;
    int32_t timezone; // minutes to add to local time to get UTC
};

static_assert(sizeof(BootInfo) == BootInfo::kLength);
static_assert(offsetof(BootInfo, magic) == 4);
static_assert(offsetof(BootInfo, fb_line_bytes) == 12);
static_assert(offsetof(BootInfo, fb_type) == 18);
static_assert(offsetof(BootInfo, console_type) == 20);
static_assert(offsetof(BootInfo, cpu) == 24);
static_assert(offsetof(BootInfo, timezone) == 32);

// Offsets in the argument page.
namespace argument_page {
constexpr uint32_t kEntry = 0; // kernel entry address
constexpr uint32_t kArgc = 4;  // argument count
constexpr uint32_t kArgv = 8;  // physical address of the vector
constexpr uint32_t kBootInfoPointer = 12;
constexpr uint32_t kBootInfo = 16; // the BootInfo record
constexpr uint32_t kVector = 52;   // physical addresses of the argument strings
constexpr uint32_t kMaxArguments = 16;
constexpr uint32_t kStrings = kVector + kMaxArguments * 4; // the strings, one after another
// Nothing is written in the last 16 bytes of the page.
constexpr uint32_t kTailReserve = 16;
} // namespace argument_page

static_assert(argument_page::kBootInfo + sizeof(BootInfo) == argument_page::kVector);
static_assert(argument_page::kStrings == 116);
