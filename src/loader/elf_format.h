// ELF32 records (Elf32_Ehdr, Elf32_Phdr, Elf32_Shdr) as the kernel image
// stores them: little-endian fields at fixed offsets, read and written
// through byte accessors so that no buffer is ever taken for a struct.
#pragma once

#include <cstdint>
#include <cstring>

namespace elf {

inline uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline constexpr uint32_t round4(uint32_t n) {
    return (n + 3) & ~3u;
}
// Without wrapping: sizes just below 4 GB stay above it.
inline constexpr uint64_t round4(uint64_t n) {
    return (n + 3) & ~uint64_t{3};
}

// Elf32_Ehdr
namespace ehdr {
constexpr uint32_t kSize = 52;
constexpr uint32_t kClass = 4;    // e_ident[EI_CLASS]
constexpr uint32_t kData = 5;     // e_ident[EI_DATA]
constexpr uint32_t kType = 16;    // e_type, 16 bits
constexpr uint32_t kMachine = 18; // e_machine, 16 bits
constexpr uint32_t kEntry = 24;
constexpr uint32_t kPhoff = 28;
constexpr uint32_t kShoff = 32;
constexpr uint32_t kPhentsize = 42; // 16 bits from here on
constexpr uint32_t kPhnum = 44;
constexpr uint32_t kShentsize = 46;
constexpr uint32_t kShnum = 48;
constexpr uint32_t kShstrndx = 50;
} // namespace ehdr

// Elf32_Phdr
namespace phdr {
constexpr uint32_t kSize = 32;
constexpr uint32_t kType = 0;
constexpr uint32_t kOffset = 4;
constexpr uint32_t kVaddr = 8;
constexpr uint32_t kPaddr = 12;
constexpr uint32_t kFilesz = 16;
constexpr uint32_t kMemsz = 20;
} // namespace phdr

// Elf32_Shdr
namespace shdr {
constexpr uint32_t kSize = 40;
constexpr uint32_t kName = 0;
constexpr uint32_t kType = 4;
constexpr uint32_t kOffset = 16;
constexpr uint32_t kSizeField = 20;
} // namespace shdr

constexpr uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
constexpr uint8_t kClass32 = 1;
constexpr uint8_t kDataLittle = 1;
constexpr uint16_t kTypeExecutable = 2;
constexpr uint16_t kMachineArm = 40;
constexpr uint32_t kPtLoad = 1;
constexpr uint16_t kMaxProgramHeaders = 16;

inline bool hasMagic(const uint8_t* bytes) {
    return std::memcmp(bytes, kMagic, sizeof kMagic) == 0;
}

struct Header {
    uint8_t elf_class;
    uint8_t data;
    uint16_t type;
    uint16_t machine;
    uint32_t entry;
    uint32_t phoff;
    uint32_t shoff;
    uint16_t phentsize;
    uint16_t phnum;
    uint16_t shentsize;
    uint16_t shnum;
    uint16_t shstrndx;

    static Header parse(const uint8_t* p) {
        return {p[ehdr::kClass],         p[ehdr::kData],
                get16(p + ehdr::kType),  get16(p + ehdr::kMachine),
                get32(p + ehdr::kEntry), get32(p + ehdr::kPhoff),
                get32(p + ehdr::kShoff), get16(p + ehdr::kPhentsize),
                get16(p + ehdr::kPhnum), get16(p + ehdr::kShentsize),
                get16(p + ehdr::kShnum), get16(p + ehdr::kShstrndx)};
    }
};

struct ProgramHeader {
    uint32_t type;
    uint32_t offset;
    uint32_t paddr;
    uint32_t filesz;
    uint32_t memsz;

    static ProgramHeader parse(const uint8_t* p) {
        return {get32(p + phdr::kType), get32(p + phdr::kOffset), get32(p + phdr::kPaddr),
                get32(p + phdr::kFilesz), get32(p + phdr::kMemsz)};
    }
};

struct SectionHeader {
    uint32_t name;
    uint32_t type;
    uint32_t offset;
    uint32_t size;

    static SectionHeader parse(const uint8_t* p) {
        return {get32(p + shdr::kName), get32(p + shdr::kType), get32(p + shdr::kOffset),
                get32(p + shdr::kSizeField)};
    }
};

} // namespace elf
