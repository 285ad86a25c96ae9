// The window under Wine: a private X server (Xvfb) and a Wine prefix of its
// own for this run, made once, then the in-process window checks and the
// zandrel-window program itself.
#include "sim/rgb_image.h"
#include "support/probe_output.h"
#include "support/probe_screen.h"
#include "support/run_program.h"
#include "ui/preferences.h"

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin";
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        std::string folder =
            folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::filesystem::path candidate = std::filesystem::path(folder) / name;
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        start = end == std::string::npos ? folders.size() + 1 : end + 1;
    }
    return "";
}

class WindowUnderWine : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        wine = onPath("wine");
        if (wine.empty() || onPath("Xvfb").empty()) {
            skip_reason = "Wine or Xvfb is not installed (scripts/setup.sh installs them)";
            return;
        }
        setUpLikeTheScripts();
    }

    static void TearDownTestSuite() {
        if (!prefix.empty()) {
            runProgram(onPath("wineserver"), {"-k"});
            std::error_code ignored;
            std::filesystem::remove_all(prefix, ignored);
        }
        if (x_server > 0)
            kill(x_server, SIGTERM);
    }

    void SetUp() override {
        if (!skip_reason.empty())
            GTEST_SKIP() << skip_reason;
    }

    // The window scripts' own setup (scripts/wine_env.sh), for this run only: a
    // private X server and a Wine prefix in a temporary folder, with a 640x240
    // virtual desktop and COM1 a file of the prefix. The variables it exports
    // come back as NAME=value lines.
    static void setUpLikeTheScripts() {
        char pattern[] = "/tmp/zandrel-wine-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        prefix = pattern;
        // The X screen holds the desktop of every machine.
        const std::string script =
            "source \"$1\" && private_x_server &&"
            // The X server's process is told at once, so it is stopped even when the prefix fails.
            " echo \"x_server_pid=$x_server_pid\" && wine_prefix_ready \"$2\" 640x240 &&"
            " for name in DISPLAY WINEPREFIX WINEDEBUG WINEDLLOVERRIDES; do echo \"$name=${!name}\"; done";
        ProgramResult result =
            runProgram("/bin/bash", {"-c", script, "bash", ZANDREL_SOURCE_DIR "/scripts/wine_env.sh",
                                     (prefix / "prefix").string()});
        std::istringstream lines(result.out);
        for (std::string line; std::getline(lines, line);) {
            size_t equals = line.find('=');
            if (equals == std::string::npos)
                continue;
            std::string name = line.substr(0, equals), value = line.substr(equals + 1);
            if (name == "x_server_pid")
                x_server = std::atoi(value.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        if (result.status != 0)
            skip_reason = "the Wine setup of scripts/wine_env.sh failed: " + result.err;
        prefix_setup_output = result.err;
    }

    // The prefix's virtual desktop from the next Wine program on.
    static bool useDesktop(const std::string& size) {
        ProgramResult result =
            runProgram("/bin/bash", {"-c", "source \"$1\" && wine_prefix_ready \"$WINEPREFIX\" \"$2\"",
                                     "bash", ZANDREL_SOURCE_DIR "/scripts/wine_env.sh", size});
        return result.status == 0;
    }

    static inline std::string wine;
    static inline std::string skip_reason;
    // What making this run's prefix said on standard error.
    static inline std::string prefix_setup_output;
    static inline pid_t x_server = 0;
    static inline std::filesystem::path prefix;
};

// The prefix made for the first time, as a first launch makes it: it says
// that it makes it, and nothing else (a look into a registry file not yet
// written was a "No such file or directory").
TEST_F(WindowUnderWine, MakingThePrefixSaysOnlyThat) {
    EXPECT_EQ(prefix_setup_output,
              "window: making the Wine prefix " + (prefix / "prefix").string() + " (once)\n");
}

void expectChecksPass(const ProgramResult& result) {
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("[  PASSED  ]"), std::string::npos) << result.out << result.err;
    EXPECT_EQ(result.out.find("[  FAILED  ]"), std::string::npos) << result.out;
}

// The checks that reach the jump's LCD, whose desktop stays over the
// window's for the rest of the process (zandrel-window's process ends after
// the jump), run in a process of their own.
const char kLcdChecks[] = "WindowChecks.ClosingTheWindowWhileTheKernelRunsStopsItFirst";

TEST_F(WindowUnderWine, InProcessWindowChecksPass) {
    ASSERT_TRUE(useDesktop("640x240"));
    expectChecksPass(runProgram(
        wine, {buildPath("zandrel-window-checks.exe.so"), std::string("--gtest_filter=-") + kLcdChecks}));
    expectChecksPass(runProgram(
        wine, {buildPath("zandrel-window-checks.exe.so"), std::string("--gtest_filter=") + kLcdChecks}));
}

// The layout, message-box and machine-list checks on the other screens of the
// handhelds: an iPAQ's, narrower than any box of the window system and the
// longest machine name's list, and the W-ZERO3's.
TEST_F(WindowUnderWine, LayoutFitsThePortraitScreens) {
    for (const char* size : {"240x320", "480x640"}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(useDesktop(size));
        expectChecksPass(runProgram(
            wine, {buildPath("zandrel-window-checks.exe.so"),
                   "--gtest_filter=WindowChecks.LayoutFitsTheScreen:WindowChecks.MessageBoxesFitTheScreen:"
                   "WindowChecks.TheDroppedMachineListShowsItsLongestName"}));
    }
    ASSERT_TRUE(useDesktop("640x240"));
}

// What zandrel-window says once the kernel has stopped and its screen stays.
const char kScreenStays[] = "the kernel has stopped; its screen stays until a key or a tap";

struct Screen {
    const char* machine;
    int width, height;
    bool turned; // an iPAQ: its panel scans across the screen
    std::string size() const { return std::to_string(width) + "x" + std::to_string(height); }
};

const Screen kJornada720{"HP Jornada 720 (US/UK)", 640, 240, false};
const Screen kIpaqH3600{"Compaq iPAQ H3600", 240, 320, true};
const Screen kIpaqH3900{"Compaq iPAQ H3900", 240, 320, true};
const Screen kIpaqH3100{"Compaq iPAQ H3100", 240, 320, true}; // 4 bits a pixel, under an X server of 16

sim::RgbImage readPicture(const std::filesystem::path& png) {
    sim::RgbImage picture;
    std::string error;
    EXPECT_TRUE(sim::readPng(png.string(), picture, error)) << error;
    return picture;
}

// The top-left corner of a picture of the X screen: the Wine desktop, which sits at its origin.
sim::RgbImage desktopIn(const sim::RgbImage& x_screen, const Screen& screen) {
    sim::RgbImage desktop(screen.width, screen.height);
    for (int y = 0; y < screen.height && y < x_screen.height; ++y)
        for (int x = 0; x < screen.width && x < x_screen.width; ++x)
            desktop.set(x, y, x_screen.at(x, y));
    return desktop;
}

// The Wine desktop as the X server shows it now (ImageMagick's import).
sim::RgbImage desktopNow(const Screen& screen, const std::filesystem::path& scratch) {
    std::filesystem::path png = scratch / "x-screen.png";
    runProgram("/usr/bin/import", {"-window", "root", png.string()});
    return desktopIn(readPicture(png), screen);
}

// The panel's picture, line by line as its controller scans it: an iPAQ's
// screen column y is its scan line y, the line's first pixel at the bottom.
sim::RgbImage panelOf(const sim::RgbImage& desktop, const Screen& screen) {
    if (!screen.turned)
        return desktop;
    sim::RgbImage panel(desktop.height, desktop.width);
    for (int y = 0; y < panel.height; ++y)
        for (int x = 0; x < panel.width; ++x)
            panel.set(x, y, desktop.at(y, desktop.height - 1 - x));
    return panel;
}

// Where two pictures of 5-6-5 RGB pixels differ, or "".
std::string firstDifferenceIn565(const sim::RgbImage& a, const sim::RgbImage& b) {
    if (a.width != b.width || a.height != b.height)
        return "sizes differ";
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            sim::Rgb p = a.at(x, y), q = b.at(x, y);
            if (p.r >> 3 != q.r >> 3 || p.g >> 2 != q.g >> 2 || p.b >> 3 != q.b >> 3)
                return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
    }
    return "";
}

// Real input on the X server: a tap in the middle of the desktop, or a key pressed with the pointer there.
bool tapTheScreen(const Screen& screen) {
    return runProgram("/usr/bin/xdotool", {"mousemove", std::to_string(screen.width / 2),
                                           std::to_string(screen.height / 2), "click", "1"})
               .status == 0;
}
bool pressAKey(const Screen& screen) {
    return runProgram("/usr/bin/xdotool", {"mousemove", std::to_string(screen.width / 2),
                                           std::to_string(screen.height / 2), "key", "space"})
               .status == 0;
}

// A device whose settings boot the probe kernel by themselves.
class WindowProgram : public WindowUnderWine {
  protected:
    void SetUp() override {
        WindowUnderWine::SetUp();
        if (IsSkipped())
            return;
        char pattern[] = "/tmp/zandrel-window-device-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        device = pattern;
        std::filesystem::create_directories(device / "Storage Card");
        for (const char* kernel : {"probe", "moving_bands", "greeting_halt"})
            std::filesystem::copy_file(buildPath(std::string("kernels/") + kernel + ".elf"),
                                       device / "Storage Card" / (std::string(kernel) + ".elf"));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(device, ignored);
    }
    // Settings as zandrel-sim's boot saves them (it stores what its options say),
    // with auto boot after one second, as the Option page would store it.
    void saveAutoBootSettings(const std::vector<std::string>& settings,
                              const std::string& kernel = "probe.elf", int32_t seconds = 1) {
        std::vector<std::string> store = {"--device", device.string(),    "--quiet",  "--emulator", "none",
                                          "--dir",    "\\Storage Card\\", "--kernel", kernel};
        store.insert(store.end(), settings.begin(), settings.end());
        runProgram(buildPath("zandrel-sim"), store);
        std::fstream file(device / "Storage Card" / "zandrel.cnf",
                          std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(file.is_open());
        file.seekp(offsetof(Preferences, auto_boot));
        file.write(reinterpret_cast<const char*>(&seconds), sizeof(seconds));
    }
    std::vector<std::string> windowCommand(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {buildPath("zandrel-window.exe.so"), "--device", device.string()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return all;
    }
    ProgramResult runWindow(const std::vector<std::string>& arguments) {
        waitForTheLastRunsDesktops();
        return runProgram(wine, windowCommand(arguments));
    }
    // zandrel-window started; it goes on until the test ends it.
    std::unique_ptr<RunningProgram> startWindow(const std::vector<std::string>& arguments) {
        waitForTheLastRunsDesktops();
        return std::make_unique<RunningProgram>(wine, windowCommand(arguments));
    }
    // The desktops of a program that has ended stay on the X screen for about
    // a second, the LCD's over the window's: a run starts when they are gone.
    static void waitForTheLastRunsDesktops() {
        runProgram("/usr/bin/timeout", {"60", onPath("wineserver"), "-w"});
    }

    std::filesystem::path device;
};

// Auto boot on the machine whose screen the Wine desktop has: after the jump
// the desktop is the handheld's LCD, and shows what the probe kernel draws
// there, its report and its verdict (an SA-11x0 whose video controller has
// its own memory, and a PXA2x0 iPAQ in reverse video, its panel turned, on
// Unicorn and on QEMU's mainstone, and an iPAQ of 4 bits a pixel that the
// frame-buffer table lacks, so BootInfo takes the display's geometry and
// depth from the screen the window system reports). The picture stays once the kernel has
// stopped, until a tap or a key ends the program with the kernel's status.
TEST_F(WindowProgram, TheDesktopShowsTheKernelsScreenUntilATapOrAKey) {
    struct Case {
        Screen screen;
        bool reverse;
        bool tap; // else a key
        const char* emulator;
    };
    for (const Case& c : {Case{kJornada720, false, true, "unicorn"}, Case{kIpaqH3900, true, false, "unicorn"},
                          Case{kIpaqH3900, true, true, "qemu"}, Case{kIpaqH3100, false, false, "unicorn"}}) {
        SCOPED_TRACE(std::string(c.screen.machine) + " on " + c.emulator);
        ASSERT_TRUE(useDesktop(c.screen.size()));
        saveAutoBootSettings({"--pause", "--safety", "--machine", c.screen.machine,
                              c.reverse ? "--reverse-video" : "--no-reverse-video"});
        std::unique_ptr<RunningProgram> window = startWindow({"--answer", "yes", "--emulator", c.emulator});
        ASSERT_TRUE(window->waitForError(kScreenStays, 60000)) << window->out() << window->err();
        std::string output = window->out();
        EXPECT_EQ(probeVerdict(output), "PASS") << output;
        sim::RgbImage panel = panelOf(desktopNow(c.screen, device), c.screen);
        EXPECT_EQ(probeScreenDifference(panel, output, c.reverse), "") << output;
        // Nobody has pressed anything: the picture stays.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(window->running());

        EXPECT_TRUE(c.tap ? tapTheScreen(c.screen) : pressAKey(c.screen));
        ProgramResult result = window->finish(20000);
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        // The last-chance question was answered; the safety question is not asked by auto boot.
        EXPECT_NE(result.err.find("-> Yes"), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("Data in memory will be lost"), std::string::npos) << result.err;
    }
    ASSERT_TRUE(useDesktop("640x240"));
}

// The Wine desktop keeps the size it opened with, but the boot is the
// machine's: an iPAQ of 240x320 at 4 bits a pixel, booted from a 640x240
// desktop of 16 bits, hands the kernel the iPAQ's geometry and depth, which
// the probe checks against the LCD controller.
TEST_F(WindowProgram, AMachineWhoseScreenIsNotTheDesktopsBootsWithItsOwn) {
    ASSERT_TRUE(useDesktop(kJornada720.size()));
    saveAutoBootSettings({"--pause", "--safety", "--machine", kIpaqH3100.machine, "--no-reverse-video"});
    std::unique_ptr<RunningProgram> window = startWindow({"--answer", "yes", "--emulator", "unicorn"});
    ASSERT_TRUE(window->waitForError(kScreenStays, 60000)) << window->out() << window->err();
    std::string output = window->out();
    EXPECT_EQ(probeVerdict(output), "PASS") << output;
    EXPECT_TRUE(pressAKey(kJornada720));
    ProgramResult result = window->finish(20000);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
}

// The desktop shows the frame buffer while the kernel draws, not only when
// it has stopped: a kernel that keeps moving its colour bands is seen in
// more than one place before it stops.
TEST_F(WindowProgram, TheKernelsScreenIsShownWhileItDraws) {
    saveAutoBootSettings({"--no-pause", "--machine", kJornada720.machine}, "moving_bands.elf");
    std::unique_ptr<RunningProgram> window = startWindow({"--answer", "yes"});
    std::set<std::vector<uint8_t>> band_pictures;
    auto isBands = [](const sim::RgbImage& desktop) {
        // Every pixel of the top line is red, green, blue or white, and all four show.
        std::set<uint32_t> colours;
        for (int x = 0; x < desktop.width; ++x) {
            sim::Rgb p = desktop.at(x, 0);
            bool full = (p.r == 0 || p.r == 255) && (p.g == 0 || p.g == 255) && (p.b == 0 || p.b == 255);
            int lit = (p.r != 0) + (p.g != 0) + (p.b != 0);
            if (!full || (lit != 1 && lit != 3))
                return false;
            colours.insert(uint32_t{p.r} << 16 | uint32_t{p.g} << 8 | p.b);
        }
        return colours.size() == 4;
    };
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (window->err().find(kScreenStays) == std::string::npos && window->running() &&
           std::chrono::steady_clock::now() < give_up) {
        sim::RgbImage desktop = desktopNow(kJornada720, device);
        if (isBands(desktop) && window->err().find(kScreenStays) == std::string::npos)
            band_pictures.insert(
                std::vector<uint8_t>(desktop.rgb.begin(), desktop.rgb.begin() + 3 * desktop.width));
    }
    EXPECT_GE(band_pictures.size(), 2u) << "pictures of the moving bands before the kernel stopped";
    ASSERT_TRUE(window->waitForError(kScreenStays, 1000)) << window->err();
    EXPECT_TRUE(isBands(desktopNow(kJornada720, device)));
    EXPECT_TRUE(tapTheScreen(kJornada720));
    EXPECT_EQ(window->finish(20000).status, 0);
}

// Before the jump the LCD holds what Windows CE showed, which here is the
// window itself: under a kernel that draws nothing, the frame buffer
// (--screen-png) holds the window as the X server showed it at the jump
// (console.png) in the panel's geometry, and the desktop after the kernel
// shows that again (kernel-screen.png). The X server's 16 bits a pixel are
// the panel's: the pictures are equal pixel for pixel in 5-6-5 RGB (import
// and the panel widen the bits to 8 with different roundings).
TEST_F(WindowProgram, BeforeTheJumpTheLcdHoldsTheWindowsPicture) {
    for (const Screen& screen : {kJornada720, kIpaqH3600}) {
        SCOPED_TRACE(screen.machine);
        ASSERT_TRUE(useDesktop(screen.size()));
        std::filesystem::path shots = device / "screenshots";
        std::filesystem::remove_all(shots);
        std::filesystem::create_directories(shots);
        ProgramResult result =
            runWindow({"--dir", "\\Storage Card\\", "--kernel", "greeting_halt.elf", "--no-safety",
                       "--no-pause", "--machine", screen.machine, "--unattended", shots.string(),
                       "--screen-png", (shots / "lcd.png").string()});
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        sim::RgbImage at_jump = desktopIn(readPicture(shots / "console.png"), screen);
        sim::RgbImage lcd = readPicture(shots / "lcd.png");
        sim::RgbImage panel = panelOf(at_jump, screen);
        ASSERT_EQ(lcd.width, panel.width);
        ASSERT_EQ(lcd.height, panel.height);
        EXPECT_EQ(firstDifferenceIn565(lcd, panel), "");
        EXPECT_TRUE(desktopIn(readPicture(shots / "kernel-screen.png"), screen).rgb == at_jump.rgb);
        // The window, not Windows CE's plain desktop: the Console page's white output box shows.
        EXPECT_TRUE(isLight(at_jump.at(screen.width / 2, screen.height / 2)));
    }
    ASSERT_TRUE(useDesktop("640x240"));
}

// The desktop opened at another machine's size takes the booted machine's at
// the jump, so the whole LCD shows at its own resolution: the screenshot of
// the kernel's screen is the machine's size and holds the picture that
// zandrel-sim --screen-png writes for the same boot (pixel for pixel at the
// panel's 16 bits, as the X server shows it).
TEST_F(WindowProgram, TheKernelsScreenTakesTheBootedMachinesSize) {
    const Screen w_zero3{"Sharp W-ZERO3 (WS003SH)", 480, 640, false};
    struct Case {
        Screen opened, booted;
    };
    for (const Case& c : {Case{kJornada720, kIpaqH3900}, Case{w_zero3, kJornada720}}) {
        SCOPED_TRACE(c.booted.machine + std::string(" from a desktop of ") + c.opened.size());
        ASSERT_TRUE(useDesktop(c.opened.size()));
        std::filesystem::path shots = device / "screenshots";
        std::filesystem::remove_all(shots);
        std::filesystem::create_directories(shots);
        const std::vector<std::string> boot = {"--dir",     "\\Storage Card\\", "--kernel",
                                               "probe.elf", "--no-safety",      "--no-pause",
                                               "--machine", c.booted.machine};
        std::vector<std::string> window_run = boot;
        window_run.insert(window_run.end(), {"--unattended", shots.string()});
        ProgramResult in_window = runWindow(window_run);
        EXPECT_EQ(in_window.status, 0) << in_window.out << in_window.err;
        EXPECT_EQ(probeVerdict(in_window.out), "PASS") << in_window.out;

        std::vector<std::string> sim_run = {"--device",
                                            device.string(),
                                            "--quiet",
                                            "--answer",
                                            "yes",
                                            "--screen-png",
                                            (shots / "lcd.png").string()};
        sim_run.insert(sim_run.end(), boot.begin(), boot.end());
        ProgramResult in_sim = runProgram(buildPath("zandrel-sim"), sim_run);
        ASSERT_EQ(in_sim.status, 0) << in_sim.out << in_sim.err;

        sim::RgbImage kernel_screen = readPicture(shots / "kernel-screen.png");
        ASSERT_EQ(kernel_screen.width, c.booted.width);
        ASSERT_EQ(kernel_screen.height, c.booted.height);
        EXPECT_EQ(firstDifferenceIn565(panelOf(kernel_screen, c.booted), readPicture(shots / "lcd.png")), "");
    }
    ASSERT_TRUE(useDesktop("640x240"));
}

TEST_F(WindowProgram, AnInstructionLimitEndsWithTheFaultStatus) {
    saveAutoBootSettings({"--no-pause"});
    std::unique_ptr<RunningProgram> window = startWindow({"--answer", "yes", "--instruction-limit", "1000"});
    ASSERT_TRUE(window->waitForError(kScreenStays, 60000)) << window->err();
    EXPECT_TRUE(pressAKey(kJornada720));
    ProgramResult result = window->finish(20000);
    EXPECT_EQ(result.status, 3) << result.out << result.err;
}

// The settings options are what the pages start from: nobody at the screen
// presses Boot, and the boot is the one they describe, on the machine they
// name, its serial console on that machine's UART.
TEST_F(WindowProgram, SettingsOptionsAreWhatThePagesStartFrom) {
    std::filesystem::path screenshots = device / "screenshots";
    std::filesystem::create_directories(screenshots);
    ProgramResult result = runWindow({"--dir", "\\Storage Card\\", "--kernel", "probe.elf", "--no-safety",
                                      "--no-pause", "--machine", "HP Jornada 720 (US/UK)", "--serial",
                                      "--serial-speed", "38400", "--unattended", screenshots.string()});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("PROBE VERDICT: PASS"), std::string::npos) << result.out << result.err;
    EXPECT_NE(result.out.find("HP Jornada 720 (US/UK) (cpu=0x0c108000"), std::string::npos)
        << "the loader's console on the Jornada's UART: " << result.out;
    EXPECT_NE(result.err.find("pressing Boot"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Data in memory will be lost"), std::string::npos) << result.err;
    Preferences stored{};
    std::ifstream(device / "Storage Card" / "zandrel.cnf", std::ios::binary)
        .read(reinterpret_cast<char*>(&stored), sizeof(stored));
    EXPECT_EQ(stored.platform_machine, 0x02C20201u);
    EXPECT_EQ(stored.serial_speed, 38400);
    EXPECT_EQ(stored.boot_serial, 1u);
    EXPECT_TRUE(std::filesystem::is_regular_file(screenshots / "before-boot.png"));
    EXPECT_TRUE(std::filesystem::is_regular_file(screenshots / "console.png"));
}

TEST_F(WindowProgram, HelpIsTheWindowsOwn) {
    ProgramResult result = runWindow({"--help"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("usage: zandrel-window", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("--unattended FOLDER"), std::string::npos);
    EXPECT_NE(result.out.find("--kernel NAME"), std::string::npos) << "zandrel-sim's options are listed too";
}

// A failed boot with nobody at the screen ends the program with the boot's status.
TEST_F(WindowProgram, AnUnattendedBootThatFailsEndsWithItsStatus) {
    std::filesystem::path screenshots = device / "screenshots";
    std::filesystem::create_directories(screenshots);
    ProgramResult result = runWindow({"--dir", "\\Storage Card\\", "--kernel", "missing.gz", "--no-safety",
                                      "--unattended", screenshots.string()});
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_NE(result.err.find("[BOOT FAILED]"), std::string::npos) << result.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(screenshots / "console.png"));
}

// Nobody at the screen, auto boot a minute away, and the window closed with
// a real click on its close button before that: the run ends at once and
// says why, instead of waiting for a boot that will not come.
TEST_F(WindowProgram, AnUnattendedRunWhoseWindowIsClosedBeforeBootEnds) {
    saveAutoBootSettings({"--no-pause", "--machine", kJornada720.machine}, "probe.elf", 60);
    std::filesystem::path shots = device / "screenshots";
    std::filesystem::create_directories(shots);
    std::unique_ptr<RunningProgram> window = startWindow({"--unattended", shots.string()});
    ASSERT_TRUE(window->waitForError("auto boot presses Boot", 60000)) << window->err();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // The command bar's close button, at the right end of the bar 26 pixels high.
    ASSERT_EQ(runProgram("/usr/bin/xdotool",
                         {"mousemove", std::to_string(kJornada720.width - 13), "13", "click", "1"})
                  .status,
              0);
    ProgramResult result = window->finish(30000);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find("the window was closed before a boot started; nothing was booted"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.out.find("PROBE"), std::string::npos) << "nothing booted: " << result.out;
}

TEST_F(WindowProgram, BadCommandLineIsAUsageError) {
    // Unknown options, and zandrel-sim's options that count from its own press of Boot.
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--no-such-option"},
                                                      {"--timing"},
                                                      {"--fail-call", "3"},
                                                      {"--unattended"}}) {
        SCOPED_TRACE(arguments.front());
        ProgramResult result = runWindow(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.err.find("zandrel-window: "), std::string::npos) << result.err;
    }
}

// Asked for its help without a display, the script prints it and starts
// nothing of Wine or X: stand-ins for those programs on the PATH would leave
// a mark, and the Wine prefix it would make is not there.
TEST(WindowScript, HelpNeedsNoXServerNorWine) {
    char pattern[] = "/tmp/zandrel-window-help-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::filesystem::path scratch = pattern, stand_ins = scratch / "bin", marks = scratch / "started";
    std::filesystem::create_directories(stand_ins);
    for (const char* program : {"Xvfb", "Xorg", "wine", "wineboot", "wineserver"}) {
        std::ofstream(stand_ins / program) << "#!/bin/sh\necho " << program << " >>" << marks << "\nexit 1\n";
        std::filesystem::permissions(stand_ins / program, std::filesystem::perms::owner_all);
    }
    const char* path = std::getenv("PATH");
    ProgramResult result = runProgram(
        "/usr/bin/env",
        {"-u", "DISPLAY", "PATH=" + stand_ins.string() + ":" + (path != nullptr ? path : "/usr/bin"),
         "ZANDREL_BUILD_DIR=" + buildPath(""), "ZANDREL_WINE_PREFIX=" + (scratch / "prefix").string(), "bash",
         ZANDREL_SOURCE_DIR "/scripts/window.sh", "--help"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("usage: scripts/window.sh [--screen WIDTHxHEIGHT]", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("usage: zandrel-window"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("--unattended FOLDER"), std::string::npos) << result.out;
    EXPECT_FALSE(std::filesystem::exists(marks)) << "started: " << std::ifstream(marks).rdbuf();
    EXPECT_FALSE(std::filesystem::exists(scratch / "prefix"));
    std::filesystem::remove_all(scratch);
}

// The script as a person runs it on a machine without a display: the
// default device (a W-ZERO3) on a screen of its size, Boot pressed for nobody,
// the probe's verdict, and the screenshots in the folder it names.
TEST_F(WindowUnderWine, WindowScriptWithoutADisplayBootsTheDefaultDevice) {
    ProgramResult result = runProgram("/usr/bin/env", {"-u", "DISPLAY", "ZANDREL_BUILD_DIR=" + buildPath(""),
                                                       "ZANDREL_WINE_PREFIX=" + (prefix / "prefix").string(),
                                                       "bash", ZANDREL_SOURCE_DIR "/scripts/window.sh"});
    ASSERT_TRUE(useDesktop("640x240"));
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("PROBE VERDICT: PASS"), std::string::npos) << result.out << result.err;
    EXPECT_NE(result.out.find("PROBE: bootinfo fb 0x00000000 480x640"), std::string::npos)
        << "the screen is the W-ZERO3's: " << result.out;
    EXPECT_NE(result.err.find("pressing Boot"), std::string::npos) << result.err;
    size_t named = result.err.find("screenshots go to ");
    ASSERT_NE(named, std::string::npos) << result.err;
    size_t start = named + std::string("screenshots go to ").size();
    std::filesystem::path folder = result.err.substr(start, result.err.find(" (", start) - start);
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "before-boot.png")) << folder;
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "console.png")) << folder;
    // After the jump the desktop was the W-ZERO3's LCD: the probe's report on it.
    const Screen w_zero3{"Sharp W-ZERO3 (WS003SH)", 480, 640, false};
    EXPECT_EQ(probeScreenDifference(desktopIn(readPicture(folder / "kernel-screen.png"), w_zero3), result.out,
                                    false),
              "");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

} // namespace
