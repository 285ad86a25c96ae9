// zandrel-sim as a user runs it.
#include "support/run_program.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace {

class ZandrelSim : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zandrel-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        device = pattern;
        std::filesystem::create_directories(device / "Storage Card");
    }
    void TearDown() override { std::filesystem::remove_all(device); }
    ProgramResult run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--device", device.string(), "--quiet"});
        return runProgram(buildPath("zandrel-sim"), arguments);
    }

    std::filesystem::path device;
};

TEST_F(ZandrelSim, BootsWithTheDefaultsOnTheEmbeddedDevice) {
    // Directory "/": the kernel comes gzipped from the UFS partition of the default device's disk.
    ProgramResult result = runProgram(buildPath("zandrel-sim"), {"--quiet"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    size_t start = result.out.find("BOOT START\n");
    size_t banner = result.out.find("--------ZANDREL--------");
    size_t build = result.out.find("zandrel build number: 15\n");
    size_t platform = result.out.find("Sharp W-ZERO3 (WS003SH) (cpu=0x0c208000 machine=0x01040100)\n");
    size_t verdict = result.out.find("PROBE VERDICT: PASS");
    EXPECT_NE(verdict, std::string::npos) << result.out;
    EXPECT_LT(start, banner);
    EXPECT_LT(banner, build);
    EXPECT_LT(build, platform);
    EXPECT_LT(platform, verdict);
    EXPECT_NE(result.out.find("FileManager: UFS\n"), std::string::npos);
    EXPECT_NE(result.err.find("[WARNING] Data in memory will be lost. Are you sure? -> Yes\n"),
              std::string::npos);
    EXPECT_NE(result.err.find("[Last chance...] Push YES to boot. -> Yes\n"), std::string::npos);
    EXPECT_EQ(result.err.find("[BOOT FAILED]"), std::string::npos) << result.err;
    // Compared with the files the disk's file system was made from.
    EXPECT_NE(result.err.find("zandrel-sim: placed image verified: "), std::string::npos) << result.err;
}

TEST_F(ZandrelSim, BootsKernelAndImageFromUfsByUnitPathAndFromTheDefaultDisk) {
    // The default device's card, attached a second time as DSK2: and as the embedded DSK1:; the
    // probe checks the image it finds.
    std::string disk = buildPath("default-device/disk1.img");
    std::ifstream in(buildPath("default-device/work/root/miniroot.fs"), std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(image.empty());
    char crc[16];
    std::snprintf(crc, sizeof crc, "0x%08lx",
                  crc32(0, reinterpret_cast<const Bytef*>(image.data()), static_cast<uInt>(image.size())));
    std::string extra = "md_size=" + std::to_string(image.size()) + " md_crc32=" + crc;
    const std::vector<std::string> boot = {
        "--machine", "HP Jornada 720 (US/UK)", "--rootfs", "md", "--image", "miniroot.fs", "--extra", extra,
        "--no-pause"};
    std::vector<std::string> second_disk = {"--disk", "2=" + disk, "--dir", "2:/"};
    second_disk.insert(second_disk.end(), boot.begin(), boot.end());
    std::vector<std::string> embedded = {"--quiet", "--dir", "/"};
    embedded.insert(embedded.end(), boot.begin(), boot.end());
    // The same card as the user's own DSK1: its files are not known on the host, so --verify can't compare.
    std::vector<std::string> own_first_disk = embedded;
    own_first_disk.insert(own_first_disk.end(), {"--disk", "1=" + disk});
    struct Case {
        ProgramResult result;
        const char* placed;
    };
    const Case cases[] = {
        {run(second_disk),
         "zandrel-sim: placed image not verified: the files of the disk DSK2: are not known"},
        {runProgram(buildPath("zandrel-sim"), embedded), "zandrel-sim: placed image verified: 7 ranges, "},
        {runProgram(buildPath("zandrel-sim"), own_first_disk),
         "zandrel-sim: placed image not verified: the files of the disk DSK1: are not known"},
    };
    for (const auto& [result, placed] : cases) {
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_NE(result.err.find(placed), std::string::npos) << result.err;
        EXPECT_NE(result.out.find("FileManager: UFS\n"), std::string::npos);
        EXPECT_NE(result.out.find("[file system image]\n"), std::string::npos);
        EXPECT_NE(result.out.find("PROBE: image at "), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("PROBE VERDICT: PASS"), std::string::npos) << result.out;
    }
}

TEST_F(ZandrelSim, SavesWhatThePagesStoreOnTheStorageCard) {
    ProgramResult first = run({"--machine", "HP Jornada 720 (US/UK)", "--dir", "\\Storage Card\\", "--kernel",
                               "missing", "--serial-speed", "115200", "--no-pause"});
    EXPECT_EQ(first.status, 1);
    EXPECT_NE(first.out.find("HP Jornada 720 (US/UK) (cpu=0x0c108000 machine=0x02c20201)\n"),
              std::string::npos);
    EXPECT_NE(first.err.find("[BOOT FAILED] Can't open kernel image. -> OK\n"), std::string::npos)
        << first.err;
    ASSERT_EQ(std::filesystem::file_size(device / "Storage Card/zandrel.cnf"), 2152u);

    // The next run finds the settings again: machine, directory, kernel.
    ProgramResult second = run({});
    EXPECT_NE(second.out.find("HP Jornada 720 (US/UK) (cpu=0x0c108000 machine=0x02c20201)\n"),
              std::string::npos);
    EXPECT_NE(second.out.find("can't open \"\\Storage Card\\missing\". cause = 2\n"), std::string::npos)
        << second.out;
}

TEST_F(ZandrelSim, AnsweringNoToTheSafetyQuestionStartsNothing) {
    ProgramResult result = run({"--answer", "no"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out.find("BOOT START"), std::string::npos);
    EXPECT_EQ(result.err, "[WARNING] Data in memory will be lost. Are you sure? -> No\n");
    EXPECT_FALSE(std::filesystem::exists(device / "Storage Card/zandrel.cnf"));
}

TEST_F(ZandrelSim, ScriptedAnswersGoToTheQuestionsInOrderAndAreLogged) {
    std::string log = (device / "boxes.log").string();
    ProgramResult result = run({"--dir", "\\Storage Card\\", "--kernel", "missing", "--pause", "--answers",
                                "yes,no", "--answer", "no", "--box-log", log});
    EXPECT_EQ(result.status, 1);
    std::ifstream in(log);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "WARNING\tData in memory will be lost.\\nAre you sure?\t36\tYes");
    std::getline(in, line);
    EXPECT_EQ(line, "BOOT FAILED\tCan't open kernel image.\\n\t16\tOK");
}

TEST_F(ZandrelSim, TimingReportsBootToTheJumpOnlyWhenTheJumpIsReached) {
    ProgramResult jumped =
        runProgram(buildPath("zandrel-sim"), {"--quiet", "--timing", "--emulator", "none"});
    EXPECT_EQ(jumped.status, 0) << jumped.out << jumped.err;
    const std::string line = "zandrel-sim: Boot to the jump took ";
    std::smatch figure;
    ASSERT_TRUE(std::regex_search(jumped.err, figure, std::regex(line + "([0-9]+\\.[0-9]{6}) s\n")))
        << jumped.err;
    EXPECT_GT(std::stod(figure[1]), 0.0);

    ProgramResult failed = run({"--timing", "--dir", "\\Storage Card\\", "--kernel", "missing"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err.find(line), std::string::npos) << failed.err;
}

TEST_F(ZandrelSim, FailCallMakesOneCallOfTheBootFailAndSaysWhich) {
    // The embedded device boots from its UFS disk: its first disk read fails.
    ProgramResult disk = runProgram(buildPath("zandrel-sim"), {"--quiet", "--fail-call", "1:DiskRead"});
    EXPECT_EQ(disk.status, 1) << disk.out;
    EXPECT_NE(disk.err.find("zandrel-sim: --fail-call 1 made a DiskRead call fail\n"), std::string::npos)
        << disk.err;
    EXPECT_NE(disk.err.find("[BOOT FAILED] "), std::string::npos) << disk.err;

    ProgramResult beyond =
        runProgram(buildPath("zandrel-sim"), {"--quiet", "--emulator", "none", "--fail-call", "100000"});
    EXPECT_EQ(beyond.status, 0) << beyond.out << beyond.err;
    EXPECT_NE(beyond.err.find("zandrel-sim: --fail-call 100000 made no call fail: the boot made "),
              std::string::npos)
        << beyond.err;
}

// A machine picked that is not the device, with the serial console: the
// Jornada's UART is not on a W-ZERO3, and its console ends with a message
// instead of waiting for good.
TEST_F(ZandrelSim, AUartThatIsNotThereEndsTheSerialConsoleWithAMessage) {
    ProgramResult result =
        run({"--profile", "Sharp W-ZERO3 (WS003SH)", "--machine", "HP Jornada 720 (US/UK)", "--serial",
             "--dir", "\\Storage Card\\", "--kernel", "missing.gz", "--no-safety", "--no-pause"});
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_NE(
        result.out.find("UART at 0x80050000 does not become ready: no more output on the serial console\n"),
        std::string::npos)
        << result.out;
    EXPECT_NE(result.err.find("[BOOT FAILED]"), std::string::npos) << result.err;
}

// The handheld's screen: the machine of --profile, else of the Main page
// (--machine, or the one the device's settings hold).
TEST_F(ZandrelSim, ScreenSizeIsTheHandheldsScreen) {
    EXPECT_EQ(runProgram(buildPath("zandrel-sim"), {"--screen-size"}).out, "480x640\n")
        << "the default device";
    EXPECT_EQ(run({"--machine", "HP Jornada 720 (US/UK)", "--screen-size"}).out, "640x240\n");
    EXPECT_EQ(
        run({"--machine", "HP Jornada 720 (US/UK)", "--profile", "Compaq iPAQ H3600", "--screen-size"}).out,
        "240x320\n");
    ASSERT_EQ(run({"--machine", "Compaq iPAQ H3600", "--dir", "\\Storage Card\\", "--kernel", "missing.gz",
                   "--no-safety"})
                  .status,
              1);
    ProgramResult stored = run({"--screen-size"});
    EXPECT_EQ(stored.status, 0) << stored.err;
    EXPECT_EQ(stored.out, "240x320\n") << "the machine the settings hold";
}

// A killed run leaves its default device's folder; the next run removes it,
// and leaves the folder of a run that is still going.
TEST_F(ZandrelSim, TheDefaultDeviceFolderOfAKilledRunGoesAtTheNextStart) {
    pid_t ended = fork();
    ASSERT_GE(ended, 0);
    if (ended == 0)
        _exit(0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    std::filesystem::path left = device / ("zandrel-device-" + std::to_string(ended) + "-AbC123");
    std::filesystem::path running = device / ("zandrel-device-" + std::to_string(getpid()) + "-AbC123");
    std::filesystem::path other = device / "zandrel-device-notapid";
    for (const auto& folder : {left, running, other})
        std::filesystem::create_directories(folder / "Storage Card");
    ProgramResult result = runProgram("/usr/bin/env", {"TMPDIR=" + device.string(), buildPath("zandrel-sim"),
                                                       "--quiet", "--emulator", "none"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_FALSE(std::filesystem::exists(left));
    EXPECT_TRUE(std::filesystem::exists(running));
    EXPECT_TRUE(std::filesystem::exists(other));
    size_t folders = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(device))
        ++folders;
    EXPECT_EQ(folders, 3u) << "the run removed its own folder at its end";
}

TEST_F(ZandrelSim, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--rootfs", "zfs"}, {"--machine", "HP Jornada 999"}, {"--bogus"}, {"--answers", "yes,maybe"}};
    for (const auto& arguments : cases) {
        ProgramResult result = run(arguments);
        EXPECT_EQ(result.status, 2) << arguments[0];
        EXPECT_NE(result.err.find("zandrel-sim: "), std::string::npos);
    }
    EXPECT_EQ(runProgram(buildPath("zandrel-sim"), {"--device", "/nonexistent/folder"}).status, 2);
}

// The object store may take the RAM the kernel's part leaves, less at least
// a frame of program memory; the machine it is checked on is the one booted.
TEST_F(ZandrelSim, ObjectStoreSplitsTheMachinesRam) {
    ProgramResult whole = run({"--machine", "HP Jornada 720 (US/UK)", "--object-store", "31"});
    EXPECT_EQ(whole.status, 2);
    EXPECT_EQ(whole.err, "zandrel-sim: an object store of 31 MB leaves no program memory on "
                         "\"HP Jornada 720 (US/UK)\" (32 MB of RAM)\n");
    EXPECT_EQ(runProgram(buildPath("zandrel-sim"), {"--quiet", "--object-store", "63"}).status, 2);

    ProgramResult small = runProgram(buildPath("zandrel-sim"),
                                     {"--quiet", "--object-store", "8", "--emulator", "none", "--no-pause"});
    EXPECT_EQ(small.status, 0) << small.out << small.err;
    EXPECT_NE(small.err.find("zandrel-sim: placed image verified: "), std::string::npos) << small.err;
}

TEST_F(ZandrelSim, HelpAndMachineListExitWithZero) {
    ProgramResult help = runProgram(buildPath("zandrel-sim"), {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"--device", "--machine", "--dir", "--kernel", "--rootfs", "--image", "--verbose", "--single",
          "--ask-name", "--debugger", "--serial", "--serial-speed", "--extra", "--pause", "--no-pause",
          "--safety", "--no-safety", "--answer"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    ProgramResult machines = runProgram(buildPath("zandrel-sim"), {"--list-machines"});
    EXPECT_EQ(machines.status, 0);
    EXPECT_EQ(std::count(machines.out.begin(), machines.out.end(), '\n'), 18);
    // Name, processor, RAM in its banks, the default object store: tab-separated.
    for (const char* line :
         {"HP Jornada 820 (Japanese)\tSA-1100\tRAM 16 MB: 16 MB at 0xc0000000\tobject store 8 MB\n",
          "Compaq iPAQ H3660\tSA-1110\tRAM 64 MB: 32 MB at 0xc0000000, 32 MB at "
          "0xc8000000\tobject store 32 MB\n",
          "Sharp WILLCOM 03 (WS020SH)\tPXA270\tRAM 128 MB: 64 MB at 0xa0000000, 64 MB at "
          "0xa4000000\tobject store 64 MB\n"})
        EXPECT_NE(machines.out.find(line), std::string::npos) << line << machines.out;
}

} // namespace
