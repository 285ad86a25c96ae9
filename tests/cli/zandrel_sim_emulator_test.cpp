// zandrel-sim after the jump: the probe kernel run on Unicorn and on QEMU, the
// serial console, the replay, snapshots and the exit statuses.
#include "cli/options.h"
#include "support/kernel_boot.h"
#include "support/run_program.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <zlib.h>

namespace {

constexpr const char* kSa1110 = "HP Jornada 720 (US/UK)";
constexpr const char* kPxa270 = "Sharp W-ZERO3 (WS003SH)";

class ZandrelSimEmulator : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zandrel-emu-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        device = pattern;
        std::filesystem::create_directories(device / "Storage Card");
        for (const char* kernel :
             {"probe", "three_segments", "greeting_halt", "greeting_idle", "greeting_spin", "greeting_exit"})
            std::filesystem::copy_file(buildPath(std::string("kernels/") + kernel + ".elf"),
                                       device / "Storage Card" / (std::string(kernel) + ".elf"));
        std::mt19937 random(11);
        std::string image(50000, '\0');
        for (char& c : image)
            c = static_cast<char>(random());
        std::ofstream(device / "Storage Card/miniroot.fs", std::ios::binary) << image;
        char crc[16];
        std::snprintf(
            crc, sizeof crc, "0x%08lx",
            crc32(0, reinterpret_cast<const Bytef*>(image.data()), static_cast<uInt>(image.size())));
        image_options = "md_size=50000 md_crc32=" + std::string(crc);
    }
    void TearDown() override { std::filesystem::remove_all(device); }

    ProgramResult run(const std::string& machine, std::vector<std::string> arguments,
                      const std::string& input = "") {
        std::vector<std::string> all = {"--device", device.string(), "--quiet",          "--machine",
                                        machine,    "--dir",         "\\Storage Card\\", "--no-pause"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return runProgram(buildPath("zandrel-sim"), all, input);
    }
    std::string file(const std::string& name) const {
        std::ifstream in(device / name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path device;
    std::string image_options;
};

TEST_F(ZandrelSimEmulator, ProbeKernelPassesOnUnicornAndQemuWithTheSameReport) {
    for (const char* machine : {kSa1110, kPxa270}) {
        for (bool with_image : {false, true}) {
            SCOPED_TRACE(std::string(machine) + (with_image ? " with image" : ""));
            std::vector<std::string> arguments = {"--kernel", "probe.elf",  "--serial",  "--verbose",
                                                  "--single", "--ask-name", "--debugger"};
            if (with_image)
                arguments.insert(arguments.end(), {"--rootfs", "md", "--image", "miniroot.fs", "--extra",
                                                   image_options + " x=1"});
            else
                arguments.insert(arguments.end(), {"--rootfs", "wd", "--extra", "x=1"});
            // "a" asks for the root device, "s" offers the probe's prompt.
            const std::string answers = "sd0a\nhalt\n";
            ProgramResult unicorn = run(machine, arguments, answers);
            arguments.insert(arguments.end(), {"--emulator", "qemu"});
            ProgramResult qemu = run(machine, arguments, answers);

            EXPECT_EQ(unicorn.status, 0) << unicorn.err;
            EXPECT_EQ(qemu.status, 0) << qemu.err;
            EXPECT_EQ(probeVerdict(unicorn.out), "PASS") << unicorn.out;
            EXPECT_EQ(probeVerdict(qemu.out), "PASS") << qemu.out;
            // QEMU's collie has no display; mainstone has the PXA2x0 LCD controller.
            if (machine == kSa1110)
                EXPECT_EQ(probeLinesBesideTheScreen(qemu.out), probeLinesBesideTheScreen(unicorn.out));
            else
                EXPECT_EQ(probeLines(qemu.out), probeLines(unicorn.out));
            EXPECT_NE(unicorn.out.find("PROBE: argc " + std::string(with_image ? "10" : "7") + "\n"),
                      std::string::npos)
                << unicorn.out;
            EXPECT_NE(unicorn.out.find("PROBE: argv[5] \"d\"\n"), std::string::npos);
            EXPECT_EQ(unicorn.out.find("PROBE: image at ") != std::string::npos, with_image);
            // The loader's console first, then the kernel's output.
            EXPECT_LT(unicorn.out.find("kernel entry address: 0xc0200000"),
                      unicorn.out.find("PROBE: zandrel"));
            EXPECT_NE(unicorn.err.find(": halted at 0x"), std::string::npos) << unicorn.err;
            EXPECT_NE(qemu.err.find(std::string("zandrel-sim: QEMU ") +
                                    (machine == kSa1110 ? "collie" : "mainstone") + ": the kernel halted\n"),
                      std::string::npos)
                << qemu.err;
        }
    }
}

// What the kernel is entered with is compared with the kernel file and the
// image read on the host (QEMU's memory through its gdb stub, when asked
// for); a page damaged after loading, or a range never cleared, gives exit
// status 4: RAM nobody wrote holds leftovers, never zeros that pass for a
// cleared range.
TEST_F(ZandrelSimEmulator, VerifyComparesThePlacedImageAndAFaultExitsWithFour) {
    const std::string verified = "zandrel-sim: placed image verified: 7 ranges, ";
    struct Fault {
        const char* what;
        std::vector<std::string> arguments;
    };
    const Fault faults[] = {
        {"a damaged load link", {"--corrupt-load-link", "2"}},
        {"a zero-clear never done", {"--drop-zero-link", "0"}},
    };
    for (const char* machine : {kSa1110, kPxa270}) {
        for (const std::string emulator : {"unicorn", "none", "qemu"}) {
            SCOPED_TRACE(machine + (" " + emulator));
            std::vector<std::string> arguments = {"--kernel",   "probe.elf",   "--rootfs", "md",
                                                  "--image",    "miniroot.fs", "--extra",  image_options,
                                                  "--emulator", emulator};
            if (emulator == "qemu")
                arguments.push_back("--verify");
            ProgramResult good = run(machine, arguments);
            EXPECT_EQ(good.status, 0) << good.err;
            EXPECT_NE(good.err.find(verified), std::string::npos) << good.err;

            for (const Fault& fault : faults) {
                SCOPED_TRACE(fault.what);
                std::vector<std::string> faulty = arguments;
                faulty.insert(faulty.end(), fault.arguments.begin(), fault.arguments.end());
                ProgramResult damaged = run(machine, faulty);
                EXPECT_EQ(damaged.status, 4) << damaged.err;
                EXPECT_NE(damaged.err.find("zandrel-sim: placed image differs at 0x"), std::string::npos)
                    << damaged.err;
                EXPECT_EQ(damaged.err.find(verified), std::string::npos) << damaged.err;
            }

            arguments.insert(arguments.end(), {"--corrupt-load-link", "2", "--no-verify"});
            ProgramResult unchecked = run(machine, arguments);
            EXPECT_EQ(unchecked.err.find("placed image"), std::string::npos) << unchecked.err;
        }
    }
}

TEST_F(ZandrelSimEmulator, SerialConsolePutsTheLoaderMessagesOnTheUartWithCarriageReturns) {
    for (const char* machine : {kSa1110, kPxa270}) {
        SCOPED_TRACE(machine);
        ProgramResult result = run(machine, {"--kernel", "probe.elf", "--serial", "--serial-speed", "115200",
                                             "--serial-log", (device / "serial.log").string()});
        EXPECT_EQ(result.status, 0) << result.err;
        std::string line = file("serial.log");
        EXPECT_NE(line.find("Loader: ELF\r\n"), std::string::npos) << line;
        EXPECT_NE(line.find("kernel entry address: 0xc0200000\r\n"), std::string::npos);
        EXPECT_NE(line.find("console = 2\r\n"), std::string::npos);
        EXPECT_LT(line.find("Loader: ELF\r\n"), line.find("PROBE VERDICT: PASS\r\n"));
        for (size_t at = line.find('\n'); at != std::string::npos; at = line.find('\n', at + 1))
            ASSERT_EQ(line[at - 1], '\r') << "at " << at;
        // Those messages went to the UART, not to the screen.
        EXPECT_EQ(result.out.find("Loader: ELF"), std::string::npos);
        EXPECT_EQ(result.out.find("use LCD console instead."), std::string::npos);
    }
}

TEST_F(ZandrelSimEmulator, AStoppedRunEndsWithStatusThreeAndOneLineWhy) {
    ProgramResult limited = run(kPxa270, {"--kernel", "probe.elf", "--instruction-limit", "1000"});
    EXPECT_EQ(limited.status, 3);
    EXPECT_NE(limited.err.find("zandrel-sim: Unicorn PXA270: instruction limit of 1000 reached, pc 0x"),
              std::string::npos)
        << limited.err;
    EXPECT_NE(limited.err.find(", mode System\n"), std::string::npos) << limited.err;

    ProgramResult halted = run(kSa1110, {"--kernel", "three_segments.elf"});
    EXPECT_EQ(halted.status, 0) << halted.err;
    EXPECT_NE(halted.err.find("zandrel-sim: Unicorn SA-1110: halted at 0xc0200000"), std::string::npos)
        << halted.err;
}

// QEMU is not asked to read the kernel's output: it sees the processor stop.
TEST_F(ZandrelSimEmulator, QemuEndsWhenAnyKernelHaltsAndRunsOnWhileItDoesNot) {
    struct Case {
        const char* kernel;
        int status;
        const char* end;
    };
    const Case cases[] = {
        {"greeting_halt.elf", 0, "the kernel halted"},
        {"greeting_idle.elf", 0, "the kernel halted"},
        {"greeting_exit.elf", 0, "the kernel ended QEMU"},
        {"greeting_spin.elf", 5, "time limit of 1 s reached"},
    };
    for (const char* machine : {kSa1110, kPxa270}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(machine) + " " + c.kernel);
            std::vector<std::string> arguments = {"--kernel", c.kernel, "--emulator", "qemu"};
            if (c.status != 0)
                arguments.insert(arguments.end(), {"--time-limit", "1"});
            ProgramResult result = run(machine, arguments);
            EXPECT_EQ(result.status, c.status) << result.err;
            // A kernel that never halts may be stopped before it has said anything.
            if (c.status == 0) {
                EXPECT_NE(result.out.find("Hello from a kernel of its own.\nIt stops here.\n"),
                          std::string::npos)
                    << result.out;
            }
            std::string board = machine == kSa1110 ? "collie" : "mainstone";
            EXPECT_NE(result.err.find("zandrel-sim: QEMU " + board + ": " + c.end + "\n"), std::string::npos)
                << result.err;
        }
    }
    // Unicorn sees the same branch to itself.
    ProgramResult unicorn = run(kPxa270, {"--kernel", "greeting_halt.elf"});
    EXPECT_EQ(unicorn.status, 0) << unicorn.err;
    EXPECT_NE(unicorn.err.find("zandrel-sim: Unicorn PXA270: halted at 0xa0200"), std::string::npos)
        << unicorn.err;
}

TEST_F(ZandrelSimEmulator, WithoutAnEmulatorThePageListIsReplayedAndSummarised) {
    ProgramResult result = run(kPxa270, {"--kernel", "probe.elf", "--emulator", "none"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("second stage (replayed, FlatJump_pxa2x0): 11 links, 10 load, 1 zero-clear\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("  wrote 0xa0200000-"), std::string::npos);
    EXPECT_NE(result.out.find("  kernel entry 0xa0200000 argc 1 argv 0x"), std::string::npos);
    EXPECT_NE(result.out.find("  stack pointer 0xa020c000\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("PROBE"), std::string::npos);
}

TEST_F(ZandrelSimEmulator, ASavedHandOffBootsAgainOnEitherEmulator) {
    std::string snapshot = (device / "hand-off.snap").string();
    ProgramResult first = run(kSa1110, {"--kernel", "probe.elf", "--rootfs", "md", "--image", "miniroot.fs",
                                        "--extra", image_options, "--snapshot", snapshot});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.err.find("zandrel-sim: hand-off saved in \"" + snapshot + "\"\n"), std::string::npos);
    EXPECT_EQ(probeVerdict(first.out), "PASS");

    for (const char* emulator : {"unicorn", "qemu"}) {
        SCOPED_TRACE(emulator);
        ProgramResult again = runProgram(buildPath("zandrel-sim"),
                                         {"--quiet", "--from-snapshot", snapshot, "--emulator", emulator});
        EXPECT_EQ(again.status, 0) << again.err;
        // QEMU's collie has no display.
        EXPECT_EQ(probeLinesBesideTheScreen(again.out), probeLinesBesideTheScreen(first.out));
        if (std::string(emulator) == "unicorn") {
            EXPECT_EQ(probeLines(again.out), probeLines(first.out));
        }
        EXPECT_EQ(again.out.find("BOOT START"), std::string::npos) << "no boot, only the hand-off";
    }

    std::ofstream(device / "junk.snap") << "not a snapshot";
    ProgramResult junk =
        runProgram(buildPath("zandrel-sim"), {"--quiet", "--from-snapshot", (device / "junk.snap").string()});
    EXPECT_EQ(junk.status, 1);
    EXPECT_NE(junk.err.find("is not a zandrel snapshot"), std::string::npos) << junk.err;
}

// A snapshot's machine is checked against QEMU's boards as a boot's is: an
// SA-1100 hand-off is not run on the SA-1110 board.
TEST_F(ZandrelSimEmulator, ASnapshotOfAMachineQemuHasNoBoardForIsAUsageError) {
    std::string snapshot = (device / "sa1100.snap").string();
    ProgramResult first =
        run("HP Jornada 820", {"--kernel", "probe.elf", "--emulator", "none", "--snapshot", snapshot});
    ASSERT_EQ(first.status, 0) << first.err;
    ProgramResult again =
        runProgram(buildPath("zandrel-sim"), {"--quiet", "--from-snapshot", snapshot, "--emulator", "qemu"});
    EXPECT_EQ(again.status, 2) << again.err;
    EXPECT_NE(again.err.find("zandrel-sim: QEMU has no board for the HP Jornada 820"), std::string::npos)
        << again.err;
}

TEST(ZandrelSimEmulatorOptions, AreParsedAndCheckedAndListedInTheHelp) {
    auto parse = [](std::vector<const char*> words) {
        words.insert(words.begin(), "zandrel-sim");
        return parseOptions(static_cast<int>(words.size()), words.data());
    };
    EXPECT_EQ(parse({}).options.emulator, "unicorn");
    ParseResult parsed =
        parse({"--emulator", "qemu", "--snapshot", "a", "--from-snapshot", "b", "--instruction-limit",
               "5000000000", "--time-limit", "4", "--screen-png", "c"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.emulator, "qemu");
    EXPECT_EQ(parsed.options.snapshot, "a");
    EXPECT_EQ(parsed.options.from_snapshot, "b");
    EXPECT_EQ(parsed.options.instruction_limit, 5000000000ull);
    EXPECT_EQ(parsed.options.time_limit, 4);
    EXPECT_EQ(parsed.options.screen_png, "c");
    EXPECT_EQ(parse({"--emulator", "bochs"}).error, "--emulator takes unicorn, qemu or none, not \"bochs\"");
    EXPECT_EQ(parse({"--instruction-limit", "0"}).error,
              "--instruction-limit takes a positive number, not \"0\"");
    EXPECT_EQ(parse({"--instruction-limit", "-5"}).error,
              "--instruction-limit takes a positive number, not \"-5\"");
    EXPECT_EQ(parse({"--time-limit", "0"}).error,
              "--time-limit takes a positive number of seconds, not \"0\"");
    EXPECT_EQ(parse({"--snapshot"}).error, "--snapshot needs a value");
    EXPECT_EQ(parse({"--screen-png"}).error, "--screen-png needs a value");

    ProgramResult usage = runProgram(buildPath("zandrel-sim"), {"--emulator", "bochs"});
    EXPECT_EQ(usage.status, 2);
    std::string help = usageText();
    for (const char* option :
         {"--emulator unicorn|qemu|none", "--snapshot FILE", "--from-snapshot FILE", "--instruction-limit N",
          "--time-limit SEC", "--screen-png FILE", "3 the emulated processor"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

} // namespace
