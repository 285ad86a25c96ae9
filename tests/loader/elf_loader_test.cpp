#include "loader/elf_facts.h"
#include "loader/elf_loader.h"
#include "loader/loader_fixture.h"
#include "support/byte_patch.h"
#include "support/memory_file_manager.h"
#include "ui/menu_context.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

// Elf32_Ehdr / Elf32_Phdr / Elf32_Shdr field offsets, from the ELF format.
constexpr size_t kClass = 4, kData = 5, kType = 16, kMachine = 18, kPhoff = 28, kShoff = 32, kPhentsize = 42,
                 kPhnum = 44, kShentsize = 46, kShnum = 48, kShstrndx = 50;
constexpr size_t kPType = 0, kPOffset = 4, kPPaddr = 12, kPFilesz = 16, kPMemsz = 20;
constexpr size_t kShName = 0, kShOffset = 16, kShSize = 20;
constexpr uint32_t kChunk = 4080;

uint32_t roundPage(uint32_t n) {
    return (n + 0xFFF) & ~0xFFFu;
}
uint32_t round4(uint32_t n) {
    return (n + 3) & ~3u;
}

std::string format(const char* fmt, auto... args) {
    char text[512];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

class ElfLoaderTest : public LoaderFixture {
  protected:
    void SetUp() override {
        LoaderFixture::SetUp();
        path = kernelPath("three_segments");
        bytes = readBytes(path);
        facts = readElfFacts(path);
        ASSERT_EQ(facts.loads.size(), 3u);
        MenuContext::instance()->prefs.safety_message = 1;
    }
    void TearDown() override {
        loader.reset();
        file.reset();
        LoaderFixture::TearDown();
    }

    // A loader over `image`; the console holds what setFile printed.
    bool open(const std::string& image) {
        loader.reset();
        file = std::make_unique<MemoryFileManager>(&console_slot, image);
        loader = std::make_unique<ElfLoader>(&console_slot, &memory);
        console.output.clear();
        return loader->setFile(file.get());
    }
    size_t programHeader(uint32_t index) const { return facts.phoff + 32 * index; }
    size_t sectionHeader(uint32_t index) const { return facts.shoff + 40 * index; }
    const std::vector<sim::MessageBoxRecord>& boxes() { return device().message_boxes; }

    std::filesystem::path path;
    std::string bytes;
    ElfFacts facts;
    std::unique_ptr<MemoryFileManager> file;
    std::unique_ptr<ElfLoader> loader;
};

TEST_F(ElfLoaderTest, AnnouncesItself) {
    console.output.clear();
    ElfLoader announcing(&console_slot, &memory);
    EXPECT_EQ(console.text(), "Loader: ELF\n");
}

TEST_F(ElfLoaderTest, MemorySizeLineAddsSegmentsSymbolBlockAndExtra) {
    ASSERT_TRUE(open(bytes));
    EXPECT_EQ(console.text(), "");
    const ElfFacts::Section* symtab = facts.section(".symtab");
    const ElfFacts::Section* strtab = facts.section(".strtab");
    const ElfFacts::Section& names = facts.sections[facts.shstrndx - 1];
    ASSERT_TRUE(symtab && strtab);
    ASSERT_EQ(names.name, ".shstrtab");

    uint32_t header = 52 + facts.shnum * 40 + round4(names.size);
    uint32_t symbols = header + round4(symtab->size) + strtab->size;
    uint32_t total = symbols;
    uint32_t extra = 2 * kChunk;
    std::string sizes;
    for (const ElfFacts::Segment& s : facts.loads) {
        sizes += format("%s0x%x", sizes.empty() ? "" : "+", s.filesz);
        total += roundPage(s.filesz);
        extra += s.filesz < s.memsz ? 2 * kChunk : kChunk;
    }
    total += extra;
    EXPECT_EQ(loader->memorySize(), total);
    EXPECT_EQ(console.text(),
              format("file size: %s+[ksyms: header 0x%x, symtab 0x%x, strtab 0x%x = 0x%x]+[extra: 0x%x] = "
                     "0x%x bytes\n",
                     sizes.c_str(), header, symtab->size, strtab->size, symbols, extra, total));
    EXPECT_TRUE(loader->hasSymbols());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ElfLoaderTest, StrippedKernelGoesOnWithoutSymbolsAndSaysSoWhenAsked) {
    std::filesystem::path stripped = kernelPath("three_segments_stripped");
    for (uint32_t safety : {1u, 0u}) {
        SCOPED_TRACE(safety);
        MenuContext::instance()->prefs.safety_message = safety;
        device().message_boxes.clear();
        ASSERT_TRUE(open(readBytes(stripped)));
        uint32_t size = loader->memorySize();
        EXPECT_EQ(console.text(), "file size: 0x90+0x34+0x180c+[extra: 0x3fc0] = 0x7fc0 bytes\n");
        EXPECT_EQ(size, 0x7FC0u);
        EXPECT_FALSE(loader->hasSymbols());
        if (safety) {
            ASSERT_EQ(boxes().size(), 1u);
            EXPECT_EQ(boxes()[0].text, u"No symbol and/or string table in binary.\n(not fatal)");
            EXPECT_EQ(boxes()[0].caption, u"Information");
            EXPECT_EQ(boxes()[0].style, 64u);
        } else {
            EXPECT_TRUE(boxes().empty());
        }
        ASSERT_TRUE(reserveFor(size));
        ASSERT_TRUE(loader->load());
        EXPECT_EQ(console.text().find("ksyms"), std::string::npos);
        EXPECT_EQ(loader->loadLinks(), 4); // 0x90, 0x34, 0x180c in two chunks
        EXPECT_EQ(loader->zeroLinks(), 1);
    }
}

struct HeaderCase {
    const char* name;
    std::function<void(std::string&, const ElfFacts&)> patch;
    const char* message; // printf format with the facts' values filled in by `expect`
};

TEST_F(ElfLoaderTest, RefusesHeadersItCannotLoadWithTheirMessage) {
    auto phdr = [](const ElfFacts& f, uint32_t i, size_t field) { return f.phoff + 32 * i + field; };
    const std::vector<HeaderCase> cases = {
        {"magic", [](std::string& b, const ElfFacts&) { b[1] = 'X'; }, "not a ELF file.\n"},
        {"big-endian", [](std::string& b, const ElfFacts&) { b[kData] = 2; }, "invalid class/data(1/2)\n"},
        {"64-bit", [](std::string& b, const ElfFacts&) { b[kClass] = 2; }, "invalid class/data(2/1)\n"},
        {"x86", [](std::string& b, const ElfFacts&) { put16(b, kMachine, 3); },
         "not a native architecture. machine = 3\n"},
        {"relocatable", [](std::string& b, const ElfFacts&) { put16(b, kType, 1); },
         "not a executable file. type = 1\n"},
        {"17 program headers", [](std::string& b, const ElfFacts&) { put16(b, kPhnum, 17); },
         "invalid program header information.\n"},
        {"no program headers", [](std::string& b, const ElfFacts&) { put16(b, kPhnum, 0); },
         "invalid program header information.\n"},
        {"entry size 33", [](std::string& b, const ElfFacts&) { put16(b, kPhentsize, 33); },
         "invalid program header information.\n"},
        {"table at 0", [](std::string& b, const ElfFacts&) { put32(b, kPhoff, 0); },
         "invalid program header information.\n"},
        {"section table past the end",
         [](std::string& b, const ElfFacts&) { put32(b, kShoff, b.size() - 40); },
         "section header read error.\n"},
        {"section table wraps", [](std::string& b, const ElfFacts&) { put32(b, kShoff, 0xFFFFFFF0); },
         "section header read error.\n"},
        {"program table past the end",
         [](std::string& b, const ElfFacts&) { put32(b, kPhoff, b.size() - 16); },
         "program header read error.\n"},
        {"program table wraps", [](std::string& b, const ElfFacts&) { put32(b, kPhoff, 0xFFFFFFF0); },
         "program header read error.\n"},
        {"truncated header", [](std::string& b, const ElfFacts&) { b.resize(40); },
         "ELF header read error.\n"},
        {"file size above memory size",
         [&](std::string& b, const ElfFacts& f) { put32(b, phdr(f, 2, kPFilesz), f.loads[2].memsz + 4); },
         "invalid segment 2: paddr 0xc0202000 mem size 0x3c10 ofs 0x3000 file size 0x3c14\n"},
        {"unaligned destination",
         [&](std::string& b, const ElfFacts& f) { put32(b, phdr(f, 0, kPPaddr), 0xC0200002); },
         "invalid segment 0: paddr 0xc0200002 mem size 0x90 ofs 0x1000 file size 0x90\n"},
        {"file range wraps",
         [&](std::string& b, const ElfFacts& f) { put32(b, phdr(f, 1, kPOffset), 0xFFFFFFF0); },
         "invalid segment 1: paddr 0xc0201000 mem size 0x34 ofs 0xfffffff0 file size 0x34\n"},
        {"destination wraps",
         [&](std::string& b, const ElfFacts& f) { put32(b, phdr(f, 2, kPMemsz), 0x40000000); },
         "invalid segment 2: paddr 0xc0202000 mem size 0x40000000 ofs 0x3000 file size 0x180c\n"},
        {"memory size rounds past 4 GB (0xfffffffd)",
         [&](std::string& b, const ElfFacts& f) { put32(b, phdr(f, 2, kPMemsz), 0xFFFFFFFD); },
         "invalid segment 2: paddr 0xc0202000 mem size 0xfffffffd ofs 0x3000 file size 0x180c\n"},
        {"memory size rounds past 4 GB (0xffffffff)",
         [&](std::string& b, const ElfFacts& f) { put32(b, phdr(f, 2, kPMemsz), 0xFFFFFFFF); },
         "invalid segment 2: paddr 0xc0202000 mem size 0xffffffff ofs 0x3000 file size 0x180c\n"},
        {"nothing to load",
         [&](std::string& b, const ElfFacts& f) {
             for (uint32_t i = 0; i < 3; ++i)
                 put32(b, phdr(f, i, kPType), 4);
         },
         "no loadable segment.\n"},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string image = bytes;
        c.patch(image, facts);
        EXPECT_FALSE(open(image));
        EXPECT_EQ(console.text(), c.message);
    }
}

// A segment larger than the memory banks the architecture registered is
// refused when the file is opened, not after the jump.
TEST_F(ElfLoaderTest, SegmentsLargerThanTheMemoryBanksAreRefused) {
    struct Case {
        const char* what;
        uint32_t bank_size; // four banks of it, adjacent
        uint32_t memsz;
        const char* message; // null: accepted
    };
    const Case cases[] = {
        {"a damaged size on SA-11x0 banks", 0x08000000, 0x34d00004,
         "segment 2: mem size 0x34d00004 is larger than the machine's memory (0x20000000 bytes).\n"},
        {"256 MB and a word on PXA2x0 banks", 0x04000000, 0x10000004,
         "segment 2: mem size 0x10000004 is larger than the machine's memory (0x10000000 bytes).\n"},
        {"128 MB of bss on PXA2x0 banks", 0x04000000, 0x08000000, nullptr},
    };
    auto phdr = [](const ElfFacts& f, uint32_t i, size_t field) { return f.phoff + 32 * i + field; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        for (uint32_t i = 0; i < 4; ++i)
            memory->addBank(0xC0000000 + i * c.bank_size, c.bank_size);
        console.output.clear();
        std::string image = bytes;
        put32(image, phdr(facts, 2, kPMemsz), c.memsz);
        EXPECT_EQ(open(image), c.message == nullptr);
        EXPECT_EQ(console.text(), c.message == nullptr ? "" : c.message);
    }
}

TEST_F(ElfLoaderTest, SixteenProgramHeadersAreAccepted) {
    std::string image = bytes;
    put16(image, kPhnum, 16); // the entries after the third are the zero padding: PT_NULL
    ASSERT_TRUE(open(image));
    uint32_t size = loader->memorySize();
    ASSERT_TRUE(reserveFor(size));
    EXPECT_TRUE(loader->load());
    EXPECT_EQ(loader->zeroLinks(), 1);
}

struct SymbolCase {
    const char* name;
    std::function<void(std::string&, ElfLoaderTest&)> patch;
    std::string reason; // console text before the memory-size line goes on
};

TEST_F(ElfLoaderTest, DamagedSectionTablesLeaveTheKernelWithoutSymbols) {
    const ElfFacts::Section* symtab = facts.section(".symtab");
    ASSERT_NE(symtab, nullptr);
    size_t names_header = sectionHeader(facts.shstrndx);
    size_t symtab_header = sectionHeader(symtab->index);
    const std::vector<SymbolCase> cases = {
        {"name table index out of range",
         [&](std::string& b, ElfLoaderTest&) { put16(b, kShstrndx, facts.shnum); },
         format("section name table index %u out of range.\n", facts.shnum)},
        {"section header size 32", [&](std::string& b, ElfLoaderTest&) { put16(b, kShentsize, 32); }, ""},
        {"no section headers", [&](std::string& b, ElfLoaderTest&) { put16(b, kShnum, 0); }, ""},
        {"huge name table",
         [&](std::string& b, ElfLoaderTest&) { put32(b, names_header + kShSize, 0x7FFFFFFF); },
         format("invalid section name table (0x7fffffff bytes at 0x%x).\n",
                facts.sections[facts.shstrndx - 1].offset)},
        {"name table past the end",
         [&](std::string& b, ElfLoaderTest&) { put32(b, names_header + kShOffset, b.size() + 0x100); },
         "section name table read error.\n"},
        {"symtab name outside the name table",
         [&](std::string& b, ElfLoaderTest&) { put32(b, symtab_header + kShName, 0x10000); },
         format("section %u: name offset 0x10000 outside the name table.\n", symtab->index)},
        {"symtab size overflows",
         [&](std::string& b, ElfLoaderTest&) { put32(b, symtab_header + kShSize, 0xFFFFFFFE); },
         format("invalid symbol tables (symtab 0xfffffffe at 0x%x, strtab 0x%x at 0x%x).\n", symtab->offset,
                facts.section(".strtab")->size, facts.section(".strtab")->offset)},
    };
    for (const SymbolCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string image = bytes;
        c.patch(image, *this);
        device().message_boxes.clear();
        ASSERT_TRUE(open(image));
        std::string before_size = console.text();
        console.output.clear();
        uint32_t size = loader->memorySize();
        std::string line = before_size + console.text();
        if (!c.reason.empty()) {
            EXPECT_NE(line.find(c.reason), std::string::npos) << line;
        }
        if (std::string(c.name) == "section header size 32") {
            EXPECT_EQ(before_size, "invalid section header size 32.\n");
        }
        EXPECT_EQ(line.find("ksyms"), std::string::npos) << line;
        EXPECT_NE(line.find("file size: 0x90+0x34+0x180c+[extra: 0x3fc0] = 0x7fc0 bytes\n"),
                  std::string::npos)
            << line;
        EXPECT_FALSE(loader->hasSymbols());
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(boxes()[0].caption, u"Information");
        ASSERT_TRUE(reserveFor(size));
        EXPECT_TRUE(loader->load());
        delete memory;
        memory = nullptr;
        useDevice(kSaDevice);
        loader = std::make_unique<ElfLoader>(&console_slot, &memory); // drop the old loader's memory slot use
    }
}

TEST_F(ElfLoaderTest, ASymbolTableBeyondTheFileFailsTheLoad) {
    std::string image = bytes;
    const ElfFacts::Section* symtab = facts.section(".symtab");
    put32(image, sectionHeader(symtab->index) + kShSize, 0x20000);
    ASSERT_TRUE(open(image));
    uint32_t size = loader->memorySize();
    ASSERT_TRUE(loader->hasSymbols());
    ASSERT_TRUE(reserveFor(size));
    console.output.clear();
    EXPECT_FALSE(loader->load());
    EXPECT_NE(console.text().find("short read at offset"), std::string::npos) << console.text();
}

TEST_F(ElfLoaderTest, MoreThanFourGigabytesIsRefused) {
    std::string image = bytes;
    for (uint32_t i = 0; i < 3; ++i) {
        put32(image, programHeader(i) + kPPaddr, 0);
        put32(image, programHeader(i) + kPOffset, 0);
        put32(image, programHeader(i) + kPFilesz, 0x60000000);
        put32(image, programHeader(i) + kPMemsz, 0x60000000);
    }
    ASSERT_TRUE(open(image));
    EXPECT_EQ(loader->memorySize(), 0xFFFFFFFFu);
    EXPECT_NE(console.text().find(" = more than 4 GB\n"), std::string::npos) << console.text();
    ASSERT_TRUE(reserveFor(0x10000));
    console.output.clear();
    EXPECT_FALSE(loader->load());
    EXPECT_EQ(console.text(), "kernel image too large.\n");
}

// The ranges known before loading (to hold back pages) are the links the
// load then makes, for kernels of one page and of many, with an image after them.
TEST_F(ElfLoaderTest, PlannedDestinationsAreTheLinksTheLoadMakes) {
    const uint32_t image_size = 3 * 4096;
    for (const char* kernel : {"three_segments", "probe", "word_tail"}) {
        SCOPED_TRACE(kernel);
        ASSERT_TRUE(open(readBytes(kernelPath(kernel))));
        uint32_t need = loader->memorySize();
        std::vector<Loader::Destination> planned = loader->plannedDestinations(image_size);
        ASSERT_TRUE(reserveFor(need + image_size));
        ASSERT_TRUE(loader->load());
        file->bytes = std::string(image_size, 'i'); // the image, opened in the kernel's place
        ASSERT_TRUE(loader->loadExtraData());
        EXPECT_EQ(planned, loader->destinations());
        EXPECT_GT(planned.size(), 3u);
    }
}

TEST_F(ElfLoaderTest, LoadPrintsEachSegmentAndTheSymbolBlock) {
    ASSERT_TRUE(open(bytes));
    ASSERT_TRUE(reserveFor(loader->memorySize()));
    console.output.clear();
    ASSERT_TRUE(loader->load());
    std::string expected;
    for (uint32_t i = 0; i < facts.loads.size(); ++i) {
        const ElfFacts::Segment& s = facts.loads[i];
        expected +=
            format("seg[%u] paddr 0x%08x file size 0x%x mem size 0x%x\n", i, s.paddr, s.filesz, s.memsz);
        expected += format("\t->load 0x%08x+0x%08x=0x%08x ofs=0x%08x+0x%x\n", s.paddr, s.memsz,
                           s.paddr + s.memsz, s.offset, s.filesz);
        if (s.filesz < s.memsz)
            expected += format("\t->zero 0x%08x+0x%08x=0x%08x\n", s.paddr + s.filesz, s.memsz - s.filesz,
                               s.paddr + s.memsz);
    }
    expected += "ksyms\n";
    EXPECT_EQ(console.text().substr(0, expected.size()), expected);
}

TEST_F(ElfLoaderTest, SymbolBlockFollowsTheLastSegmentRoundedToAWord) {
    std::string image = bytes;
    put32(image, programHeader(2) + kPMemsz, 0x2001);
    ASSERT_TRUE(open(image));
    ASSERT_TRUE(reserveFor(loader->memorySize()));
    ASSERT_TRUE(loader->load());
    loader->endPageList();
    std::vector<ChainEntry> links = chain(loader->pageListHead());
    // text, rodata, data in two chunks, the zero-clear link, then the symbol block.
    ASSERT_GT(links.size(), 5u);
    EXPECT_EQ(links[4].link.src, PageLink::kZeroClear);
    EXPECT_EQ(links[5].link.dst, 0xC0202000u + 0x2004);
}

TEST_F(ElfLoaderTest, EntryAddressIsPrintedAndReturned) {
    ASSERT_TRUE(open(bytes));
    EXPECT_EQ(loader->jumpAddr(), facts.entry);
    EXPECT_EQ(console.text(), format("kernel entry address: 0x%08x\n", facts.entry));
}

} // namespace
