// The probe kernel booted for real and run on Unicorn and on QEMU: its
// verdict, its report of what it was handed, and that both machines tell the
// same.
#include "boot/boot_context.h"
#include "loader/elf_facts.h"
#include "sim/emulator/snapshot.h"
#include "sim/emulator/unicorn_machine.h"
#include "sim/physical_memory.h"
#include "support/kernel_boot.h"
#include "support/probe_screen.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <zlib.h>

namespace {

constexpr char16_t kSa1110[] = u"HP Jornada 720 (US/UK)";
constexpr char16_t kPxa270[] = u"Sharp W-ZERO3 (WS003SH)";

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class ProbeKernel : public KernelBoot {
  protected:
    void SetUp() override {
        KernelBoot::SetUp();
        image = root.parent_path() / (root.filename().string() + "-miniroot.fs");
        std::mt19937 random(7);
        image_bytes.resize(70000);
        for (char& c : image_bytes)
            c = static_cast<char>(random());
        std::ofstream(image, std::ios::binary) << image_bytes;
        image_crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(image_bytes.data()),
                                                static_cast<uInt>(image_bytes.size())));
    }
    void TearDown() override {
        std::filesystem::remove(image);
        KernelBoot::TearDown();
    }

    KernelBootSettings settings(const char16_t* machine, bool with_image) {
        KernelBootSettings s;
        s.profile = &profileNamed(machine);
        s.kernel = kernelPath("probe");
        if (with_image) {
            s.image = image;
            char crc[16];
            std::snprintf(crc, sizeof crc, "0x%08x", image_crc);
            s.extra = "md_size=" + std::to_string(image_bytes.size()) + " md_crc32=" + crc;
        }
        return s;
    }

    // The kernel's serial output of a Unicorn run of the hand-off.
    std::string runUnicorn() {
        serial.clear();
        sim::HandOffRun run = sim::runOnUnicorn(*hand_off);
        EXPECT_EQ(run.result.stop, sim::EmulationStop::kHalted) << sim::describeStop(run);
        return serial;
    }

    std::filesystem::path image;
    std::string image_bytes;
    uint32_t image_crc = 0;
};

// 20 MB of data: the links beyond 16 MB above the kernel's start keep their
// offset in SDRAM instead of wrapping onto the kernel's first bytes.
TEST_F(ProbeKernel, ATwentyMegabyteKernelRunsOnAPxa270) {
    KernelBootSettings s = settings(kPxa270, true);
    s.kernel = kernelPath("probe_20m");
    ASSERT_TRUE(bootToJump(s)) << page.text();
    std::string placed;
    std::string output = runUnicornVerified(s, placed);
    EXPECT_EQ(probeVerdict(output), "PASS") << output;
    // Text, data with bss, the symbol block's three pieces, the image: over 20 MB compared.
    ASSERT_EQ(placed.rfind("placed image verified: 7 ranges, ", 0), 0u) << placed;
    EXPECT_GT(std::stoull(placed.substr(placed.find(", ") + 2)), 20u * 1024 * 1024) << placed;
}

TEST_F(ProbeKernel, PassesOnEveryProcessorWithAndWithoutTheImage) {
    const char16_t* machines[] = {kSa1110, u"HP Jornada 820", u"Compaq iPAQ H3900", kPxa270};
    for (const char16_t* machine : machines) {
        for (bool with_image : {false, true}) {
            SCOPED_TRACE(utf16ToUtf8(machine) + (with_image ? " with image" : ""));
            TearDown();
            SetUp();
            ASSERT_TRUE(bootToJump(settings(machine, with_image)));
            std::string output = runUnicorn();
            EXPECT_EQ(probeVerdict(output), "PASS") << output;
            std::vector<std::string> lines = probeLines(output);
            EXPECT_TRUE(contains(lines, "PROBE: argv[0] \"probe.elf\""));
            EXPECT_TRUE(contains(lines, "PROBE: bootinfo length 36 magic 0x13536135"));
            char crc_line[96];
            std::snprintf(crc_line, sizeof crc_line, " size 70000 crc32 0x%08x", image_crc);
            bool reported = std::any_of(lines.begin(), lines.end(), [&crc_line](const std::string& line) {
                return line.rfind("PROBE: image at ", 0) == 0 && line.find(crc_line) != std::string::npos;
            });
            EXPECT_EQ(reported, with_image) << output;
        }
    }
}

TEST_F(ProbeKernel, ReportsEveryFlagExtraOptionAndTheBootInformation) {
    KernelBootSettings s = settings(kSa1110, true);
    s.serial = s.verbose = s.single = s.ask_name = s.debugger = true;
    s.extra += "  root=/dev/wd0a\tquiet";
    device().timezone_bias = -540;
    ASSERT_TRUE(bootToJump(s));
    std::string output = runUnicorn();
    EXPECT_EQ(probeVerdict(output), "PASS") << output;
    std::vector<std::string> lines = probeLines(output);
    const char* expected[] = {"PROBE: uart sa11x0 serial 0x80050000",
                              "PROBE: entry 0xc0200000 linked 0xc0200000",
                              "PROBE: cpsr control bits 0x000000df",
                              "PROBE: argc 11",
                              "PROBE: argv[1] \"h\"",
                              "PROBE: argv[2] \"v\"",
                              "PROBE: argv[3] \"s\"",
                              "PROBE: argv[4] \"a\"",
                              "PROBE: argv[5] \"d\"",
                              "PROBE: argv[6] \"m="};
    for (const char* line : expected) {
        bool found = std::any_of(lines.begin(), lines.end(),
                                 [line](const std::string& l) { return l.rfind(line, 0) == 0; });
        EXPECT_TRUE(found) << line << "\n" << output;
    }
    EXPECT_TRUE(contains(lines, "PROBE: argv[9] \"root=/dev/wd0a\""));
    EXPECT_TRUE(contains(lines, "PROBE: argv[10] \"quiet\""));
    // The UART console is what the kernel is told about; the screen's geometry comes from the machine.
    EXPECT_TRUE(contains(lines, "PROBE: bootinfo console 2 cpu 0x0c108000 machine 0x02c20201 timezone -540"));
    EXPECT_TRUE(contains(lines, "PROBE: bootinfo fb 0x48200000 640x240 linebytes 1280 type 5"));
}

TEST_F(ProbeKernel, RunsTranslatedIntoSdramBankZeroOnThePxa2x0) {
    ASSERT_TRUE(bootToJump(settings(kPxa270, false)));
    std::string output = runUnicorn();
    EXPECT_EQ(probeVerdict(output), "PASS") << output;
    std::vector<std::string> lines = probeLines(output);
    EXPECT_TRUE(contains(lines, "PROBE: uart pxa2x0 ffuart 0x40100000"));
    EXPECT_TRUE(contains(lines, "PROBE: entry 0xa0200000 linked 0xc0200000"));
}

// A hand-off that is wrong in one place: the probe must say so.
TEST_F(ProbeKernel, FailsWhenTheBssIsNotClearedOrTheImageDiffers) {
    ASSERT_TRUE(bootToJump(settings(kPxa270, false)));
    // Shorten the one zero-clear link to a single word.
    sim::PhysicalMemory& ram = sim::PhysicalMemory::get();
    uint32_t link = hand_off->list_paddr;
    bool shortened = false;
    while (link != 0xFFFFFFFFu && !shortened) {
        uint32_t fields[4];
        ASSERT_TRUE(ram.read(link, fields, sizeof fields));
        if (fields[1] == 0xFFFFFFFFu) {
            uint32_t four = 4;
            ASSERT_TRUE(ram.write(link + 12, &four, 4));
            shortened = true;
        }
        link = fields[0];
    }
    ASSERT_TRUE(shortened);
    std::string output = runUnicorn();
    EXPECT_EQ(probeVerdict(output).rfind("FAIL (bss not zero at 0xa02", 0), 0u) << output;

    TearDown();
    SetUp();
    KernelBootSettings s = settings(kSa1110, true);
    s.extra = "md_size=" + std::to_string(image_bytes.size()) + " md_crc32=0x12345678";
    ASSERT_TRUE(bootToJump(s));
    output = runUnicorn();
    EXPECT_EQ(probeVerdict(output).rfind("FAIL (image checksum differs", 0), 0u) << output;
}

TEST_F(ProbeKernel, QemuAndUnicornGiveTheSameReport) {
    for (const char16_t* machine : {kSa1110, kPxa270}) {
        SCOPED_TRACE(utf16ToUtf8(machine));
        TearDown();
        SetUp();
        KernelBootSettings s = settings(machine, true);
        s.serial = s.verbose = true;
        ASSERT_TRUE(bootToJump(s));
        std::filesystem::path saved = root.parent_path() / (root.filename().string() + ".snapshot");
        std::string error;
        ASSERT_TRUE(sim::writeSnapshot(saved, *hand_off, error)) << error;
        std::string unicorn = runUnicorn();

        // Pictures of the board's display as the window's live view takes them.
        std::vector<sim::RgbImage> pictures;
        sim::HandOffRun run = runSnapshotOnQemu(
            saved, [&pictures](sim::RgbImage picture) { pictures.push_back(std::move(picture)); });
        std::filesystem::remove(saved);
        ASSERT_TRUE(run.started) << run.result.reason;
        EXPECT_EQ(run.result.stop, sim::EmulationStop::kHalted) << sim::describeStop(run);
        EXPECT_EQ(probeVerdict(serial), "PASS") << serial;
        if (machine == kSa1110) {
            // QEMU's collie has no display: the probe draws where BootInfo says, into nothing.
            EXPECT_EQ(probeLinesBesideTheScreen(serial), probeLinesBesideTheScreen(unicorn));
            EXPECT_TRUE(contains(probeLines(serial), "PROBE: video controller off")) << serial;
            EXPECT_TRUE(pictures.empty());
        } else {
            EXPECT_EQ(probeLines(serial), probeLines(unicorn));
            // The last picture is the screen the kernel halted on.
            ASSERT_FALSE(pictures.empty());
            EXPECT_EQ(pictures.back().width, 480);
            EXPECT_EQ(probeScreenDifference(pictures.back(), serial, false), "");
        }
    }
}

} // namespace
