// Whole loads of real kernels, replayed as the second stage would copy them:
// the physical memory the kernel finds is compared with what the binutils say
// about the ELF file.
#include "file/fat_file_manager.h"
#include "loader/elf_facts.h"
#include "loader/elf_loader.h"
#include "loader/loader_fixture.h"
#include "sim/page_list_replay.h"
#include "support/byte_patch.h"
#include "ui/menu_context.h"

#include <gtest/gtest.h>

namespace {

using sim::SecondStageVariant;

struct ReplayCase {
    const char* kernel;
    const char16_t* device;
    SecondStageVariant variant;
    bool with_image;
};

uint32_t round4(uint32_t n) {
    return (n + 3) & ~3u;
}

std::string imageBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(0x80 | (i * 31 + i / 4093));
    return bytes;
}

// A range the kernel must find, at its ELF (untranslated) address.
struct Expected {
    const char* what;
    uint32_t address;
    std::string bytes;
};

class KernelReplayTest : public LoaderFixture, public ::testing::WithParamInterface<ReplayCase> {
  protected:
    // The symbol block as the ELF file dictates it: header copy, section
    // headers with rewritten offsets, name table, .symtab, .strtab.
    std::string symbolBlock(const std::string& file, const ElfFacts& facts,
                            const std::filesystem::path& path) {
        const ElfFacts::Section* symtab = facts.section(".symtab");
        const ElfFacts::Section* strtab = facts.section(".strtab");
        const ElfFacts::Section* names = nullptr;
        for (const ElfFacts::Section& s : facts.sections)
            if (s.index == facts.shstrndx)
                names = &s;
        EXPECT_TRUE(names != nullptr);
        uint32_t table = facts.shnum * 40;
        uint32_t block_size = 52 + table + round4(names->size);

        std::string header = file.substr(0, 52);
        put32(header, 24, 0);  // e_entry
        put32(header, 28, 0);  // e_phoff
        put16(header, 44, 0);  // e_phnum
        put32(header, 32, 52); // e_shoff
        std::string sections = file.substr(facts.shoff, table);
        for (uint32_t i = 0; i < facts.shnum; ++i) {
            uint32_t offset = 0;
            if (i == facts.shstrndx)
                offset = 52 + table;
            else if (i == symtab->index)
                offset = block_size;
            else if (i == strtab->index)
                offset = block_size + round4(symtab->size);
            put32(sections, i * 40 + 16, offset);
        }
        std::string name_table = file.substr(names->offset, round4(names->size));
        name_table.resize(round4(names->size), '\0');
        std::string symbols = dumpSection(path, ".symtab");
        EXPECT_EQ(symbols.size(), symtab->size);
        symbols.resize(round4(symtab->size), '\0');
        std::string strings = dumpSection(path, ".strtab");
        EXPECT_EQ(strings.size(), strtab->size);
        return header + sections + name_table + symbols + strings;
    }
};

TEST_P(KernelReplayTest, TheKernelFindsEveryByteWhereTheElfSaysAndNothingElse) {
    const ReplayCase& c = GetParam();
    useDevice(c.device);
    MenuContext::instance()->prefs.safety_message = 0;
    const std::filesystem::path path = kernelPath(c.kernel);
    const std::string file = readBytes(path);
    const ElfFacts facts = readElfFacts(path);
    const std::string image = imageBytes(10000);
    writeFile("Storage Card/kernel.elf", file);
    writeFile("Storage Card/miniroot.fs", image);

    // The boot sequence's order of calls.
    FatFileManager files(&console_slot);
    ASSERT_TRUE(files.setRoot(u"\\Storage Card\\"));
    uint32_t image_size = 0;
    if (c.with_image) {
        ASSERT_TRUE(files.open(u"miniroot.fs", 3));
        image_size = memory->roundPage(files.realsize());
        files.close();
    }
    ASSERT_TRUE(files.open(u"kernel.elf", 3));
    ElfLoader loader(&console_slot, &memory);
    ASSERT_TRUE(loader.setFile(&files));
    ASSERT_TRUE(reserveFor(memory->roundPage(loader.memorySize()) + image_size));
    ASSERT_TRUE(loader.load()) << console.text();
    files.close();
    if (c.with_image) {
        ASSERT_TRUE(files.open(u"miniroot.fs", 3));
        ASSERT_TRUE(loader.loadExtraData());
        files.close();
    }
    loader.endPageList();

    std::vector<Expected> expected;
    for (const ElfFacts::Segment& s : facts.loads) {
        std::string bytes = file.substr(s.offset, s.filesz);
        bytes.resize(s.memsz, '\0');
        expected.push_back({"segment", s.paddr, bytes});
    }
    const ElfFacts::Segment& last = facts.loads.back();
    uint32_t kernel_end = last.paddr + last.memsz;
    if (facts.section(".symtab") != nullptr) {
        uint32_t symbols_at = last.paddr + round4(last.memsz);
        std::string block = symbolBlock(file, facts, path);
        expected.push_back({"symbol block", symbols_at, block});
        kernel_end = symbols_at + static_cast<uint32_t>(block.size());
    }
    uint32_t image_at = (kernel_end + 0xFFF) & ~0xFFFu;
    if (c.with_image)
        expected.push_back({"file system image", image_at, image});

    sim::ReplayResult result = sim::replayPageList(loader.pageListHead(), c.variant);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.hazards.empty());

    auto at = [&](uint32_t address) { return sim::secondStageAddress(address, c.variant); };
    std::vector<std::pair<uint32_t, uint32_t>> allowed;
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.what);
        uint32_t size = static_cast<uint32_t>(e.bytes.size());
        EXPECT_TRUE(result.memory.written(at(e.address), size));
        std::vector<uint8_t> found = result.memory.read(at(e.address), size);
        EXPECT_TRUE(std::string(found.begin(), found.end()) == e.bytes) << std::hex << "at 0x" << e.address;
        allowed.emplace_back(at(e.address), round4(size));
    }
    // Nothing is stored outside the expected ranges (each finished to a whole word).
    for (auto [start, size] : result.memory.ranges()) {
        bool inside = false;
        for (uint32_t address = start; address < start + size; address += 4) {
            inside = false;
            for (auto [a, s] : allowed)
                inside = inside || (address >= a && address < a + s);
            if (!inside) {
                ADD_FAILURE() << std::hex << "stray store at 0x" << address;
                break;
            }
        }
    }
    uint32_t last_end = c.with_image ? at(image_at) + static_cast<uint32_t>(image.size()) : at(kernel_end);
    EXPECT_EQ(result.stack_pointer, (last_end + 0x2000) & ~0xFFFu);
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, KernelReplayTest,
    ::testing::Values(ReplayCase{"three_segments", kSaDevice, SecondStageVariant::kSa11x0, true},
                      ReplayCase{"three_segments", kPxaDevice, SecondStageVariant::kPxa2x0, true},
                      ReplayCase{"three_segments", kSaDevice, SecondStageVariant::kSa11x0, false},
                      ReplayCase{"three_segments_stripped", kSaDevice, SecondStageVariant::kSa11x0, true},
                      ReplayCase{"three_segments_stripped", kPxaDevice, SecondStageVariant::kPxa2x0, false},
                      ReplayCase{"reversed_segments", kSaDevice, SecondStageVariant::kSa11x0, true},
                      ReplayCase{"reversed_segments", kPxaDevice, SecondStageVariant::kPxa2x0, true},
                      ReplayCase{"word_tail", kSaDevice, SecondStageVariant::kSa11x0, true},
                      ReplayCase{"word_tail", kPxaDevice, SecondStageVariant::kPxa2x0, false}),
    [](const ::testing::TestParamInfo<ReplayCase>& info) {
        return std::string(info.param.kernel) +
               (info.param.variant == SecondStageVariant::kSa11x0 ? "_sa11x0" : "_pxa2x0") +
               (info.param.with_image ? "_image" : "");
    });

// The known contents of the kernels, checked where the symbol table puts them.
TEST_F(LoaderFixture, KernelDataAndZeroTailsAreWhereTheSymbolsSay) {
    MenuContext::instance()->prefs.safety_message = 0;
    const std::filesystem::path path = kernelPath("word_tail");
    writeFile("Storage Card/kernel.elf", readBytes(path));
    FatFileManager files(&console_slot);
    files.setRoot(u"\\Storage Card\\");
    ASSERT_TRUE(files.open(u"kernel.elf", 3));
    ElfLoader loader(&console_slot, &memory);
    ASSERT_TRUE(loader.setFile(&files));
    ASSERT_TRUE(reserveFor(memory->roundPage(loader.memorySize())));
    ASSERT_TRUE(loader.load());
    loader.endPageList();
    sim::ReplayResult result = sim::replayPageList(loader.pageListHead(), SecondStageVariant::kSa11x0);
    ASSERT_TRUE(result.ok) << result.error;

    // tail_data at 0xC0201000, 4083 bytes, byte i = ((i * 7 + 0x5B) & 0xFF) | 1; then 0x105 zero bytes.
    std::vector<uint8_t> data = result.memory.read(0xC0201000, 4083 + 0x105, 0xAA);
    for (uint32_t i = 0; i < 4083; ++i)
        ASSERT_EQ(data[i], ((i * 7 + 0x5B) & 0xFF) | 1) << i;
    for (uint32_t i = 4083; i < data.size(); ++i)
        ASSERT_EQ(data[i], 0) << i;
}

} // namespace
