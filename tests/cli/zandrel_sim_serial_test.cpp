// The kernel's serial console after the jump: lines piped into zandrel-sim
// reach the probe kernel's UART on Unicorn and on QEMU, a terminal is in raw
// mode with its Ctrl-A escapes and comes back as it was, a waiting kernel is
// not ended by a limit nobody asked for, and gdb attaches at the kernel's
// entry with --gdb.
#include "cli/host_serial_line.h"
#include "support/run_program.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kSa1110 = "HP Jornada 720 (US/UK)";
constexpr const char* kPxa270 = "Sharp W-ZERO3 (WS003SH)";

class ZandrelSimSerial : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zandrel-serial-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        device = pattern;
        std::filesystem::create_directories(device / "Storage Card");
        std::filesystem::copy_file(buildPath("kernels/probe.elf"), device / "Storage Card/probe.elf");
        ASSERT_EQ(std::system(("gzip -c " + buildPath("kernels/probe.elf") + " > '" +
                               (device / "Storage Card/probe.elf.gz").string() + "'")
                                  .c_str()),
                  0);
    }
    void TearDown() override { std::filesystem::remove_all(device); }

    std::vector<std::string> arguments(const std::string& machine, std::vector<std::string> more) const {
        std::vector<std::string> all = {"--device", device.string(), "--quiet",          "--machine",
                                        machine,    "--dir",         "\\Storage Card\\", "--no-pause"};
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }

    std::filesystem::path device;
};

// The first word the probe's text segment holds, as "0x........".
std::string firstTextWord() {
    std::ifstream elf(buildPath("kernels/probe.elf"), std::ios::binary);
    auto word = [&elf](std::streamoff at) {
        unsigned char b[4] = {};
        elf.seekg(at);
        elf.read(reinterpret_cast<char*>(b), 4);
        return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    };
    // The first program header's file offset.
    uint32_t text_offset = word(word(28) + 4);
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", word(text_offset));
    return text;
}

std::string afterVerdict(const std::string& out) {
    size_t verdict = out.find("PROBE VERDICT: ");
    return verdict == std::string::npos ? "" : out.substr(verdict);
}

TEST_F(ZandrelSimSerial, ProbeAnswersLinesPipedInOnBothEmulators) {
    struct Machine {
        const char* name;
        const char* kernel_address; // where the second stage puts the probe
    };
    const Machine machines[] = {{kSa1110, "0xc0200000"}, {kPxa270, "0xa0200000"}};
    for (const Machine& machine : machines) {
        // A backspace takes back a character; a carriage return and a line feed end one line.
        const std::string input = std::string("sd0\bx0a\r\nhelp\nargs\nbogus\nmem ") +
                                  machine.kernel_address + " 2\nbootinfo\nhalt\n";
        std::string unicorn_report;
        for (const char* emulator : {"unicorn", "qemu"}) {
            SCOPED_TRACE(std::string(machine.name) + " on " + emulator);
            ProgramResult result = runProgram(buildPath("zandrel-sim"),
                                              arguments(machine.name, {"--kernel", "probe.elf", "--ask-name",
                                                                       "--single", "--emulator", emulator}),
                                              input);
            EXPECT_EQ(result.status, 0) << result.err;
            std::string report = afterVerdict(result.out);
            EXPECT_NE(
                report.find("PROBE VERDICT: PASS\nroot device: sd0\b \bx0a\nPROBE: root device \"sdx0a\"\n"),
                std::string::npos)
                << report;
            for (std::string answer :
                 {std::string("probe> help\ncommands: help, args, bootinfo, mem ADDR [COUNT], halt\n"),
                  std::string("probe> args\nargc 3\nargv[0] \"probe.elf\"\nargv[1] \"s\"\nargv[2] \"a\"\n"),
                  std::string("probe> bogus\nunknown command (help lists them)\n"),
                  std::string("probe> mem ") + machine.kernel_address + " 2\n" + machine.kernel_address +
                      ": " + firstTextWord() + " 0x",
                  std::string("probe> bootinfo\nPROBE: bootinfo length 36 magic 0x13536135\n"),
                  std::string("probe> halt\nPROBE: halted at the prompt\n")})
                EXPECT_NE(report.find(answer), std::string::npos) << answer << "\nin:\n" << report;
            // Both emulators give the same answers.
            if (std::string(emulator) == "unicorn")
                unicorn_report = report;
            else
                EXPECT_EQ(report, unicorn_report);
        }
    }
}

// A kernel driven by its UART's receive interrupt (interrupt_echo): it
// unmasks the interrupt in the CPSR, sleeps in a wait for interrupt, and its
// handler, reached through the high vectors the MMU maps, echoes the line.
// The processor takes the interrupt on Unicorn as on QEMU's boards, as IRQ
// or, with the source sent to FIQ at the interrupt controller, as FIQ.
TEST_F(ZandrelSimSerial, AKernelDrivenByItsReceiveInterruptEchoesALineOnBothEmulators) {
    std::filesystem::copy_file(buildPath("kernels/interrupt_echo.elf"), device / "Storage Card/echo.elf");
    struct Line {
        const char* extra;
        const char* mode;
    };
    for (const char* machine : {kSa1110, kPxa270}) {
        for (const Line& line : {Line{"", "IRQ"}, Line{"fiq", "FIQ"}}) {
            for (const char* emulator : {"unicorn", "qemu"}) {
                SCOPED_TRACE(std::string(machine) + " on " + emulator + ", " + line.mode);
                ProgramResult result =
                    runProgram(buildPath("zandrel-sim"),
                               arguments(machine, {"--kernel", "echo.elf", "--extra", line.extra,
                                                   "--emulator", emulator, "--time-limit", "30"}),
                               "hello, interrupts\nnot read\n");
                EXPECT_EQ(result.status, 0) << result.err;
                EXPECT_NE(result.out.find(
                              "ECHO: type a line\nhello, interrupts\nECHO: line \"hello, interrupts\" in "),
                          std::string::npos)
                    << result.out;
                EXPECT_TRUE(std::regex_search(
                    result.out, std::regex(std::string("\" in [1-9][0-9]* interrupts, taken in ") +
                                           line.mode + " mode from System mode\n")))
                    << result.out;
                EXPECT_EQ(result.out.find("unexpected exception"), std::string::npos) << result.out;
            }
        }
    }
}

// Nothing comes after the end of the input: the kernel goes on waiting until
// the limit that was asked for, which the exit status names.
TEST_F(ZandrelSimSerial, AfterTheEndOfTheInputTheKernelWaitsUntilTheTimeLimit) {
    for (const char* emulator : {"unicorn", "qemu"}) {
        SCOPED_TRACE(emulator);
        ProgramResult result = runProgram(buildPath("zandrel-sim"),
                                          arguments(kPxa270, {"--kernel", "probe.elf", "--ask-name",
                                                              "--time-limit", "2", "--emulator", emulator}),
                                          "sd0a");
        EXPECT_EQ(result.status, 5) << result.err;
        EXPECT_NE(result.err.find(": time limit of 2 s reached"), std::string::npos) << result.err;
        std::string report = afterVerdict(result.out);
        EXPECT_NE(report.find("root device: sd0a"), std::string::npos) << report;
        EXPECT_EQ(report.find("PROBE: root device"), std::string::npos) << report;
    }
}

// No default limit: a kernel that waits for input 30 s on either emulator is
// still there to answer (the old defaults were 10 s of QEMU and 300 million
// instructions, about 10 s, of Unicorn).
TEST_F(ZandrelSimSerial, AKernelWaitingThirtySecondsIsEndedByNoLimit) {
    std::vector<std::unique_ptr<RunningProgram>> runs;
    for (const char* emulator : {"unicorn", "qemu"})
        runs.push_back(std::make_unique<RunningProgram>(
            buildPath("zandrel-sim"),
            arguments(kSa1110, {"--kernel", "probe.elf", "--single", "--emulator", emulator}), true));
    std::this_thread::sleep_for(std::chrono::seconds(30));
    for (auto& run : runs) {
        EXPECT_TRUE(run->running()) << run->err();
        run->send("halt\n");
    }
    for (auto& run : runs) {
        ProgramResult result = run->finish(30000);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.out.find("probe> halt\nPROBE: halted at the prompt\n"), std::string::npos)
            << result.out;
    }
}

// zandrel-sim under a pseudo-terminal.
class UnderTerminal {
  public:
    explicit UnderTerminal(const std::vector<std::string>& arguments) {
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        tcgetattr(slave, &before);
        child = fork();
        if (child == 0) {
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            for (int fd : {0, 1, 2})
                dup2(slave, fd);
            std::vector<char*> argv;
            std::string program = buildPath("zandrel-sim");
            argv.push_back(program.data());
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    ~UnderTerminal() {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        close(master);
        close(slave);
    }
    // Reads the screen until it holds `text`; false after `seconds`.
    bool waitFor(const std::string& text, int seconds) {
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        for (;;) {
            pollfd fd{master, POLLIN, 0};
            while (poll(&fd, 1, 0) > 0) {
                char buffer[4096];
                ssize_t count = read(master, buffer, sizeof buffer);
                if (count <= 0)
                    break;
                screen.append(buffer, static_cast<size_t>(count));
            }
            if (screen.find(text) != std::string::npos)
                return true;
            if (std::chrono::steady_clock::now() > give_up)
                return false;
            poll(&fd, 1, 100);
        }
    }
    void type(const std::string& keys) { (void)!write(master, keys.data(), keys.size()); }
    // The wait status once the program has ended.
    int end(int seconds) {
        for (int i = 0; i < seconds * 50; ++i) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                child = -1;
                waitFor("\x7f never", 0); // what it said last
                return status;
            }
            waitFor("\x7f never", 0); // keeps the terminal drained
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    termios now() const {
        termios settings{};
        tcgetattr(slave, &settings);
        return settings;
    }

    int master = -1, slave = -1;
    pid_t child = -1;
    termios before{};
    std::string screen;
};

bool sameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

TEST_F(ZandrelSimSerial, ATerminalIsRawWhileTheKernelRunsAndAsItWasAfterEveryWayOut) {
    struct Way {
        const char* name;
        std::function<void(UnderTerminal&)> leave;
        bool signalled;
        int status; // exit status or signal
    };
    const Way ways[] = {
        {"Ctrl-A X", [](UnderTerminal& t) { t.type("\x01x"); }, false, 6},
        {"SIGTERM", [](UnderTerminal& t) { kill(t.child, SIGTERM); }, true, SIGTERM},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        UnderTerminal terminal(arguments(kPxa270, {"--kernel", "probe.elf", "--single"}));
        ASSERT_GT(terminal.child, 0);
        ASSERT_TRUE(terminal.waitFor("probe> ", 60)) << terminal.screen;
        EXPECT_NE(
            terminal.screen.find("zandrel-sim: the kernel's serial console is this terminal: Ctrl-A X quits, "
                                 "Ctrl-A Ctrl-A sends Ctrl-A\r\n"),
            std::string::npos)
            << terminal.screen;
        termios raw = terminal.now();
        EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ISIG), 0u) << "raw while the kernel runs";
        // Keys go to the kernel as typed, Enter as a carriage return.
        terminal.type("help\r");
        EXPECT_TRUE(terminal.waitFor("commands: help", 20)) << terminal.screen;
        way.leave(terminal);
        int status = terminal.end(20);
        if (way.signalled) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == way.status) << status;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == way.status) << status;
            EXPECT_NE(terminal.screen.find("the user quit"), std::string::npos) << terminal.screen;
        }
        EXPECT_TRUE(sameSettings(terminal.now(), terminal.before));
    }
}

// The escapes, on a terminal only: from a pipe every byte goes on as it is.
TEST(HostSerialLine, TakesCtrlAEscapesFromATerminalAndPassesAPipeOnAsItIs) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    {
        HostSerialLine line(slave);
        ASSERT_TRUE(line.onTerminal());
        (void)!write(master,
                     "a\x01\x01"
                     "b\x01q\x01x",
                     8);
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!line.input().quitRequested() && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(line.input().quitRequested());
        std::string received;
        while (std::optional<uint8_t> byte = line.input().take())
            received += static_cast<char>(*byte);
        EXPECT_EQ(received, "a\x01"
                            "b\x01q");
    }
    close(master);
    close(slave);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    HostSerialLine line(fds[0]);
    EXPECT_FALSE(line.onTerminal());
    (void)!write(fds[1], "\x01x\r\n", 4);
    close(fds[1]);
    std::string received;
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!(line.input().ended() && line.input().available() == 0) &&
           std::chrono::steady_clock::now() < give_up) {
        if (std::optional<uint8_t> byte = line.input().take())
            received += static_cast<char>(*byte);
        else
            line.input().wait(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(received, "\x01x\r\n");
    EXPECT_FALSE(line.input().quitRequested());
    close(fds[0]);
}

// gdb-multiarch attaches where zandrel-sim says, with the kernel's symbols
// where the kernel runs: a plain kernel on the SA-1110, a gzipped one on the
// PXA270, whose second stage runs it 512 MB below its link address.
TEST_F(ZandrelSimSerial, GdbBreaksAtAProbeFunctionReadsTheEntryStateAndContinuesToTheHalt) {
    struct Case {
        const char* machine;
        const char* kernel;
    };
    for (const Case& c : {Case{kSa1110, "probe.elf"}, Case{kPxa270, "probe.elf.gz"}}) {
        SCOPED_TRACE(c.machine);
        RunningProgram sim(buildPath("zandrel-sim"),
                           arguments(c.machine, {"--kernel", c.kernel, "--gdb", "0"}));
        ASSERT_TRUE(sim.waitForError("attach gdb with:\n", 60000)) << sim.err() << sim.out();
        ASSERT_TRUE(sim.waitForError("localhost:", 5000)) << sim.err();
        std::smatch found;
        std::string err = sim.err();
        ASSERT_TRUE(std::regex_search(err, found, std::regex("\n(gdb-multiarch [^\n]*)\n"))) << err;
        std::string command = found[1];
        EXPECT_NE(command.find(".elf"), std::string::npos) << command;
        std::string script = command +
                             " -batch -ex 'break probe_main' -ex continue -ex 'info registers r0' "
                             "-ex 'x/wx $r2 + 4' -ex 'break probe_halt' -ex continue -ex detach 2>&1";
        FILE* gdb = popen(script.c_str(), "r");
        ASSERT_NE(gdb, nullptr);
        std::string transcript;
        char buffer[4096];
        while (size_t count = fread(buffer, 1, sizeof buffer, gdb))
            transcript.append(buffer, count);
        EXPECT_EQ(pclose(gdb), 0) << transcript;
        EXPECT_TRUE(std::regex_search(transcript, std::regex("Breakpoint 1, [^\n]*probe_main")))
            << transcript;
        EXPECT_TRUE(std::regex_search(transcript, std::regex("r0 +0x1 +1"))) << "argc" << transcript;
        EXPECT_TRUE(std::regex_search(transcript, std::regex(":\\s+0x13536135")))
            << "BootInfo magic" << transcript;
        EXPECT_TRUE(std::regex_search(transcript, std::regex("Breakpoint 2, 0x[0-9a-f]+ in _start")))
            << transcript;
        ProgramResult result = sim.finish(60000);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.err.find(": the kernel halted"), std::string::npos) << result.err;
        EXPECT_NE(result.out.find("PROBE VERDICT: PASS"), std::string::npos) << result.out;
    }
}

TEST_F(ZandrelSimSerial, GdbWithoutAQemuBoardForTheMachineIsAUsageError) {
    ProgramResult no_board =
        runProgram(buildPath("zandrel-sim"), arguments("HP Jornada 820", {"--kernel", "probe.elf", "--gdb"}));
    EXPECT_EQ(no_board.status, 2);
    EXPECT_NE(no_board.err.find("zandrel-sim: QEMU has no board for the HP Jornada 820"), std::string::npos)
        << no_board.err;
    ProgramResult unicorn = runProgram(buildPath("zandrel-sim"), {"--gdb", "--emulator", "unicorn"});
    EXPECT_EQ(unicorn.status, 2);
    EXPECT_NE(unicorn.err.find("--gdb runs the kernel on QEMU, not with --emulator unicorn"),
              std::string::npos)
        << unicorn.err;
}

} // namespace
