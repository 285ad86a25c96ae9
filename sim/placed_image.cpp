#include "sim/placed_image.h"

#include "sim/page_list_replay.h"

#include <algorithm>
#include <cstdio>
#include <zlib.h>

namespace sim {

namespace {

constexpr uint32_t kPtLoad = 1;
constexpr uint32_t kEhdrSize = 52;
constexpr uint32_t kShdrSize = 40;

uint32_t get16(const std::vector<uint8_t>& bytes, uint64_t at) {
    return at + 2 <= bytes.size() ? uint32_t{bytes[at]} | (uint32_t{bytes[at + 1]} << 8) : 0;
}

uint32_t get32(const std::vector<uint8_t>& bytes, uint64_t at) {
    return get16(bytes, at) | (get16(bytes, at + 2) << 16);
}

void put32(std::vector<uint8_t>& bytes, uint64_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t round4(uint64_t n) {
    return (n + 3) & ~uint64_t{3};
}

// `size` bytes of the file from `offset`; bytes past its end read as zero.
std::vector<uint8_t> fileBytes(const std::vector<uint8_t>& file, uint64_t offset, uint64_t size) {
    std::vector<uint8_t> out(size, 0);
    for (uint64_t i = 0; i < size && offset + i < file.size(); ++i)
        out[i] = file[offset + i];
    return out;
}

class Placement {
  public:
    Placement(ExpectedPlacement& expected, JumpRoutine variant) : expected_(expected), variant_(variant) {}

    // `bytes` then `zeros` zero bytes, written on from the moved start as one link is.
    void add(uint32_t destination, std::vector<uint8_t> bytes, uint32_t zeros = 0) {
        uint32_t start = secondStageAddress(destination, variant_);
        auto size = static_cast<uint32_t>(bytes.size());
        if (size != 0)
            expected_.ranges.push_back({start, size, std::move(bytes)});
        if (zeros != 0)
            expected_.ranges.push_back({start + size, zeros, {}});
    }

  private:
    ExpectedPlacement& expected_;
    JumpRoutine variant_;
};

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
    uint32_t shoff = get32(file, 32);
    uint32_t shentsize = get16(file, 46);
    uint32_t shnum = get16(file, 48);
    uint32_t shstrndx = get16(file, 50);
    uint64_t table = uint64_t{shnum} * kShdrSize;
    if (shnum == 0 || shentsize != kShdrSize || shstrndx >= shnum || shoff + table > file.size())
        return false;
    auto header = [&](uint32_t i) { return shoff + uint64_t{i} * kShdrSize; };
    uint32_t names_offset = get32(file, header(shstrndx) + 16);
    uint32_t names_size = get32(file, header(shstrndx) + 20);
    if (uint64_t{names_offset} + names_size > file.size())
        return false;
    auto nameIs = [&](uint32_t i, const std::string& name) {
        uint64_t at = uint64_t{names_offset} + get32(file, header(i));
        return get32(file, header(i)) < names_size && at + name.size() < file.size() &&
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
    uint32_t symtab_offset = get32(file, header(symtab) + 16), symtab_size = get32(file, header(symtab) + 20);
    uint32_t strtab_offset = get32(file, header(strtab) + 16), strtab_size = get32(file, header(strtab) + 20);
    if (uint64_t{symtab_offset} + symtab_size > file.size() ||
        uint64_t{strtab_offset} + strtab_size > file.size())
        return false;

    uint64_t names_start = kEhdrSize + table;
    uint64_t head_size = names_start + round4(names_size);
    block.head = fileBytes(file, 0, kEhdrSize);
    put32(block.head, 24, 0); // e_entry
    put32(block.head, 28, 0); // e_phoff
    put32(block.head, 32, kEhdrSize);
    block.head[44] = block.head[45] = 0; // e_phnum
    std::vector<uint8_t> sections = fileBytes(file, shoff, table);
    for (uint32_t i = 0; i < shnum; ++i) {
        uint64_t offset = 0;
        if (i == shstrndx)
            offset = names_start;
        else if (static_cast<int>(i) == symtab)
            offset = head_size;
        else if (static_cast<int>(i) == strtab)
            offset = head_size + round4(symtab_size);
        put32(sections, uint64_t{i} * kShdrSize + 16, static_cast<uint32_t>(offset));
    }
    block.head.insert(block.head.end(), sections.begin(), sections.end());
    std::vector<uint8_t> names = fileBytes(file, names_offset, round4(names_size));
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
    if (kernel.size() < kEhdrSize || get32(kernel, 0) != 0x464C457Fu) {
        expected.error = "the kernel file is not an ELF file";
        return expected;
    }
    Placement placement(expected, variant);
    uint32_t phoff = get32(kernel, 28);
    uint32_t phnum = get16(kernel, 44);
    uint64_t end = 0;      // after the last segment in table order, words rounded
    uint64_t last_end = 0; // the end of the last range placed
    for (uint32_t i = 0; i < phnum; ++i) {
        uint64_t at = phoff + uint64_t{i} * 32;
        if (get32(kernel, at) != kPtLoad)
            continue;
        uint32_t offset = get32(kernel, at + 4), paddr = get32(kernel, at + 12);
        uint32_t filesz = get32(kernel, at + 16), memsz = get32(kernel, at + 20);
        placement.add(paddr, fileBytes(kernel, offset, filesz), memsz > filesz ? memsz - filesz : 0);
        end = paddr + round4(memsz);
        last_end = uint64_t{paddr} + memsz;
    }
    SymbolBlock block;
    if (symbolBlockOf(kernel, block)) {
        uint64_t symtab_at = end + block.head.size();
        uint64_t strtab_at = symtab_at + round4(block.symtab.size());
        last_end = strtab_at + block.strtab.size();
        placement.add(static_cast<uint32_t>(end), std::move(block.head));
        placement.add(static_cast<uint32_t>(symtab_at), std::move(block.symtab));
        placement.add(static_cast<uint32_t>(strtab_at), std::move(block.strtab));
    }
    if (!image.empty())
        placement.add(static_cast<uint32_t>((last_end + 4095) & ~uint64_t{4095}), image);
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
