// Kernels whose layout could only fault after the jump are refused while the
// boot can still say why: damaged program headers of a real kernel, booted on
// an SA-11x0 and a PXA2x0 machine.
#include "loader/elf_facts.h"
#include "loader/kernel_layout.h"
#include "support/byte_patch.h"
#include "support/kernel_boot.h"
#include "support/recording_console.h"
#include "support/ufs_disk_images.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr size_t kEntry = 24;                // e_entry
constexpr size_t kPPaddr = 12, kPMemsz = 20; // p_paddr, p_memsz
const std::u16string kLoadFailed = u"Can't load kernel image to memory.\n";
const std::u16string kNoMemory = u"Can't allocate memory.\n";

// What one machine says about a kernel: the console line and the box, or
// nothing when the kernel reaches the jump.
struct Verdict {
    std::string line;
    std::u16string box;
    bool refused() const { return !box.empty(); }
};
const Verdict kBoots{};

struct LayoutCase {
    const char* name;
    std::function<void(std::string& bytes, const ElfFacts& facts)> patch;
    Verdict sa11x0;
    Verdict pxa2x0;
};

size_t programHeader(const ElfFacts& facts, uint32_t index, size_t field) {
    return facts.phoff + 32 * index + field;
}

auto moveSegment(uint32_t index, uint32_t paddr) {
    return [=](std::string& bytes, const ElfFacts& facts) {
        put32(bytes, programHeader(facts, index, kPPaddr), paddr);
    };
}

auto moveEntry(uint32_t entry) {
    return [=](std::string& bytes, const ElfFacts&) { put32(bytes, kEntry, entry); };
}

const char kWindows[] = "lies outside the addresses this machine places a kernel at "
                        "(0xa0000000-0xafffffff, 0xc0000000-0xcfffffff).\n";

// three_segments: 0xc0200000 (0x90 bytes), 0xc0201000 (0x34), 0xc0202000
// (0x180c of file, 0x3c10 in memory), entry 0xc0200000, a symbol block of
// 0x3f4 bytes after the last segment.
const LayoutCase kCases[] = {
    {"entry before the kernel",
     moveEntry(0xC0100000),
     {"kernel entry address 0xc0100000 lies outside every loaded segment.\n", kLoadFailed},
     {"kernel entry address 0xc0100000 (0xa0100000 for this machine) lies outside every loaded segment.\n",
      kLoadFailed}},
    {"entry just past the first segment",
     moveEntry(0xC0200090),
     {"kernel entry address 0xc0200090 lies outside every loaded segment.\n", kLoadFailed},
     {"kernel entry address 0xc0200090 (0xa0200090 for this machine) lies outside", kLoadFailed}},
    {"entry at 0",
     moveEntry(0),
     {"kernel entry address 0x00000000 lies outside every loaded segment.\n", kLoadFailed},
     {"kernel entry address 0x00000000 (0xa0000000 for this machine) lies outside", kLoadFailed}},
    {"entry in the zero fill of the last segment", moveEntry(0xC0205C0C), kBoots, kBoots},
    {"entry inside the first segment but not on a word",
     moveEntry(0xC0200042),
     {"kernel entry address 0xc0200042 is not word-aligned.\n", kLoadFailed},
     {"kernel entry address 0xc0200042 is not word-aligned.\n", kLoadFailed}},
    // The PXA2x0 second stage puts 0xa0200000 where 0xc0200000 goes.
    {"entry by its SDRAM address",
     moveEntry(0xA0200000),
     {"kernel entry address 0xa0200000 lies outside every loaded segment.\n", kLoadFailed},
     kBoots},
    {"second segment over the first",
     moveSegment(1, 0xC0200040),
     {"segment 0 and segment 1 go to the same memory: 0xc0200040-0xc0200073.\n", kLoadFailed},
     {"segment 0 and segment 1 go to the same memory: 0xa0200040-0xa0200073.\n", kLoadFailed}},
    {"third segment below the first, reaching into it",
     moveSegment(2, 0xC01FF000),
     {"segment 0 and segment 2 go to the same memory: 0xc0200000-0xc020008f.\n", kLoadFailed},
     {"segment 0 and segment 2 go to the same memory: 0xa0200000-0xa020008f.\n", kLoadFailed}},
    {"symbol block after a lower third segment, reaching into the first",
     moveSegment(2, 0xC01FC000),
     {"segment 0 and the symbol block go to the same memory: 0xc0200000-0xc0200003.\n", kLoadFailed},
     {"segment 0 and the symbol block go to the same memory: 0xa0200000-0xa0200003.\n", kLoadFailed}},
    {"second segment at the first one's SDRAM address",
     moveSegment(1, 0xA0200000),
     {"outside the memory banks.\n", kNoMemory},
     {"segment 0 and segment 1 go to the same memory: 0xa0200000-0xa0200033.\n", kLoadFailed}},
    {"second segment by its SDRAM address",
     moveSegment(1, 0xA0201000),
     {"outside the memory banks.\n", kNoMemory},
     kBoots},
    {"first segment at 0",
     moveSegment(0, 0),
     {"destination 0x00000000-0x0000008f goes to 0x", kNoMemory},
     {std::string("segment 0 at 0x00000000-0x0000008f ") + kWindows, kLoadFailed}},
    {"first segment at the SA-11x0 serial port",
     moveSegment(0, 0x80050000),
     {"destination 0x80050000-0x8005008f goes to 0x", kNoMemory},
     {std::string("segment 0 at 0x80050000-0x8005008f ") + kWindows, kLoadFailed}},
    {"first segment above the kernel's window",
     moveSegment(0, 0xE0000000),
     {"destination 0xe0000000-0xe000008f goes to 0x", kNoMemory},
     {std::string("segment 0 at 0xe0000000-0xe000008f ") + kWindows, kLoadFailed}},
    {"third segment with a damaged memory size running past the windows",
     [](std::string& bytes, const ElfFacts& facts) {
         put32(bytes, programHeader(facts, 2, kPPaddr), 0xCFFFF000);
         put32(bytes, programHeader(facts, 2, kPMemsz), 0x2000);
     },
     {"outside the memory banks.\n", kNoMemory},
     {"outside the memory banks.\n", kNoMemory}},
};

struct LayoutMachine {
    const char16_t* name;
    bool pxa2x0;
};

class KernelLayoutOnBoot : public KernelBoot, public ::testing::WithParamInterface<LayoutMachine> {};

TEST_P(KernelLayoutOnBoot, DamagedHeadersOfARealKernelAreRefusedBeforeTheImageAndTheJump) {
    ScratchFolder scratch;
    const std::filesystem::path original = kernelPath("three_segments");
    const ElfFacts facts = readElfFacts(original);
    ASSERT_EQ(facts.loads.size(), 3u);
    ASSERT_EQ(facts.entry, 0xC0200000u);
    for (const LayoutCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const Verdict& verdict = GetParam().pxa2x0 ? c.pxa2x0 : c.sa11x0;
        std::string bytes = readBytes(original);
        c.patch(bytes, facts);
        writeHostFile(scratch / "damaged.elf", bytes);
        device().message_boxes.clear();
        page.box.clear();
        hand_off.reset();
        KernelBootSettings settings;
        settings.profile = &profileNamed(GetParam().name);
        settings.kernel = scratch / "damaged.elf";
        EXPECT_EQ(bootToJump(settings), !verdict.refused()) << page.text();
        if (!verdict.refused())
            continue;
        ASSERT_FALSE(device().message_boxes.empty());
        EXPECT_EQ(device().message_boxes.back().text, verdict.box);
        EXPECT_NE(page.text().find(verdict.line), std::string::npos) << page.text();
        // Refused before anything of it is loaded, and nothing was handed to the processor.
        EXPECT_EQ(page.text().find("seg[0]"), std::string::npos) << page.text();
        EXPECT_FALSE(hand_off.has_value());
    }
}

// An image put after the kernel, which the second segment (at the lower
// address) ends, runs into the first segment when it is large enough.
TEST_P(KernelLayoutOnBoot, AnImageRunningIntoTheKernelIsRefused) {
    ScratchFolder scratch;
    const ElfFacts facts = readElfFacts(kernelPath("reversed_segments"));
    ASSERT_EQ(facts.loads.size(), 2u);
    ASSERT_EQ(facts.loads[0].paddr, 0xC0300000u);
    struct Case {
        uint32_t image_size;
        bool refused;
    };
    for (const Case& c : {Case{0x10000, false}, Case{0x100000, true}}) {
        SCOPED_TRACE(c.image_size);
        writeHostFile(scratch / "miniroot.fs", std::string(c.image_size, 'i'));
        device().message_boxes.clear();
        page.box.clear();
        KernelBootSettings settings;
        settings.profile = &profileNamed(GetParam().name);
        settings.kernel = kernelPath("reversed_segments");
        settings.image = scratch / "miniroot.fs";
        EXPECT_EQ(bootToJump(settings), !c.refused) << page.text();
        if (!c.refused)
            continue;
        EXPECT_EQ(device().message_boxes.back().text, kLoadFailed);
        const std::string base = GetParam().pxa2x0 ? "0xa03" : "0xc03";
        EXPECT_NE(
            page.text().find("segment 0 and the file system image go to the same memory: " + base + "00000-"),
            std::string::npos)
            << page.text();
    }
}

INSTANTIATE_TEST_SUITE_P(Machines, KernelLayoutOnBoot,
                         ::testing::Values(LayoutMachine{u"Compaq iPAQ H3660", false},
                                           LayoutMachine{u"Sharp W-ZERO3 (WS003SH)", true}),
                         [](const ::testing::TestParamInfo<LayoutMachine>& info) {
                             return info.param.pxa2x0 ? std::string("PXA270") : std::string("SA1110");
                         });

// Edges no real machine's memory reaches at boot: a piece ending exactly at
// a window's end, a symbol block past it, pieces of no size.
TEST(KernelLayout, WindowsEdgesAndEmptyPieces) {
    RecordingConsole console;
    Console* slot = &console;
    const KernelPlacement pxa{[](uint32_t a) { return (a & 0x0FFFFFFFu) | 0xA0000000u; },
                              {{0xA0000000, 0xB0000000}, {0xC0000000, 0xD0000000}}};
    using Piece = KernelPiece;
    struct Case {
        const char* name;
        std::vector<KernelPiece> pieces;
        uint32_t entry;
        const char* message; // empty: accepted
    };
    const Case cases[] = {
        {"a segment ending at the window's end",
         {{Piece::kSegment, 0, 0xCFFFF000, 0xD0000000}},
         0xCFFFF000,
         ""},
        {"a symbol block past it",
         {{Piece::kSegment, 0, 0xCFFFF000, 0xD0000000}, {Piece::kSymbolBlock, 0, 0xD0000000, 0xD0000400}},
         0xCFFFF000,
         "the symbol block at 0xd0000000-0xd00003ff lies outside the addresses this machine places a kernel "
         "at "
         "(0xa0000000-0xafffffff, 0xc0000000-0xcfffffff).\n"},
        {"a segment across both windows",
         {{Piece::kSegment, 0, 0xAFFFF000, 0xC0001000}},
         0xAFFFF000,
         "segment 0 at 0xaffff000-0xc0000fff lies outside"},
        {"an entry in a segment of no size only",
         {{Piece::kSegment, 0, 0xC0200000, 0xC0201000}, {Piece::kSegment, 1, 0xC0300000, 0xC0300000}},
         0xC0300000,
         "kernel entry address 0xc0300000 (0xa0300000 for this machine) lies outside"},
        {"adjacent pieces",
         {{Piece::kSegment, 0, 0xC0200000, 0xC0201000}, {Piece::kImage, 0, 0xC0201000, 0xC0202000}},
         0xC0200FFC,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        console.output.clear();
        EXPECT_EQ(checkKernelLayout(&slot, c.pieces, c.entry, pxa), c.message[0] == 0);
        if (c.message[0] == 0)
            EXPECT_EQ(console.text(), "") << "an accepted layout prints nothing";
        else
            EXPECT_NE(console.text().find(c.message), std::string::npos) << console.text();
    }
}

} // namespace
