// zandrel-sim --screen-png: the handheld's screen when the kernel stops, as
// the kernel left it, on Unicorn and on QEMU's mainstone; the probe kernel's
// report on it, Windows CE's desktop under a kernel that draws nothing, and
// a kernel that sets up a screen of its own.
#include "support/probe_output.h"
#include "support/probe_screen.h"
#include "support/run_program.h"
#include "support/ufs_disk_images.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

class ZandrelSimScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        device = scratch.path();
        std::filesystem::create_directories(device / "Storage Card");
        for (const char* kernel : {"probe", "greeting_halt", "own_screen"})
            std::filesystem::copy_file(buildPath(std::string("kernels/") + kernel + ".elf"),
                                       device / "Storage Card" / (std::string(kernel) + ".elf"));
    }

    // Boots `kernel` on `machine` and takes the screen's picture.
    ProgramResult boot(const std::string& machine, const std::string& kernel, std::vector<std::string> more) {
        std::vector<std::string> all = {"--device",      device.string(), "--quiet",          "--machine",
                                        machine,         "--dir",         "\\Storage Card\\", "--kernel",
                                        kernel + ".elf", "--no-pause",    "--screen-png",     png().string()};
        all.insert(all.end(), more.begin(), more.end());
        std::filesystem::remove(png());
        return runProgram(buildPath("zandrel-sim"), all);
    }
    std::filesystem::path png() const { return device / "screen.png"; }
    sim::RgbImage picture() {
        sim::RgbImage image;
        std::string error;
        EXPECT_TRUE(sim::readPng(png().string(), image, error)) << error;
        return image;
    }

    ScratchFolder scratch;
    std::filesystem::path device;
};

TEST(ProbeFont, HasAGlyphForEveryPrintableCharacter) {
    const std::vector<uint8_t>& glyphs = probeFontGlyphs();
    ASSERT_EQ(glyphs.size(), 95u * 8);
    auto glyph = [&glyphs](char c) {
        return std::vector<uint8_t>(&glyphs[(c - 0x20) * 8], &glyphs[(c - 0x20) * 8 + 8]);
    };
    EXPECT_EQ(glyph(' '), std::vector<uint8_t>(8, 0));
    for (char c = '!'; c <= '~'; ++c) {
        std::vector<uint8_t> rows = glyph(c);
        EXPECT_NE(rows, std::vector<uint8_t>(8, 0)) << c;
        if (c > '!') {
            EXPECT_NE(rows, glyph(static_cast<char>(c - 1))) << c;
        }
    }
}

struct ProbeScreenCase {
    const char* what;
    const char* machine;
    const char* emulator;
    bool reverse;
    bool fails; // a damaged load link of the data segment: the verdict is FAIL
    int width, height;
};

const ProbeScreenCase kProbeScreens[] = {
    {"SA-1110, the video controller's memory that BootInfo names", "HP Jornada 720 (US/UK)", "unicorn", false,
     false, 640, 240},
    {"the same in reverse video", "HP Jornada 720 (US/UK)", "unicorn", true, false, 640, 240},
    {"SA-1110, BootInfo address 0: the LCD controller's DMA base", "Compaq iPAQ H3600", "unicorn", false,
     false, 320, 240},
    {"a failing probe", "Compaq iPAQ H3600", "unicorn", false, true, 320, 240},
    {"4 bits a pixel, reverse video, the display named turned", "Compaq iPAQ H3100", "unicorn", true, false,
     320, 240},
    {"SA-1100, 8 bits a pixel on a dual panel", "HP Jornada 820", "unicorn", false, false, 640, 480},
    {"PXA250, BootInfo address 0: the frame descriptor", "Compaq iPAQ H3900", "unicorn", false, false, 320,
     240},
    {"PXA250 on QEMU's mainstone, reverse video", "Compaq iPAQ H3900", "qemu", true, false, 320, 240},
    {"PXA270 missing from the frame buffer table, on QEMU", "Sharp W-ZERO3 (WS003SH)", "qemu", false, false,
     480, 640},
};

TEST_F(ZandrelSimScreen, ThePictureShowsTheProbesReportAndVerdict) {
    for (const ProbeScreenCase& c : kProbeScreens) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> more = {"--emulator", c.emulator,
                                         c.reverse ? "--reverse-video" : "--no-reverse-video"};
        if (c.fails)
            more.insert(more.end(), {"--corrupt-load-link", "6", "--no-verify"});
        ProgramResult result = boot(c.machine, "probe", more);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(probeVerdict(result.out).substr(0, 4), c.fails ? "FAIL" : "PASS") << result.out;
        EXPECT_NE(result.err.find("zandrel-sim: screen saved in \"" + png().string() + "\" (" +
                                  std::to_string(c.width) + "x" + std::to_string(c.height) + ")\n"),
                  std::string::npos)
            << result.err;
        sim::RgbImage image = picture();
        ASSERT_EQ(image.width, c.width);
        ASSERT_EQ(image.height, c.height);
        EXPECT_EQ(probeScreenDifference(image, result.out, c.reverse), "") << result.out;
    }
}

// What Windows CE showed stays on the screen under a kernel that draws
// nothing: the picture at the jump (--emulator none) and after the kernel
// are the same desktop, its task bar along the bottom as the user holds the
// machine.
TEST_F(ZandrelSimScreen, AKernelThatDrawsNothingLeavesWindowsCesDesktop) {
    struct Case {
        const char* machine;
        bool turned; // the panel scans across what Windows CE shows
        bool colour;
    };
    const Case cases[] = {
        {"HP Jornada 720 (US/UK)", false, true},
        {"Compaq iPAQ H3100", true, false},
        {"HP Jornada 820", false, true},
        {"Sharp W-ZERO3 (WS003SH)", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.machine);
        ASSERT_EQ(boot(c.machine, "greeting_halt", {"--emulator", "none"}).status, 0);
        sim::RgbImage at_jump = picture();
        ProgramResult result = boot(c.machine, "greeting_halt", {});
        EXPECT_EQ(result.status, 0) << result.err;
        sim::RgbImage after = picture();
        EXPECT_EQ(after.rgb, at_jump.rgb);
        ASSERT_GT(after.width, 0);

        sim::Rgb desktop = after.at(after.width / 2, after.height / 2);
        sim::Rgb task_bar =
            c.turned ? after.at(2, after.height / 2) : after.at(after.width / 2, after.height - 2);
        sim::Rgb far_side =
            c.turned ? after.at(after.width - 1, after.height / 2) : after.at(after.width / 2, 0);
        EXPECT_EQ(far_side, desktop);
        EXPECT_NE(task_bar, desktop);
        // Light grey, as near as the display's depth comes.
        EXPECT_TRUE(isLight(task_bar));
        EXPECT_LE(std::abs(task_bar.r - task_bar.g) + std::abs(task_bar.g - task_bar.b), 32);
        // Windows CE's desktop colour, as near as the display's depth comes.
        EXPECT_EQ(desktop.g > desktop.r + 64, c.colour) << int(desktop.r) << "," << int(desktop.g);
    }
}

// A kernel that knows nothing of BootInfo's frame buffer points the display
// controller at memory of its own (the Jornada 7XX: moves the video
// controller's start) and paints four bands: the picture follows the
// controller, on Unicorn and on QEMU.
TEST_F(ZandrelSimScreen, AKernelsOwnScreenIsWhatThePictureShows) {
    struct Case {
        const char* machine;
        const char* emulator;
    };
    const Case cases[] = {
        {"Compaq iPAQ H3600", "unicorn"},
        {"Compaq iPAQ H3900", "unicorn"},
        {"HP Jornada 720 (US/UK)", "unicorn"},
        {"Compaq iPAQ H3900", "qemu"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.machine) + " " + c.emulator);
        ProgramResult result = boot(c.machine, "own_screen", {"--emulator", c.emulator});
        EXPECT_EQ(result.status, 0) << result.err;
        sim::RgbImage image = picture();
        ASSERT_GT(image.height, 0);
        auto band = [&image](int n) {
            return image.at(image.width / 2, image.height / 8 + n * image.height / 4);
        };
        auto is = [](sim::Rgb pixel, bool r, bool g, bool b) {
            return (pixel.r > 200) == r && (pixel.g > 200) == g && (pixel.b > 200) == b &&
                   (pixel.r < 60 || r) && (pixel.g < 60 || g) && (pixel.b < 60 || b);
        };
        EXPECT_TRUE(is(band(0), true, false, false));
        EXPECT_TRUE(is(band(1), false, true, false));
        EXPECT_TRUE(is(band(2), false, false, true));
        EXPECT_TRUE(is(band(3), true, true, true));
        EXPECT_EQ(image.at(0, 0), band(0));
        EXPECT_EQ(image.at(image.width - 1, image.height - 1), band(3));
    }
}

// QEMU's collie models no LCD: the run goes on and says why there is no picture.
TEST_F(ZandrelSimScreen, QemusCollieHasNoScreenToPicture) {
    ProgramResult result = boot("HP Jornada 720 (US/UK)", "probe", {"--emulator", "qemu"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(probeVerdict(result.out), "PASS") << result.out;
    EXPECT_NE(result.err.find("zandrel-sim: no picture of the screen: QEMU collie has no LCD\n"),
              std::string::npos)
        << result.err;
    EXPECT_FALSE(std::filesystem::exists(png()));
}

} // namespace
