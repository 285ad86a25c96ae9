// Real boots on the handheld's memory as Windows CE divides it: the installed
// RAM comes from the memory controller however little program memory the
// split leaves, pages come from every bank, and a kernel that program memory
// cannot hold fails where the pages are reserved.
#include "boot/boot_context.h"
#include "loader/elf_facts.h"
#include "memory/memory_manager.h"
#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/emulator/snapshot.h"
#include "sim/page_list_replay.h"
#include "sim/physical_memory.h"
#include "support/kernel_boot.h"
#include "support/ufs_disk_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <zlib.h>

namespace {

constexpr uint32_t kMB = 1024 * 1024;

class ProgramMemoryBoot : public KernelBoot {
  protected:
    uint32_t programMemory() {
        ce::MEMORYSTATUS status{};
        ce::GlobalMemoryStatus(&status);
        return status.dwTotalPhys;
    }
    // The boxes shown, as "CAPTION: text".
    std::vector<std::string> boxes() {
        std::vector<std::string> shown;
        for (const sim::MessageBoxRecord& box : device().message_boxes)
            shown.push_back(utf16ToUtf8(box.caption) + ": " + utf16ToUtf8(box.text));
        return shown;
    }
    // The source frames of the page list's load links.
    std::vector<uint32_t> loadSources() {
        std::vector<uint32_t> sources;
        for (const auto& [next, src, dst, len] : pageListLinks()) {
            if (src != sim::kZeroClearSource)
                sources.push_back(src);
        }
        return sources;
    }
};

// The probe with a 29 MB bss reaches from 0xC0200000 nearly to the end of the
// Jornada's 32 MB: far more than the 15 MB of program memory Windows CE
// counts, all of it inside the one bank MDCNF describes.
TEST_F(ProgramMemoryBoot, AKernelLargerThanProgramMemoryButWithinInstalledRamBootsOnAnSa1110) {
    KernelBootSettings settings;
    settings.profile = &profileNamed(u"HP Jornada 720 (US/UK)");
    settings.kernel = kernelPath("probe_big_bss");
    useProfile(*settings.profile);
    ElfFacts facts = readElfFacts(settings.kernel);
    ASSERT_FALSE(facts.loads.empty());
    uint32_t reach = facts.loads.back().paddr + facts.loads.back().memsz - facts.loads.front().paddr;
    ASSERT_GT(reach, programMemory());
    ASSERT_LT(facts.loads.back().paddr + facts.loads.back().memsz, 0xC2000000u);

    ASSERT_TRUE(bootToJump(settings)) << page.text();
    EXPECT_NE(page.text().find("[0] 0xc0000000 size 0x02000000\n"), std::string::npos) << page.text();
    std::string placed;
    std::string output = runUnicornVerified(settings, placed);
    EXPECT_EQ(probeVerdict(output), "PASS") << output;
    EXPECT_EQ(placed.rfind("placed image verified: ", 0), 0u) << placed;
}

// With a 4 MB image after the probe the loader takes about a thousand pages;
// with the object store scattered over both of the iPAQ's banks, Windows CE
// hands out program memory from both, and the emulated machines must see each
// bank at its address for the probe to pass.
TEST_F(ProgramMemoryBoot, TheTwoBankIpaqBootsWithSourcePagesFromBothBanks) {
    ScratchFolder scratch;
    std::string image(4 * kMB, '\0');
    std::mt19937 random(16);
    for (char& c : image)
        c = static_cast<char>(random());
    writeHostFile(scratch.path() / "miniroot.fs", image);
    uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(image.data()), static_cast<uInt>(image.size())));

    KernelBootSettings settings;
    settings.profile = &profileNamed(u"Compaq iPAQ H3660");
    settings.kernel = kernelPath("probe");
    settings.image = scratch.path() / "miniroot.fs";
    char extra[64];
    std::snprintf(extra, sizeof extra, "md_size=%zu md_crc32=0x%08x", image.size(), crc);
    settings.extra = extra;
    ASSERT_TRUE(bootToJump(settings)) << page.text();
    EXPECT_NE(page.text().find("[0] 0xc0000000 size 0x02000000\n[1] 0xc8000000 size 0x02000000\n"),
              std::string::npos)
        << page.text();

    // Pages whose frames lie where the image goes carry it in place, without a link.
    std::vector<uint32_t> sources = loadSources();
    ASSERT_GT(sources.size() + static_cast<size_t>(BootContext::instance()->memory->inPlaceCount()), 1000u);
    size_t in_bank[2] = {0, 0};
    for (uint32_t source : sources) {
        ASSERT_TRUE(source >> 27 == 0x18 || source >> 27 == 0x19) << std::hex << source; // bank 0 or 1
        ++in_bank[(source >> 27) - 0x18];
    }
    EXPECT_GT(in_bank[0], sources.size() / 10);
    EXPECT_GT(in_bank[1], sources.size() / 10);

    ScratchFolder saved;
    std::string error;
    ASSERT_TRUE(sim::writeSnapshot(saved.path() / "hand-off", *hand_off, error)) << error;
    std::string placed;
    std::string output = runUnicornVerified(settings, placed);
    EXPECT_EQ(probeVerdict(output), "PASS") << output;
    EXPECT_EQ(placed.rfind("placed image verified: ", 0), 0u) << placed;

    // QEMU's collie board has RAM from 0xC0000000 over both banks; the same
    // hand-off, restored on a fresh device, passes there too.
    sim::HandOffRun run = runSnapshotOnQemu(saved.path() / "hand-off");
    ASSERT_TRUE(run.started) << run.result.reason;
    EXPECT_EQ(run.result.stop, sim::EmulationStop::kHalted) << sim::describeStop(run);
    EXPECT_EQ(probeVerdict(serial), "PASS") << serial;
}

// The 20 MB probe on the 64 MB W-ZERO3: it fits beside the object store the
// device ships with or a smaller one; with 48 MB of object store the program
// memory left is smaller than the kernel, and committing its pages fails at
// the reservation, with the memory manager's line, the step's line and one box.
TEST_F(ProgramMemoryBoot, MovingTheSplitChangesWhatFits) {
    struct Case {
        std::optional<uint32_t> object_store;
        bool fits;
    };
    const Case cases[] = {{std::nullopt, true}, {8 * kMB, true}, {48 * kMB, false}};
    KernelBootSettings settings;
    settings.profile = &profileNamed(u"Sharp W-ZERO3 (WS003SH)");
    settings.kernel = kernelPath("probe_20m");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.object_store ? std::to_string(*c.object_store / kMB) + " MB" : "half");
        TearDown();
        SetUp();
        page.box.clear();
        device().setObjectStore(c.object_store);
        useProfile(*settings.profile);
        ASSERT_EQ(programMemory() > 20 * kMB, c.fits);
        EXPECT_EQ(bootToJump(settings), c.fits) << page.text();
        if (c.fits)
            continue;
        // The reservation's step ends the boot, in its own words: the commit was
        // refused, and nothing of the next step (placing the second stage) ran.
        std::string text = page.text();
        EXPECT_NE(text.find("address translation table 5168 pages. (0xa180 bytes)\ncan't allocate memory\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("2nd bootloader"), std::string::npos) << text;
        EXPECT_EQ(boxes(), std::vector<std::string>{"BOOT FAILED: Can't allocate memory.\n"});
    }
}

} // namespace
