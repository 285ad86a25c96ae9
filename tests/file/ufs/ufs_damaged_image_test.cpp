// Damaged and foreign file systems: hand-patched copies of makefs images.
// Each damage ends in a clean error number, never a read outside a buffer
// or an endless walk.
#include "file/ufs/ufs_reader.h"
#include "support/ufs_image_patch.h"
#include "ufs_disk_fixture.h"

#include <cerrno>
#include <functional>

namespace {

// Super-block fields.
constexpr uint32_t kSize = 36, kNcg = 44, kBsize = 48, kBshift = 80, kFsbtodb = 100, kNindir = 116,
                   kInopb = 120, kIpg = 184, kMaxsymlinklen = 1320, kQbmask = 1336, kMagic = 1372;

class UfsDamagedImageTest : public UfsDiskFixture {
  protected:
    void SetUp() override {
        UfsDiskFixture::SetUp();
        image = buildImage(makePlainTree, {8192, 1024});
    }
    // A patched copy of the image on DSK1, opened.
    void attachPatched(const std::function<void(UfsImagePatch&)>& damage) {
        UfsImagePatch patch(image);
        damage(patch);
        std::filesystem::path copy = scratch / ("damaged" + std::to_string(copies_++) + ".img");
        ASSERT_TRUE(patch.save(copy));
        winblkCloseRecord();
        attach(copy);
        ASSERT_EQ(openDisk(), 0);
    }
    void winblkCloseRecord() {
        ufsClose(&record);
        if (record.device_state != nullptr)
            record.device->close(&record);
    }

    std::filesystem::path image;
    int copies_ = 0;
};

TEST_F(UfsDamagedImageTest, RefusesSuperBlocksThatDoNotHoldTogetherWithEINVAL) {
    const struct {
        const char* what;
        uint32_t field;
        uint32_t value;
    } cases[] = {
        {"magic", kMagic, 0x19540119},
        {"block size below 1376", kBsize, 1024},
        {"block size above 65536", kBsize, 131072},
        {"nindir not a power of two", kNindir, 1000},
        {"nindir zero", kNindir, 0},
        {"no inodes per group", kIpg, 0},
        {"no inodes per block", kInopb, 0},
        {"more inodes per block than the block holds", kInopb, 65},
        {"more addresses per block than the block holds", kNindir, 4096},
        {"block shift not that of the block size", kBshift, 40},
        {"fragment to sector shift out of range", kFsbtodb, 31},
        {"block mask not that of the block size", kQbmask, 0xFFFF},
        {"symbolic links longer than the inode holds", kMaxsymlinklen, 200},
        {"no cylinder groups", kNcg, 0},
    };
    for (const auto& c : cases) {
        attachPatched([&](UfsImagePatch& patch) { patch.set32(patch.superBlock(c.field), c.value); });
        EXPECT_EQ(ufsOpen("kalmor.gz", &record), EINVAL) << c.what;
        EXPECT_EQ(record.fs_state, nullptr) << c.what;
    }
}

TEST_F(UfsDamagedImageTest, DoesNotRecogniseUfs2OrBigEndianFileSystems) {
    std::filesystem::path source = scratch / "tree0";
    for (const auto& [options, endian] :
         {std::pair<std::string, std::string>{"version=2", "le"}, {"", "be"}}) {
        std::filesystem::path foreign = scratch / ("foreign-" + endian + ".img");
        std::string problem = makeUfs(foreign, source, 8192, 1024, options, endian);
        // makefs's version=1 default is replaced by version=2 where asked.
        ASSERT_EQ(problem, "");
        winblkCloseRecord();
        attach(foreign);
        ASSERT_EQ(openDisk(), 0);
        EXPECT_EQ(ufsOpen("kalmor.gz", &record), EINVAL) << options << " " << endian;
    }
}

TEST_F(UfsDamagedImageTest, DirectoryEntriesThatLeaveTheirBlockAreEIO) {
    const struct {
        const char* what;
        uint32_t field;
        uint32_t value;
        bool sixteen_bits;
    } cases[] = {
        {"record length past the block", 4, 9000, true},
        {"record length below the entry header", 4, 4, true},
        {"name length past the record", 7, 5, false},
    };
    for (const auto& c : cases) {
        attachPatched([&](UfsImagePatch& patch) {
            // "." is the first entry, 12 bytes long.
            uint64_t entry = patch.entry(2, ".");
            ASSERT_NE(entry, 0u);
            if (c.sixteen_bits)
                patch.set16(entry + c.field, static_cast<uint16_t>(c.value));
            else
                patch.byte(entry + c.field) = static_cast<uint8_t>(c.value);
        });
        // A name that is not there makes the search walk every entry.
        EXPECT_EQ(ufsOpen("missing", &record), EIO) << c.what;
    }
}

TEST_F(UfsDamagedImageTest, InodeNumbersBeyondTheFileSystemAreEIO) {
    attachPatched([](UfsImagePatch& patch) {
        uint64_t entry = patch.entry(2, "kalmor.gz");
        patch.set32(entry, patch.superBlock32(kIpg) * patch.superBlock32(kNcg) + 5);
    });
    EXPECT_EQ(ufsOpen("kalmor.gz", &record), EIO);
}

TEST_F(UfsDamagedImageTest, BlockAddressesBeyondTheFileSystemAreEIO) {
    attachPatched([](UfsImagePatch& patch) {
        uint32_t beyond = patch.superBlock32(kSize) + 16;
        uint32_t kalmor = patch.lookup("kalmor.gz");
        patch.set32(patch.inodeField(kalmor, 40), beyond);
        uint32_t indirect = patch.lookup("indirect");
        patch.set32(patch.inodeField(indirect, 88), beyond);
    });
    char byte = 0;
    uint32_t residual = 0;
    ASSERT_EQ(ufsOpen("kalmor.gz", &record), 0);
    EXPECT_EQ(ufsRead(&record, &byte, 1, &residual), EIO);
    EXPECT_EQ(residual, 1u);

    ASSERT_EQ(ufsOpen("indirect", &record), 0);
    std::string bytes(13 * 8192, '\0');
    EXPECT_EQ(ufsRead(&record, bytes.data(), static_cast<uint32_t>(bytes.size()), &residual), EIO);
    // The twelve direct blocks were delivered before the indirect one failed.
    EXPECT_EQ(residual, 8192u);
    EXPECT_TRUE(bytes.substr(0, 12 * 8192) == tree.files.at("indirect").substr(0, 12 * 8192));
}

// A super-block that claims more fragments than the disk has: an address
// inside the claimed size but past the disk's end is refused by the driver
// before any request reaches the device.
TEST_F(UfsDamagedImageTest, BlockAddressesBeyondThePartitionAreEIO) {
    uint32_t beyond = 0;
    attachPatched([&](UfsImagePatch& patch) {
        uint32_t fragments = patch.superBlock32(kSize);
        patch.set32(patch.superBlock(kSize), fragments * 4);
        beyond = fragments * 2;
        patch.set32(patch.inodeField(patch.lookup("kalmor.gz"), 40), beyond);
    });
    ASSERT_EQ(ufsOpen("kalmor.gz", &record), 0);
    reads().clear();
    device().debug_log.clear();
    char byte = 0;
    uint32_t residual = 0;
    EXPECT_EQ(ufsRead(&record, &byte, 1, &residual), EIO);
    EXPECT_TRUE(reads().empty());
    EXPECT_NE(device().debug_log.find(u"beyond the partition"), std::u16string::npos);
}

TEST_F(UfsDamagedImageTest, ADirectoryLargerThanTheFileSystemIsEIO) {
    attachPatched([](UfsImagePatch& patch) { patch.set64(patch.inodeField(2, 8), 0x7FFFFFF0); });
    EXPECT_EQ(ufsOpen("kalmor.gz", &record), EIO);
}

TEST_F(UfsDamagedImageTest, ALinkLongerThanThePathLimitIsENOENT) {
    attachPatched([](UfsImagePatch& patch) {
        uint32_t kalmor = patch.lookup("kalmor.gz");
        patch.set16(patch.inodeField(kalmor, 0), 0xA1FF);
        patch.set64(patch.inodeField(kalmor, 8), 0xFFFFFFFF);
    });
    EXPECT_EQ(ufsOpen("kalmor.gz", &record), ENOENT);
}

} // namespace
