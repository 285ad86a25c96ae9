// zandrel-sim booting from a UFS partition of a raw disk, as a user runs it.
#include "support/run_program.h"
#include "support/ufs_disk_images.h"
#include "support/ufs_image_patch.h"

#include <gtest/gtest.h>

namespace {

class UfsBootTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(scratch.path().empty());
        device = scratch / "device";
        std::filesystem::create_directories(device / "Storage Card");
        // The kernel gzipped by gzip, and a file-system image made by makefs.
        std::filesystem::path tree = scratch / "tree";
        std::filesystem::create_directories(tree / "boot");
        ShellResult gzip = runShell("gzip -9 -n -c " + shellQuote(buildPath("kernels/probe.elf")) + " > " +
                                    shellQuote((tree / "kalmor.gz").string()));
        ASSERT_EQ(gzip.status, 0) << gzip.output;
        writeHostFile(scratch / "mini/README", "miniroot\n");
        ASSERT_EQ(makeUfs(tree / "miniroot.fs", scratch / "mini", 4096, 512), "");
        std::filesystem::copy_file(tree / "kalmor.gz", tree / "boot/kalmor.gz");
        ASSERT_EQ(makeUfs(scratch / "fs.img", tree, 8192, 1024), "");
        disk = scratch / "disk.img";
        ASSERT_EQ(makeLabelledDisk(disk, scratch / "fs.img"), "");
        for (const char* name : {"kalmor.gz", "miniroot.fs"})
            std::filesystem::copy_file(tree / name, device / "Storage Card" / name);
    }
    ProgramResult run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--device", device.string(), "--quiet", "--no-pause"});
        return runProgram(buildPath("zandrel-sim"), arguments);
    }
    // What the loader put where: its segment, symbol and image lines (how many
    // links carry them depends on where Windows CE put the pages).
    static std::string loaderLines(const std::string& out) {
        std::string lines;
        size_t start = 0;
        while (start < out.size()) {
            size_t end = out.find('\n', start);
            std::string line =
                out.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
            for (const char* prefix : {"seg[", "\t->", "ksyms", "[file system image]", "kernel entry"}) {
                if (line.rfind(prefix, 0) == 0)
                    lines += line;
            }
            start = end == std::string::npos ? out.size() : end + 1;
        }
        return lines;
    }

    ScratchFolder scratch;
    std::filesystem::path device;
    std::filesystem::path disk;
};

TEST_F(UfsBootTest, LoadsTheKernelAndImageFromTheDiskAsFromTheStorageCard) {
    std::string log = (scratch / "debug.log").string();
    ProgramResult ufs = run({"--disk", "2=" + disk.string(), "--dir", "2:/", "--rootfs", "md", "--image",
                             "miniroot.fs", "--debug-log", log});
    EXPECT_NE(ufs.out.find("FileManager: UFS\n"), std::string::npos) << ufs.out;
    uintmax_t size = std::filesystem::file_size(device / "Storage Card/kalmor.gz");
    EXPECT_NE(ufs.out.find("open file \"kalmor.gz\" (" + std::to_string(size) + " byte).\n"),
              std::string::npos)
        << ufs.out;
    uintmax_t image_size = std::filesystem::file_size(device / "Storage Card/miniroot.fs");
    EXPECT_NE(ufs.out.find("open file \"miniroot.fs\" (" + std::to_string(image_size) + " byte).\n"),
              std::string::npos);
    std::string debug = readHostFile(log);
    EXPECT_EQ(debug.rfind("winblk.open: block device name is 'DSK2:'\n", 0), 0u) << debug;
    EXPECT_NE(debug.find("start sector=0x800\n"), std::string::npos);

    ProgramResult fat =
        run({"--dir", "\\Storage Card\\", "--rootfs", "md", "--image", "miniroot.fs", "--debug-log", log});
    std::string loaded = loaderLines(ufs.out);
    EXPECT_NE(loaded, "") << ufs.out;
    EXPECT_EQ(loaded, loaderLines(fat.out));
}

TEST_F(UfsBootTest, TheRootsDirectoryPartIsIgnoredAndNamesMayStartWithASlash) {
    ProgramResult result =
        run({"--disk", "3=" + disk.string(), "--dir", "3:/boot/", "--kernel", "/boot/kalmor.gz"});
    EXPECT_NE(result.out.find("open file \"/boot/kalmor.gz\" ("), std::string::npos) << result.out;
    EXPECT_NE(loaderLines(result.out), "") << result.out;
}

TEST_F(UfsBootTest, AMissingDiskOrFileFailsTheBoot) {
    ProgramResult no_disk = run({"--dir", "2:/"});
    EXPECT_EQ(no_disk.status, 1);
    EXPECT_NE(no_disk.err.find("[BOOT FAILED] Can't set root directory."), std::string::npos) << no_disk.err;

    ProgramResult no_file = run({"--disk", "1=" + disk.string(), "--dir", "/", "--kernel", "missing.gz"});
    EXPECT_EQ(no_file.status, 1);
    EXPECT_NE(no_file.out.find("open file \"missing.gz\" failed.\n"), std::string::npos) << no_file.out;
    EXPECT_NE(no_file.err.find("[BOOT FAILED] Can't open kernel image."), std::string::npos) << no_file.err;
}

// A size field of 4 GB or more would be taken for its low 32 bits: the file
// is refused when it is opened, with its size, and the boot stops there.
TEST_F(UfsBootTest, AFileWhoseSizeFieldPasses32BitsIsRefusedWhenOpened) {
    struct Case {
        const char* name;
        uint64_t size;
        const char* line;
        const char* box;
    };
    const Case cases[] = {
        {"kalmor.gz", 0x100000000ull, "open file \"kalmor.gz\" failed: 0x100000000 bytes, too large.\n",
         "[BOOT FAILED] Can't open kernel image."},
        {"miniroot.fs", 0x2000013F0ull, "open file \"miniroot.fs\" failed: 0x2000013f0 bytes, too large.\n",
         "[BOOT FAILED] Can't open file system image."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UfsImagePatch patch(scratch / "fs.img");
        uint64_t entry = patch.entry(2, c.name);
        ASSERT_NE(entry, 0u);
        patch.set64(patch.inodeField(patch.get32(entry), 8), c.size);
        ASSERT_TRUE(patch.save(scratch / "large.img"));
        ASSERT_EQ(makeLabelledDisk(scratch / "large_disk.img", scratch / "large.img"), "");
        ProgramResult result = run({"--disk", "2=" + (scratch / "large_disk.img").string(), "--dir", "2:/",
                                    "--rootfs", "md", "--image", "miniroot.fs"});
        EXPECT_EQ(result.status, 1) << result.out;
        EXPECT_NE(result.out.find(c.line), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(c.box), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("[BOOT FAILED]"), result.err.rfind("[BOOT FAILED]")) << result.err;
    }
}

TEST_F(UfsBootTest, DiskOptionsThatCannotBeUsedAreUsageErrors) {
    for (const std::string& value : {std::string("0=") + disk.string(), std::string("1"), std::string("x=y"),
                                     std::string("1=") + (scratch / "missing.img").string()}) {
        ProgramResult result = run({"--disk", value});
        EXPECT_EQ(result.status, 2) << value;
        EXPECT_NE(result.err.find("zandrel-sim: "), std::string::npos) << value;
    }
    ProgramResult help = runProgram(buildPath("zandrel-sim"), {"--help"});
    EXPECT_NE(help.out.find("--disk N=IMAGE"), std::string::npos);
}

// Without --device, the embedded device's card holds the demo kernel.
TEST_F(UfsBootTest, TheEmbeddedDeviceBootsFromItsCardWithTheDefaultSettings) {
    ProgramResult result = runProgram(buildPath("zandrel-sim"), {"--quiet"});
    EXPECT_NE(result.out.find("FileManager: UFS\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("open file \"kalmor.gz\" ("), std::string::npos) << result.out;
    EXPECT_NE(loaderLines(result.out), "") << result.out;
}

} // namespace
