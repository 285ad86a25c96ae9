// The window under Wine: a private X server (Xvfb) and a Wine prefix of its
// own for this run, made once, then the in-process window checks and the
// zandrel-window program itself.
#include "support/run_program.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
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
        std::string xvfb = onPath("Xvfb");
        if (wine.empty() || xvfb.empty()) {
            skip_reason = "Wine or Xvfb is not installed (scripts/setup.sh installs them)";
            return;
        }
        startXServer(xvfb);
        if (x_server <= 0) {
            skip_reason = "no free X display for Xvfb";
            return;
        }
        makePrefix();
    }

    static void TearDownTestSuite() {
        if (!prefix.empty()) {
            runProgram(onPath("wineserver"), {"-k"});
            std::error_code ignored;
            std::filesystem::remove_all(prefix, ignored);
        }
        if (x_server > 0) {
            kill(x_server, SIGTERM);
            waitpid(x_server, nullptr, 0);
        }
    }

    void SetUp() override {
        if (!skip_reason.empty())
            GTEST_SKIP() << skip_reason;
    }

    static void startXServer(const std::string& xvfb) {
        for (int display = 90; display < 190; ++display) {
            std::string lock = "/tmp/.X" + std::to_string(display) + "-lock";
            std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
            if (std::filesystem::exists(lock) || std::filesystem::exists(socket))
                continue;
            pid_t child = fork();
            if (child == 0) {
                int null_fd = open("/dev/null", O_RDWR);
                dup2(null_fd, STDOUT_FILENO);
                dup2(null_fd, STDERR_FILENO);
                std::string name = ":" + std::to_string(display);
                execl(xvfb.c_str(), xvfb.c_str(), name.c_str(), "-screen", "0", "640x480x16", "-nolisten",
                      "tcp", static_cast<char*>(nullptr));
                _exit(127);
            }
            for (int wait = 0; wait < 100 && !std::filesystem::exists(socket); ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            int status = 0;
            if (std::filesystem::exists(socket) && waitpid(child, &status, WNOHANG) == 0) {
                x_server = child;
                setenv("DISPLAY", (":" + std::to_string(display)).c_str(), 1);
                return;
            }
            kill(child, SIGTERM);
            waitpid(child, nullptr, 0);
        }
    }

    // A prefix of this run: a 640x240 virtual desktop, and COM1 a file of the
    // run's own, never the machine's serial port (COM1 is the simulated handheld's).
    static void makePrefix() {
        char pattern[] = "/tmp/zandrel-wine-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        prefix = pattern;
        std::filesystem::path com1 = prefix / "com1-file";
        std::ofstream(com1).put('\n');
        setenv("WINEPREFIX", (prefix / "prefix").c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        ProgramResult boot = runProgram(onPath("wineboot"), {"-i"});
        ASSERT_EQ(boot.status, 0) << boot.err;
        for (const std::vector<std::string>& add :
             {std::vector<std::string>{"HKLM\\Software\\Wine\\Ports", "/v", "COM1", "/d", com1.string()},
              std::vector<std::string>{"HKCU\\Software\\Wine\\Explorer", "/v", "Desktop", "/d", "Default"},
              std::vector<std::string>{"HKCU\\Software\\Wine\\Explorer\\Desktops", "/v", "Default", "/d",
                                       "640x240"}}) {
            std::vector<std::string> arguments = {"reg", "add"};
            arguments.insert(arguments.end(), add.begin(), add.end());
            arguments.push_back("/f");
            ProgramResult result = runProgram(wine, arguments);
            ASSERT_EQ(result.status, 0) << result.err;
        }
        std::filesystem::path link = prefix / "prefix" / "dosdevices" / "com1";
        std::error_code ignored;
        std::filesystem::remove(link, ignored);
        std::filesystem::create_symlink(com1, link, ignored);
        runProgram(onPath("wineserver"), {"-w"});
    }

    static inline std::string wine;
    static inline std::string skip_reason;
    static inline pid_t x_server = 0;
    static inline std::filesystem::path prefix;
};

TEST_F(WindowUnderWine, InProcessWindowChecksPass) {
    ProgramResult result = runProgram(wine, {buildPath("zandrel-window-checks.exe.so")});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("[  PASSED  ]"), std::string::npos) << result.out << result.err;
    EXPECT_EQ(result.out.find("[  FAILED  ]"), std::string::npos) << result.out;
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
        file.seekp(kAutoBootOffset);
        file.write(reinterpret_cast<const char*>(&one_second), sizeof(one_second));
    }
    ProgramResult runWindow(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {buildPath("zandrel-window.exe.so"), "--device", device.string()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return runProgram(wine, all);
    }

    static constexpr std::streamoff kAutoBootOffset = 1616;
    std::filesystem::path device;
};

TEST_F(WindowProgram, AutoBootRunsTheProbeKernelToPassAndEndsWithItsStatus) {
    saveAutoBootSettings({"--pause", "--safety"});
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

TEST_F(WindowProgram, BadCommandLineIsAUsageError) {
    ProgramResult result = runWindow({"--no-such-option"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("zandrel-window: "), std::string::npos) << result.err;
}

} // namespace
