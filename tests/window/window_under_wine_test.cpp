// The window under Wine: a private X server (Xvfb) and a Wine prefix of its
// own for this run, made once, then the in-process window checks and the
// zandrel-window program itself.
#include "support/run_program.h"
#include "ui/preferences.h"

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <sstream>
#include <string>
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
        // The X screen holds every desktop of the runs, 640x240 to 480x640.
        const std::string script =
            "source \"$1\" && private_x_server 640x640 &&"
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
    static inline pid_t x_server = 0;
    static inline std::filesystem::path prefix;
};

void expectChecksPass(const ProgramResult& result) {
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("[  PASSED  ]"), std::string::npos) << result.out << result.err;
    EXPECT_EQ(result.out.find("[  FAILED  ]"), std::string::npos) << result.out;
}

TEST_F(WindowUnderWine, InProcessWindowChecksPass) {
    ASSERT_TRUE(useDesktop("640x240"));
    expectChecksPass(runProgram(wine, {buildPath("zandrel-window-checks.exe.so")}));
}

// The layout check on the other screens of the handhelds: portrait, and the W-ZERO3's.
TEST_F(WindowUnderWine, LayoutFitsThePortraitScreens) {
    for (const char* size : {"240x320", "480x640"}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(useDesktop(size));
        expectChecksPass(runProgram(wine, {buildPath("zandrel-window-checks.exe.so"),
                                           "--gtest_filter=WindowChecks.LayoutFitsTheScreen"}));
    }
    ASSERT_TRUE(useDesktop("640x240"));
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
        std::filesystem::copy_file(buildPath("kernels/probe.elf"), device / "Storage Card" / "probe.elf");
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(device, ignored);
    }
    // Settings as zandrel-sim's boot saves them (it stores what its options say),
    // with auto boot after one second, as the Option page would store it.
    void saveAutoBootSettings(const std::vector<std::string>& settings) {
        std::vector<std::string> store = {"--device", device.string(),    "--quiet",  "--emulator", "none",
                                          "--dir",    "\\Storage Card\\", "--kernel", "probe.elf"};
        store.insert(store.end(), settings.begin(), settings.end());
        runProgram(buildPath("zandrel-sim"), store);
        std::fstream file(device / "Storage Card" / "zandrel.cnf",
                          std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(file.is_open());
        const int32_t one_second = 1;
        file.seekp(offsetof(Preferences, auto_boot));
        file.write(reinterpret_cast<const char*>(&one_second), sizeof(one_second));
    }
    ProgramResult runWindow(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {buildPath("zandrel-window.exe.so"), "--device", device.string()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return runProgram(wine, all);
    }

    std::filesystem::path device;
};

TEST_F(WindowProgram, AutoBootRunsTheProbeKernelToPassAndEndsWithItsStatus) {
    // The machine whose screen the window has (640x240): the probe checks the
    // display the kernel is told about against the machine's LCD.
    saveAutoBootSettings({"--pause", "--safety", "--machine", "HP Jornada 720 (US/UK)"});
    ProgramResult result = runWindow({"--answer", "yes"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("PROBE VERDICT: PASS"), std::string::npos) << result.out << result.err;
    // The last-chance question was answered; the safety question is not asked by auto boot.
    EXPECT_NE(result.err.find("-> Yes"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Data in memory will be lost"), std::string::npos) << result.err;
}

TEST_F(WindowProgram, AnInstructionLimitEndsWithTheFaultStatus) {
    saveAutoBootSettings({"--no-pause"});
    ProgramResult result = runWindow({"--answer", "yes", "--instruction-limit", "1000"});
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
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

} // namespace
