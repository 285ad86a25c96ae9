#include "file/fat_file_manager.h"
#include "file/file_manager_factory.h"
#include "file/ufs/ufs_file_manager.h"
#include "sim/handle_table.h"
#include "support/recording_console.h"
#include "support/simulated_device.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 256);
    return bytes;
}

class FatFileManagerTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        files = std::make_unique<FatFileManager>(&slot);
    }
    void TearDown() override {
        files.reset();
        SimulatedDevice::TearDown();
    }

    std::string readAt(uint32_t size, uint32_t offset) {
        std::string bytes(size, '\0');
        uint32_t count = files->read(bytes.data(), size, offset);
        bytes.resize(count);
        return bytes;
    }

    RecordingConsole console;
    Console* slot = &console;
    std::unique_ptr<FatFileManager> files;
};

TEST_F(FatFileManagerTest, AnnouncesItselfWithLevelOne) {
    EXPECT_EQ(console.text(), "FileManager: FAT\n");
    EXPECT_EQ(files->debug_level, 1);
}

TEST_F(FatFileManagerTest, OpensSizesAndReadsAtOffsetsAndAtTheCurrentPosition) {
    const std::string bytes = pattern(3000);
    writeFile("Storage Card/kalmor", bytes);
    ASSERT_TRUE(files->setRoot(u"\\Storage Card\\"));
    console.output.clear();

    ASSERT_TRUE(files->open(u"kalmor", 3));
    EXPECT_EQ(console.text(), "open file \"\\Storage Card\\kalmor\"(3000 byte).\n");
    EXPECT_EQ(files->size(), 3000u);
    EXPECT_EQ(files->realsize(), files->size());

    EXPECT_EQ(readAt(16, 1000), bytes.substr(1000, 16));
    EXPECT_EQ(readAt(16, FileManager::kCurrentPosition), bytes.substr(1016, 16));
    EXPECT_EQ(readAt(8, 0), bytes.substr(0, 8));
    ASSERT_TRUE(files->seek(2990));
    EXPECT_EQ(readAt(100, FileManager::kCurrentPosition), bytes.substr(2990, 10)); // short at the end
    EXPECT_EQ(readAt(100, FileManager::kCurrentPosition), "");
    EXPECT_TRUE(files->close());
    EXPECT_EQ(sim::HandleTable::get().openCount(), 0u);
}

TEST_F(FatFileManagerTest, MissingFileReportsThePathAndTheLastError) {
    files->setRoot(u"\\Storage Card\\");
    EXPECT_FALSE(files->open(u"nothing.gz", 3));
    EXPECT_NE(console.text().find("can't open \"\\Storage Card\\nothing.gz\". cause = 2\n"),
              std::string::npos);
    EXPECT_EQ(sim::HandleTable::get().openCount(), 0u);
}

TEST_F(FatFileManagerTest, RootWithoutSeparatorIsJoinedToTheNameAsIs) {
    writeFile("Storage Card/kalmor", "kernel");
    files->setRoot(u"\\Storage Card");
    EXPECT_FALSE(files->open(u"kalmor", 3));
    EXPECT_NE(console.text().find("can't open \"\\Storage Cardkalmor\". cause = 2\n"), std::string::npos);

    // The joined name is a file of its own when one exists.
    writeFile("Storage Cardkalmor", "other");
    ASSERT_TRUE(files->open(u"kalmor", 3));
    EXPECT_EQ(files->size(), 5u);
}

TEST_F(FatFileManagerTest, OpeningAgainReleasesTheFileOpenBefore) {
    writeFile("Storage Card/a", "aaaa");
    writeFile("Storage Card/b", "bb");
    files->setRoot(u"\\Storage Card\\");
    ASSERT_TRUE(files->open(u"a", 3));
    ASSERT_TRUE(files->open(u"b", 3));
    EXPECT_EQ(files->size(), 2u);
    // Files are opened without sharing: "a" is free again only if its handle was closed.
    ASSERT_TRUE(files->open(u"a", 3));
    EXPECT_EQ(sim::HandleTable::get().openCount(), 1u);
    files.reset();
    EXPECT_EQ(sim::HandleTable::get().openCount(), 0u);
}

TEST_F(FatFileManagerTest, FileTooLargeForItsSizeIsClosedAgain) {
    writeFile("Storage Card/huge", "");
    std::filesystem::resize_file(root / "Storage Card/huge", 0x100000000ull); // sparse, 4 GiB
    files->setRoot(u"\\Storage Card\\");
    EXPECT_FALSE(files->open(u"huge", 3));
    EXPECT_NE(console.text().find("can't get file size.\n"), std::string::npos);
    EXPECT_EQ(sim::HandleTable::get().openCount(), 0u);
}

TEST_F(FatFileManagerTest, RootAndNameBeyondThePathBufferAreRefused) {
    std::u16string root = u"\\Storage Card\\" + std::u16string(200, u'd') + u"\\";
    std::filesystem::create_directories(this->root / "Storage Card" / std::string(200, 'd'));
    std::u16string fitting(FatFileManager::kPathSize - 1 - root.size(), u'n'); // 259 characters in all
    writeFile("Storage Card/" + std::string(200, 'd') + "/" + std::string(fitting.size(), 'n'), "fits");
    files->setRoot(root.c_str());

    ASSERT_TRUE(files->open(fitting.c_str(), 3));
    EXPECT_EQ(std::u16string(files->path()), root + fitting);

    console.output.clear();
    std::u16string longer = fitting + u"n";
    EXPECT_FALSE(files->open(longer.c_str(), 3));
    EXPECT_EQ(console.text(), "can't open \"" + utf16ToUtf8(longer) + "\". path too long (261 > 260).\n");
    EXPECT_EQ(sim::HandleTable::get().openCount(), 0u);
}

TEST_F(FatFileManagerTest, SetRootKeepsAtMostThePathBuffer) {
    std::u16string root(400, u'r');
    EXPECT_TRUE(files->setRoot(root.c_str()));
    EXPECT_EQ(std::u16string(files->path()), root.substr(0, FatFileManager::kPathSize - 1));
}

TEST_F(FatFileManagerTest, WriteGoesToTheGivenOffset) {
    writeFile("Storage Card/data", "0123456789");
    files->setRoot(u"\\Storage Card\\");
    ASSERT_TRUE(files->open(u"data", 3));
    // Opened for reading only: the platform refuses, and the count says so.
    EXPECT_EQ(files->write("xy", 2, 4), 0u);
    files->close();
    EXPECT_EQ(readFile("Storage Card/data"), "0123456789");
}

TEST_F(FatFileManagerTest, FactoryMakesTheLocalVariantForKindZero) {
    RecordingConsole other;
    Console* other_slot = &other;
    std::unique_ptr<FileManager> local(createFileManagerVariant(0, &other_slot));
    ASSERT_NE(dynamic_cast<FatFileManager*>(local.get()), nullptr);
    EXPECT_EQ(other.text(), "FileManager: FAT\n");
    std::unique_ptr<FileManager> other_kind(createFileManagerVariant(-1, &other_slot));
    EXPECT_NE(dynamic_cast<UfsFileManager*>(other_kind.get()), nullptr);
}

TEST_F(FatFileManagerTest, MessagesFollowTheConsoleSlot) {
    RecordingConsole later;
    slot = &later;
    files->setRoot(u"\\");
    files->open(u"missing", 3);
    EXPECT_NE(later.text().find("can't open \"\\missing\". cause = 2\n"), std::string::npos);
    EXPECT_EQ(console.text(), "FileManager: FAT\n");
}

} // namespace
