// The UFS reader on file systems made by makefs, read through winblk from a
// simulated raw disk.
#include "file/ufs/ufs_reader.h"
#include "file/ufs/winblk.h"
#include "support/ufs_image_patch.h"
#include "ufs_disk_fixture.h"

#include <cerrno>

namespace {

const std::string kDeep = "boot/deep/a/b/c/d/e/f/g/h/file.txt";

class UfsReaderTest : public UfsDiskFixture, public ::testing::WithParamInterface<Geometry> {
  protected:
    void SetUp() override {
        UfsDiskFixture::SetUp();
        attach(buildImage(makeStandardTree, GetParam()));
        ASSERT_EQ(openDisk(), 0);
    }
    std::string contents(const std::string& path) { return tree.files.at(path); }
    // ufsRead of `size` bytes; the residual in *residual.
    std::string readSome(uint32_t size, uint32_t* residual) {
        std::string bytes(size, '\0');
        EXPECT_EQ(ufsRead(&record, bytes.data(), size, residual), 0);
        bytes.resize(size - *residual);
        return bytes;
    }
};

TEST_P(UfsReaderTest, ReadsEveryFileByteForByte) {
    for (const auto& [path, bytes] : tree.files) {
        int error = -1;
        std::string read = readAll(path, &error, 777);
        EXPECT_EQ(error, 0) << path;
        EXPECT_TRUE(read == bytes) << path << ": " << read.size() << " bytes, expected " << bytes.size();
    }
}

TEST_P(UfsReaderTest, EmptyAndSlashOnlyPathsOpenTheRootDirectory) {
    for (const char* path : {"", "/", "///"}) {
        ASSERT_EQ(ufsOpen(path, &record), 0) << path;
        UfsStat stat{};
        EXPECT_EQ(ufsStat(&record, &stat), 0);
        EXPECT_EQ(stat.mode & 0xF000, 0x4000) << path;
        EXPECT_EQ(ufsClose(&record), 0);
    }
}

TEST_P(UfsReaderTest, LeadingRepeatedAndTrailingSeparatorsAreIgnored) {
    const std::string paths[] = {"/" + kDeep, "//boot///deep/a/b/c/d/e/f/g/h//file.txt", kDeep + "/"};
    for (const std::string& path : paths) {
        int error = -1;
        EXPECT_TRUE(readAll(path, &error) == contents(kDeep)) << path;
        EXPECT_EQ(error, 0) << path;
    }
}

TEST_P(UfsReaderTest, LookupFailuresGiveTheirErrorNumbers) {
    const struct {
        const char* path;
        int error;
    } cases[] = {
        {"missing", ENOENT},
        {"boot/deep/missing/file.txt", ENOENT},
        {"CASE", ENOENT},
        {"small/more", ENOTDIR},
        {"boot/deep/a/b/c/d/e/f/g/h/file.txt/x", ENOTDIR},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ufsOpen(c.path, &record), c.error) << c.path;
        EXPECT_EQ(record.fs_state, nullptr) << c.path;
    }
}

TEST_P(UfsReaderTest, NamesAreComparedWithTheirCase) {
    int error = -1;
    EXPECT_EQ(readAll("Case", &error), "upper");
    EXPECT_EQ(readAll("case", &error), "lower");
}

TEST_P(UfsReaderTest, FindsEntriesInEveryBlockOfALargeDirectory) {
    for (int n : {0, kManyEntries / 2, kManyEntries - 1}) {
        int error = -1;
        EXPECT_EQ(readAll("many/" + manyEntryName(n), &error), std::to_string(n));
        EXPECT_EQ(error, 0);
    }
}

TEST_P(UfsReaderTest, FollowsSymbolicLinks) {
    const struct {
        std::string path;
        std::string target;
    } cases[] = {
        {"link_rel", kDeep},                                     // short, relative: kept in the inode
        {"link_abs", kDeep},                                     // short, absolute
        {"link_long", kDeep},                                    // longer than the inode holds: in a block
        {"boot/up", "kalmor.gz"},                                // relative to the directory holding the link
        {"boot/deep/abs_dir/b/c/d/e/f/g/h/file.txt", kDeep},     // a link in the middle of the path
        {"chain/c" + std::to_string(kChainLength - 2), "small"}, // 32 links
        {"long_target", "small"},                                // 1005 characters
        {"long_dir/up", "kalmor.gz"},                            // 1004 + 3 characters
    };
    for (const auto& c : cases) {
        int error = -1;
        EXPECT_TRUE(readAll(c.path, &error) == contents(c.target)) << c.path;
        EXPECT_EQ(error, 0) << c.path;
    }
}

TEST_P(UfsReaderTest, LinkLimitsEndTheWalkWithENOENT) {
    const std::string cases[] = {
        "chain/c" + std::to_string(kChainLength - 1), // 33 links
        "loop_a",                                     // a cycle
        "long_dir/deep/a/b/c/d/e/f/g/h/file.txt",     // 1004 + 32 characters
    };
    for (const std::string& path : cases) {
        EXPECT_EQ(ufsOpen(path.c_str(), &record), ENOENT) << path;
        EXPECT_EQ(record.fs_state, nullptr);
    }
}

TEST_P(UfsReaderTest, SeeksFromTheStartTheCurrentPositionAndTheEnd) {
    const std::string& bytes = contents("kalmor.gz");
    ASSERT_EQ(ufsOpen("kalmor.gz", &record), 0);
    UfsStat stat{};
    ASSERT_EQ(ufsStat(&record, &stat), 0);
    EXPECT_EQ(stat.size, bytes.size());
    EXPECT_EQ(stat.mode & 0xF000, 0x8000);

    uint32_t residual = 0;
    EXPECT_EQ(ufsSeek(&record, 5000, 0), 5000);
    EXPECT_EQ(ufsSeek(&record, 10, 1), 5010);
    EXPECT_EQ(readSome(20, &residual), bytes.substr(5010, 20));
    EXPECT_EQ(readSome(20, &residual), bytes.substr(5030, 20));

    EXPECT_EQ(ufsSeek(&record, 100, 2), static_cast<int32_t>(bytes.size() - 100));
    EXPECT_EQ(readSome(1000, &residual), bytes.substr(bytes.size() - 100));
    EXPECT_EQ(residual, 900u);
    EXPECT_EQ(readSome(1000, &residual), "");
    EXPECT_EQ(residual, 1000u);

    EXPECT_EQ(ufsSeek(&record, 0, 3), -1);
    EXPECT_EQ(ufsWrite(&record, "x", 1, &residual), EROFS);
}

TEST_P(UfsReaderTest, ReadsTheLastBlockOfASmallFileAsWholeFragments) {
    ASSERT_EQ(ufsOpen("small", &record), 0);
    reads().clear();
    uint32_t residual = 0;
    std::string bytes = readSome(4000, &residual);
    EXPECT_TRUE(bytes == contents("small"));
    ASSERT_EQ(reads().size(), 1u);
    uint32_t fragments = (2500 + GetParam().fsize - 1) / GetParam().fsize;
    EXPECT_EQ(reads()[0].count, fragments * GetParam().fsize / 512);
}

TEST_P(UfsReaderTest, ReadsNothingBeforeOpenOrAfterClose) {
    char byte = 0;
    uint32_t residual = 0;
    EXPECT_EQ(ufsRead(&record, &byte, 1, &residual), EINVAL);
    EXPECT_EQ(residual, 1u);
    ASSERT_EQ(ufsOpen("small", &record), 0);
    EXPECT_EQ(ufsClose(&record), 0);
    EXPECT_EQ(ufsClose(&record), 0);
    EXPECT_EQ(ufsRead(&record, &byte, 1, &residual), EINVAL);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, UfsReaderTest,
                         ::testing::Values(Geometry{8192, 1024}, Geometry{4096, 512}),
                         [](const auto& info) { return "bsize" + std::to_string(info.param.bsize); });

class UfsOldFormatTest : public UfsDiskFixture {};

// makefs writes the 4.4BSD directory format; the old one has a 16-bit name
// length where the new one has a type byte and an 8-bit length, and a
// maxsymlinklen of 0.
TEST_F(UfsOldFormatTest, SearchesOldDirectoriesWithTheSixteenBitNameLength) {
    std::filesystem::path image = buildImage(makePlainTree, {8192, 1024});
    UfsImagePatch patch(image);
    patch.convertToOldDirectories(2);
    ASSERT_TRUE(patch.save(scratch / "converted.img"));
    patch.set32(patch.superBlock(1320), 0);
    ASSERT_TRUE(patch.save(scratch / "old.img"));

    attach(scratch / "old.img", 1);
    attach(scratch / "converted.img", 2);
    ASSERT_EQ(openDisk(1), 0);
    for (const auto& [path, bytes] : tree.files) {
        int error = -1;
        EXPECT_TRUE(readAll(path, &error) == bytes) << path;
        EXPECT_EQ(error, 0) << path;
    }
    // The same entries read in the new format have name length 0.
    winblkClose(&record);
    ASSERT_EQ(openDisk(2), 0);
    EXPECT_EQ(ufsOpen("kalmor.gz", &record), ENOENT);
}

} // namespace
