// The UFS file manager over a prepared card: an MBR from sfdisk, a BSD label
// from fdisk and a file system from makefs.
#include "file/ufs/ufs_file_manager.h"
#include "platform/wide_string.h"
#include "sim/handle_table.h"
#include "support/recording_console.h"
#include "ufs_disk_fixture.h"

#include <memory>

namespace {

class UfsFileManagerTest : public UfsDiskFixture {
  protected:
    void SetUp() override {
        UfsDiskFixture::SetUp();
        disk = buildDisk(buildImage(makeStandardTree, {8192, 1024}));
        files = std::make_unique<UfsFileManager>(&slot);
    }
    void TearDown() override {
        files.reset();
        UfsDiskFixture::TearDown();
    }
    std::string readAt(uint32_t size, uint32_t offset) {
        std::string bytes(size, '\0');
        bytes.resize(files->read(bytes.data(), size, offset));
        return bytes;
    }
    std::string debugLog() const { return utf16ToUtf8(sim::Handheld::get().debug_log); }

    std::filesystem::path disk;
    RecordingConsole console;
    Console* slot = &console;
    std::unique_ptr<UfsFileManager> files;
};

TEST_F(UfsFileManagerTest, AnnouncesItselfWithLevelOne) {
    EXPECT_EQ(console.text(), "FileManager: UFS\n");
    EXPECT_EQ(files->debug_level, 1);
}

TEST_F(UfsFileManagerTest, TheRootChoosesTheDiskUnit) {
    for (int unit = 1; unit <= 9; ++unit)
        attach(disk, unit);
    const struct {
        const char16_t* root;
        const char* device;
    } cases[] = {
        {u"2:/", "DSK2:"}, {u"/", "DSK1:"},   {u"9:/boot/", "DSK9:"},
        {u"0:/", "DSK1:"}, {u"a:/", "DSK1:"}, {u"12/", "DSK1:"},
    };
    for (const auto& c : cases) {
        device().debug_log.clear();
        EXPECT_TRUE(files->setRoot(c.root)) << c.device;
        EXPECT_EQ(debugLog().rfind(std::string("winblk.open: block device name is '") + c.device + "'\n", 0),
                  0u)
            << debugLog();
    }
    // Each new root closes the disk of the previous one.
    EXPECT_EQ(sim::HandleTable::get().openCount(), 1u);
}

TEST_F(UfsFileManagerTest, ARootOnAMissingDiskCannotBeSet) {
    EXPECT_FALSE(files->setRoot(u"3:/"));
    EXPECT_EQ(console.text(), "FileManager: UFS\n");
    EXPECT_FALSE(files->open(u"kalmor.gz", 3));
    EXPECT_EQ(console.text(), "FileManager: UFS\nopen file \"kalmor.gz\" failed.\n");
}

TEST_F(UfsFileManagerTest, OpensNamesFromTheFileSystemsRootWhateverTheRootsDirectory) {
    attach(disk, 2);
    ASSERT_TRUE(files->setRoot(u"2:/boot/"));
    console.output.clear();
    ASSERT_TRUE(files->open(u"kalmor.gz", 3));
    EXPECT_EQ(console.text(), "open file \"kalmor.gz\" (150000 byte).\n");
    EXPECT_EQ(files->size(), 150000u);
    EXPECT_EQ(files->realsize(), 150000u);
    files->close();

    console.output.clear();
    ASSERT_TRUE(files->open(u"/kalmor.gz", 3));
    EXPECT_EQ(console.text(), "open file \"/kalmor.gz\" (150000 byte).\n");
    EXPECT_TRUE(readAt(150000, 0) == tree.files.at("kalmor.gz"));
}

TEST_F(UfsFileManagerTest, ReadsAtOffsetsAndFromTheCurrentPosition) {
    attach(disk, 1);
    ASSERT_TRUE(files->setRoot(u"/"));
    ASSERT_TRUE(files->open(u"miniroot.fs", 3));
    const std::string& bytes = tree.files.at("miniroot.fs");
    EXPECT_EQ(readAt(100, 9000), bytes.substr(9000, 100));
    EXPECT_EQ(readAt(100, FileManager::kCurrentPosition), bytes.substr(9100, 100));
    EXPECT_TRUE(files->seek(20000));
    EXPECT_EQ(readAt(50, FileManager::kCurrentPosition), bytes.substr(20000, 50));
    EXPECT_EQ(readAt(1000, static_cast<uint32_t>(bytes.size()) - 10), bytes.substr(bytes.size() - 10));
    EXPECT_EQ(readAt(1000, FileManager::kCurrentPosition), "");
    EXPECT_EQ(files->write("x", 1, 0), 0u);
    EXPECT_EQ(readAt(4, FileManager::kCurrentPosition), bytes.substr(0, 4));
}

TEST_F(UfsFileManagerTest, ReportsFailedOpensOnTheConsoleAndTheReasonOnlyToTheDebugger) {
    attach(disk, 1);
    ASSERT_TRUE(files->setRoot(u"/"));
    console.output.clear();
    EXPECT_FALSE(files->open(u"missing", 3));
    EXPECT_FALSE(files->open(u"small/more", 3));
    EXPECT_EQ(console.text(), "open file \"missing\" failed.\nopen file \"small/more\" failed.\n");
    EXPECT_EQ(files->size(), 0u);

    std::u16string long_name(300, u'a');
    console.output.clear();
    EXPECT_FALSE(files->open(long_name.c_str(), 3));
    EXPECT_EQ(console.text(), "buffer insufficeint. 301 > 260\n");
}

TEST_F(UfsFileManagerTest, AReadThatMeetsADiskErrorDeliversTheBytesBeforeIt) {
    attach(disk, 1);
    ASSERT_TRUE(files->setRoot(u"/"));
    ASSERT_TRUE(files->open(u"kalmor.gz", 3));
    // Let the disk fail from the kalmor.gz's third block on.
    reads().clear();
    EXPECT_EQ(readAt(3 * 8192, 0).size(), 3u * 8192);
    ASSERT_EQ(reads().size(), 3u);
    device().disks.at(1).failing_sector = reads()[2].start;
    EXPECT_TRUE(readAt(5 * 8192, 0) == tree.files.at("kalmor.gz").substr(0, 2 * 8192));
}

TEST_F(UfsFileManagerTest, DestroyingItClosesTheDisk) {
    attach(disk, 1);
    size_t handles = sim::HandleTable::get().openCount();
    ASSERT_TRUE(files->setRoot(u"/"));
    ASSERT_TRUE(files->open(u"kalmor.gz", 3));
    EXPECT_EQ(sim::HandleTable::get().openCount(), handles + 1);
    files.reset();
    EXPECT_EQ(sim::HandleTable::get().openCount(), handles);
}

} // namespace
