#include "sim/placed_image.h"

#include "loader/elf_format.h"
#include "sim/page_list_replay.h"

#include <algorithm>
#include <cstdio>
#include <zlib.h>

namespace sim {

namespace {

// Fields of the host's copy of the kernel file; a field past its end reads as 0.
uint32_t get16(const std::vector<uint8_t>& bytes, uint64_t at) {
    return at + 2 <= bytes.size() ? elf::get16(&bytes[at]) : 0;
}

uint32_t get32(const std::vector<uint8_t>& bytes, uint64_t at) {
    return at + 4 <= bytes.size() ? elf::get32(&bytes[at]) : 0;
}

// `size` bytes of the file from `offset`; bytes past its end read as zero.
std::vector<uint8_t> fileBytes(const std::vector<uint8_t>& file, uint64_t offset, uint64_t size) {
    std::vector<uint8_t> out(size, 0);
    if (offset < file.size())
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), std::min(size, file.size() - offset),
                    out.begin());
    return out;
}

// The symbol block the kernel finds after its last segment: the ELF header
// with no program headers, the section headers with the offsets the block
// gives them, the section names, then .symtab and .strtab. Empty when the
// file has no usable symbol tables.
struct SymbolBlock {
    std::vector<uint8_t> head; // header, section headers, names
    std::vector<uint8_t> symtab;
    std::vector<uint8_t> strtab;
};

bool symbolBlockOf(const std::vector<uint8_t>& file, SymbolBlock& block) {
    uint32_t shoff = get32(file, elf::ehdr::kShoff);
    uint32_t shentsize = get16(file, elf::ehdr::kShentsize);
    uint32_t shnum = get16(file, elf::ehdr::kShnum);
    uint32_t shstrndx = get16(file, elf::ehdr::kShstrndx);
    uint64_t table = uint64_t{shnum} * elf::shdr::kSize;
    if (shnum == 0 || shentsize != elf::shdr::kSize || shstrndx >= shnum || shoff + table > file.size())
        return false;
    auto header = [&](uint32_t i) { return shoff + uint64_t{i} * elf::shdr::kSize; };
    uint32_t names_offset = get32(file, header(shstrndx) + elf::shdr::kOffset);
    uint32_t names_size = get32(file, header(shstrndx) + elf::shdr::kSizeField);
    if (uint64_t{names_offset} + names_size > file.size())
        return false;
    auto nameIs = [&](uint32_t i, const std::string& name) {
        uint32_t name_at = get32(file, header(i) + elf::shdr::kName);
        uint64_t at = uint64_t{names_offset} + name_at;
        return name_at < names_size && at + name.size() < file.size() &&
               std::string(file.begin() + at, file.begin() + at + name.size()) == name &&
               file[at + name.size()] == 0;
    };
    int symtab = -1, strtab = -1;
    for (uint32_t i = 0; i < shnum; ++i) {
        if (nameIs(i, ".strtab"))
            strtab = static_cast<int>(i);
        else if (nameIs(i, ".symtab"))
            symtab = static_cast<int>(i);
    }
    if (symtab < 0 || strtab < 0)
        return false;
    uint32_t symtab_offset = get32(file, header(symtab) + elf::shdr::kOffset),
             symtab_size = get32(file, header(symtab) + elf::shdr::kSizeField);
    uint32_t strtab_offset = get32(file, header(strtab) + elf::shdr::kOffset),
             strtab_size = get32(file, header(strtab) + elf::shdr::kSizeField);
    if (uint64_t{symtab_offset} + symtab_size > file.size() ||
        uint64_t{strtab_offset} + strtab_size > file.size())
        return false;

    uint64_t names_start = elf::ehdr::kSize + table;
    uint64_t head_size = names_start + elf::round4(uint64_t{names_size});
    block.head = fileBytes(file, 0, elf::ehdr::kSize);
    elf::put32(&block.head[elf::ehdr::kEntry], 0);
    elf::put32(&block.head[elf::ehdr::kPhoff], 0);
    elf::put32(&block.head[elf::ehdr::kShoff], elf::ehdr::kSize);
    elf::put16(&block.head[elf::ehdr::kPhnum], 0);
    std::vector<uint8_t> sections = fileBytes(file, shoff, table);
    for (uint32_t i = 0; i < shnum; ++i) {
        uint64_t offset = i == shstrndx ? names_start : 0;
        // The symbol tables' entries are rewritten last, as the loader does:
        // they win when a damaged file names the section-name table so.
        if (static_cast<int>(i) == symtab)
            offset = head_size;
        else if (static_cast<int>(i) == strtab)
            offset = head_size + elf::round4(uint64_t{symtab_size});
        elf::put32(&sections[i * elf::shdr::kSize + elf::shdr::kOffset], static_cast<uint32_t>(offset));
    }
    block.head.insert(block.head.end(), sections.begin(), sections.end());
    std::vector<uint8_t> names = fileBytes(file, names_offset, elf::round4(uint64_t{names_size}));
    block.head.insert(block.head.end(), names.begin(), names.end());
    block.symtab = fileBytes(file, symtab_offset, symtab_size);
    block.strtab = fileBytes(file, strtab_offset, strtab_size);
    return true;
}

} // namespace

bool readHostFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "can't open \"" + path.string() + "\"";
        return false;
    }
    uint8_t buffer[1 << 16];
    int count;
    while ((count = gzread(file, buffer, sizeof buffer)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + count);
    int status = Z_OK;
    const char* message = gzerror(file, &status);
    bool ok = count == 0 && (status == Z_OK || status == Z_STREAM_END);
    if (!ok)
        error = "can't read \"" + path.string() + "\": " + message;
    gzclose(file);
    return ok;
}

ExpectedPlacement expectedPlacement(const std::vector<uint8_t>& kernel, const std::vector<uint8_t>& image,
                                    JumpRoutine variant) {
    ExpectedPlacement expected;
    if (kernel.size() < elf::ehdr::kSize || !elf::hasMagic(kernel.data())) {
        expected.error = "the kernel file is not an ELF file";
        return expected;
    }
    // `bytes` then `zeros` zero bytes, written on from the moved start as one link is.
    auto place = [&](uint32_t destination, std::vector<uint8_t> bytes, uint32_t zeros = 0) {
        uint32_t start = secondStageAddress(destination, variant);
        auto size = static_cast<uint32_t>(bytes.size());
        if (size != 0)
            expected.ranges.push_back({start, size, std::move(bytes)});
        if (zeros != 0)
            expected.ranges.push_back({start + size, zeros, {}});
    };
    uint32_t phoff = get32(kernel, elf::ehdr::kPhoff);
    uint32_t phnum = get16(kernel, elf::ehdr::kPhnum);
    uint64_t end = 0;      // after the last segment in table order, words rounded
    uint64_t last_end = 0; // the end of the last range placed
    for (uint32_t i = 0; i < phnum; ++i) {
        uint64_t at = phoff + uint64_t{i} * elf::phdr::kSize;
        if (get32(kernel, at + elf::phdr::kType) != elf::kPtLoad)
            continue;
        uint32_t offset = get32(kernel, at + elf::phdr::kOffset),
                 paddr = get32(kernel, at + elf::phdr::kPaddr);
        uint32_t filesz = get32(kernel, at + elf::phdr::kFilesz),
                 memsz = get32(kernel, at + elf::phdr::kMemsz);
        place(paddr, fileBytes(kernel, offset, filesz), memsz > filesz ? memsz - filesz : 0);
        end = paddr + elf::round4(uint64_t{memsz});
        last_end = uint64_t{paddr} + memsz;
    }
    SymbolBlock block;
    if (symbolBlockOf(kernel, block)) {
        uint64_t symtab_at = end + block.head.size();
        uint64_t strtab_at = symtab_at + elf::round4(uint64_t{block.symtab.size()});
        last_end = strtab_at + block.strtab.size();
        place(static_cast<uint32_t>(end), std::move(block.head));
        place(static_cast<uint32_t>(symtab_at), std::move(block.symtab));
        place(static_cast<uint32_t>(strtab_at), std::move(block.strtab));
    }
    if (!image.empty())
        place(static_cast<uint32_t>((last_end + 4095) & ~uint64_t{4095}), image);
    return expected;
}

PlacementCheck verifyPlacement(const ExpectedPlacement& expected, const PhysicalReader& read) {
    PlacementCheck check;
    if (!expected.error.empty()) {
        check.line = "placed image not verified: " + expected.error;
        return check;
    }
    uint64_t bytes = 0;
    std::vector<uint8_t> found;
    for (const PlacedRange& range : expected.ranges) {
        constexpr uint32_t kPiece = 1 << 20;
        for (uint32_t done = 0; done < range.size;) {
            uint32_t piece = std::min(kPiece, range.size - done);
            found.assign(piece, 0);
            uint32_t address = range.address + done;
            if (!read(address, found.data(), piece)) {
                check.line = "placed image differs at " + hexWord(address) + ": no RAM there";
                return check;
            }
            for (uint32_t i = 0; i < piece; ++i) {
                uint8_t want = range.bytes.empty() ? 0 : range.bytes[done + i];
                if (found[i] != want) {
                    char line[128];
                    std::snprintf(line, sizeof line,
                                  "placed image differs at 0x%08x: expected 0x%02x, found 0x%02x",
                                  address + i, want, found[i]);
                    check.line = line;
                    return check;
                }
            }
            done += piece;
        }
        bytes += range.size;
    }
    check.ok = true;
    check.line = "placed image verified: " + std::to_string(expected.ranges.size()) + " ranges, " +
                 std::to_string(bytes) + " bytes";
    return check;
}

} // namespace sim
