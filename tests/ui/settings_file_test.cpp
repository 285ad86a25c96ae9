#include "platform/wide_string.h"
#include "support/simulated_device.h"
#include "ui/menu_context.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class SettingsFile : public SimulatedDevice {
  protected:
    static std::string header(uint32_t magic, uint32_t version, uint32_t size) {
        std::string bytes(12, '\0');
        for (int i = 0; i < 4; ++i) {
            bytes[i] = static_cast<char>(magic >> (8 * i));
            bytes[4 + i] = static_cast<char>(version >> (8 * i));
            bytes[8 + i] = static_cast<char>(size >> (8 * i));
        }
        return bytes;
    }
    // A whole record as a previous run would have saved it, with a recognisable field.
    std::string savedRecord(uint32_t version = 258, uint32_t size = 2152) {
        MenuContext::instance()->prefs.serial_speed = 115200;
        wideCopy(MenuContext::instance()->prefs.kernel_name, 260, u"kalmor");
        MenuContext::instance()->prefs.kernel_user = 1;
        EXPECT_TRUE(MenuContext::instance()->save());
        std::string bytes = readFile("Storage Card/zandrel.cnf");
        MenuContext::destroyInstance();
        return header(0x177d5753, version, size) + bytes.substr(12);
    }
    static void expectDefaults(const Preferences& prefs) {
        EXPECT_EQ(prefs.serial_speed, 19200);
        EXPECT_EQ(prefs.pause_before_boot, 1u);
        EXPECT_EQ(prefs.safety_message, 1u);
        EXPECT_EQ(prefs.kernel_user, 0u);
        EXPECT_EQ(std::u16string(prefs.rootfs_file), u"miniroot.fs");
    }
};

TEST_F(SettingsFile, FirstRunHasTheDefaults) {
    const Preferences& prefs = MenuContext::instance()->prefs;
    expectDefaults(prefs);
    EXPECT_EQ(prefs.magic, 0x177d5753u);
    EXPECT_EQ(prefs.version, 258u);
    EXPECT_EQ(prefs.size, 2152u);
    EXPECT_EQ(prefs.rootfs, 0u);
    EXPECT_EQ(prefs.auto_boot, 0);
    EXPECT_EQ(std::u16string(MenuContext::instance()->dirEntry(0)), u"/");
    EXPECT_EQ(MenuContext::instance()->dirDefaultIndex(), 0);
}

TEST_F(SettingsFile, SaveWritesTheRecordByteForByte) {
    MenuContext& menu = *MenuContext::instance();
    menu.prefs.rootfs = 2;
    wideCopy(menu.prefs.boot_extra, 256, u"-x");
    ASSERT_TRUE(menu.save());
    std::string bytes = readFile("Storage Card/zandrel.cnf");
    ASSERT_EQ(bytes.size(), 2152u);
    const unsigned char expected_header[] = {0x53, 0x57, 0x7d, 0x17, 0x02, 0x01,
                                             0x00, 0x00, 0x68, 0x08, 0x00, 0x00};
    EXPECT_EQ(bytes.substr(0, 12), std::string(reinterpret_cast<const char*>(expected_header), 12));
    EXPECT_EQ(bytes.substr(1072, 4), std::string("\x02\0\0\0", 4));       // rootfs
    EXPECT_EQ(bytes.substr(1076, 4), std::string("m\0i\0", 4));           // rootfs_file
    EXPECT_EQ(bytes.substr(1636, 4), std::string("\x00\x4b\x00\x00", 4)); // serial_speed 19200
    EXPECT_EQ(bytes.substr(1640, 6), std::string("-\0x\0\0\0", 6));       // boot_extra
    EXPECT_FALSE(std::filesystem::exists(root / "Storage Card/zandrel.cnf.new"));
}

TEST_F(SettingsFile, SavingUnchangedSettingsWritesNothing) {
    MenuContext& menu = *MenuContext::instance();
    ASSERT_TRUE(menu.save());
    std::filesystem::path file = root / "Storage Card/zandrel.cnf";
    // A save puts a new file in place of the old one; an unchanged record keeps the old.
    struct stat before {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    ASSERT_TRUE(menu.save());
    struct stat unchanged {};
    ASSERT_EQ(stat(file.c_str(), &unchanged), 0);
    EXPECT_EQ(unchanged.st_ino, before.st_ino);

    menu.prefs.boot_single = 1;
    ASSERT_TRUE(menu.save());
    struct stat changed {};
    ASSERT_EQ(stat(file.c_str(), &changed), 0);
    EXPECT_NE(changed.st_ino, before.st_ino);
    MenuContext::destroyInstance();
    EXPECT_EQ(MenuContext::instance()->prefs.boot_single, 1u);
}

TEST_F(SettingsFile, ARecordSavedOnceIsLoadedAtTheNextStart) {
    std::string record = savedRecord();
    writeFile("Storage Card/zandrel.cnf", record);
    const Preferences& prefs = MenuContext::instance()->prefs;
    EXPECT_EQ(prefs.serial_speed, 115200);
    EXPECT_EQ(std::u16string(prefs.kernel_name), u"kalmor");
}

TEST_F(SettingsFile, AnotherVersionWithTheRightSignatureIsAcceptedAndRestamped) {
    writeFile("Storage Card/zandrel.cnf", savedRecord(257));
    MenuContext& menu = *MenuContext::instance();
    EXPECT_EQ(menu.prefs.serial_speed, 115200);
    EXPECT_EQ(menu.prefs.version, 258u);
    ASSERT_TRUE(menu.save());
    EXPECT_EQ(readFile("Storage Card/zandrel.cnf").substr(4, 4), std::string("\x02\x01\0\0", 4));
}

TEST_F(SettingsFile, ARecordShorterThanThisLayoutKeepsTheDefaultsBeyondIt) {
    std::string record = savedRecord(257, 1064);
    writeFile("Storage Card/zandrel.cnf", record.substr(0, 1064));
    const Preferences& prefs = MenuContext::instance()->prefs;
    EXPECT_EQ(std::u16string(prefs.kernel_name), u"kalmor");
    EXPECT_EQ(prefs.serial_speed, 19200);
    EXPECT_EQ(prefs.size, 2152u);
}

TEST_F(SettingsFile, ALargerRecordOfANewerLayoutKeepsTheSettingsThisLayoutKnows) {
    std::string record = savedRecord(259, 4096) + std::string(4096 - 2152, 'x');
    for (size_t length : {record.size(), size_t{2152}}) {
        SCOPED_TRACE(length);
        writeFile("Storage Card/zandrel.cnf", record.substr(0, length));
        MenuContext::destroyInstance();
        MenuContext& menu = *MenuContext::instance();
        EXPECT_EQ(menu.prefs.serial_speed, 115200);
        EXPECT_EQ(std::u16string(menu.prefs.kernel_name), u"kalmor");
        EXPECT_EQ(menu.prefs.version, 258u);
        EXPECT_EQ(menu.prefs.size, 2152u);
        menu.prefs.boot_single = 1;
        ASSERT_TRUE(menu.save());
        std::string saved = readFile("Storage Card/zandrel.cnf");
        EXPECT_EQ(saved.size(), 2152u);
        EXPECT_EQ(saved.substr(8, 4), std::string("\x68\x08\0\0", 4));
    }
}

TEST_F(SettingsFile, ASaveLeavesExactlyOneRecordEvenWhenTheSettingsDidNotChange) {
    writeFile("Storage Card/zandrel.cnf", savedRecord() + std::string(300, 'x'));
    MenuContext& menu = *MenuContext::instance();
    EXPECT_EQ(menu.prefs.serial_speed, 115200);
    ASSERT_TRUE(menu.save());
    EXPECT_EQ(readFile("Storage Card/zandrel.cnf").size(), 2152u);
}

TEST_F(SettingsFile, BadFilesFallBackToTheDefaults) {
    std::string good = savedRecord();
    const std::pair<const char*, std::string> cases[] = {
        {"wrong signature", header(0x177d5754, 258, 2152) + good.substr(12)},
        {"only the header", good.substr(0, 12)},
        {"shorter than the header", good.substr(0, 11)},
        {"empty file", ""},
    };
    for (const auto& [name, bytes] : cases) {
        writeFile("Storage Card/zandrel.cnf", bytes);
        MenuContext::destroyInstance();
        SCOPED_TRACE(name);
        expectDefaults(MenuContext::instance()->prefs);
    }
}

TEST_F(SettingsFile, AFileCutShortKeepsEachFieldItHoldsWhole) {
    MenuContext* menu = MenuContext::instance();
    Preferences& stored = menu->prefs;
    stored.dir_user = 1;
    wideCopy(stored.dir_user_path, 260, u"http://server/boot/");
    stored.kernel_user = 1;
    wideCopy(stored.kernel_name, 260, u"kalmor");
    stored.rootfs = kRootMd;
    wideCopy(stored.rootfs_file, 260, u"root.img");
    stored.safety_message = 0;
    stored.serial_speed = 115200;
    wideCopy(stored.boot_extra, 256, u"-x");
    ASSERT_TRUE(menu->save());
    const std::string whole = readFile("Storage Card/zandrel.cnf");
    MenuContext::destroyInstance();
    struct Case {
        const char* name;
        std::string bytes;
        bool directory, kernel, rootfs, rootfs_file, safety, speed, extra;
    };
    // "http://server/boot/" ends at byte 60, "kalmor" at 558, "root.img" at 1094, "-x" at 1646.
    const Case cases[] = {
        {"one byte short", whole.substr(0, 2151), true, true, true, true, true, true, true},
        {"cut after the end of the extra options", whole.substr(0, 1700), true, true, true, true, true, true,
         true},
        {"cut inside the extra options' text", whole.substr(0, 1644), true, true, true, true, true, true,
         false},
        {"cut after the speed", whole.substr(0, 1640), true, true, true, true, true, true, false},
        {"cut inside the speed", whole.substr(0, 1638), true, true, true, true, true, false, false},
        {"cut after the end of the image name", whole.substr(0, 1100), true, true, true, true, false, false,
         false},
        {"cut inside the image name's text", whole.substr(0, 1090), true, true, true, false, false, false,
         false},
        {"cut inside the kernel name's text", whole.substr(0, 556), true, false, false, false, false, false,
         false},
        // The directory's flag without the whole directory would name a cut one.
        {"cut inside the directory's text", whole.substr(0, 50), false, false, false, false, false, false,
         false},
        {"a larger layout's record cut inside this one",
         header(0x177d5753, 259, 4096) + whole.substr(12, 1100 - 12), true, true, true, true, false, false,
         false},
        // The file's length, not its size field, says which bytes are there.
        {"a size field shorter than the file", header(0x177d5753, 258, 1640) + whole.substr(12), true, true,
         true, true, true, true, true},
        {"a size field of 0", header(0x177d5753, 258, 0) + whole.substr(12), true, true, true, true, true,
         true, true},
        {"a size field of 1", header(0x177d5753, 258, 1) + whole.substr(12), true, true, true, true, true,
         true, true},
        {"a size field of 12", header(0x177d5753, 258, 12) + whole.substr(12), true, true, true, true, true,
         true, true},
        {"a size field of 13", header(0x177d5753, 258, 13) + whole.substr(12), true, true, true, true, true,
         true, true},
        {"a size field beyond the file", header(0x177d5753, 258, 4096) + whole.substr(12, 1640 - 12), true,
         true, true, true, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("Storage Card/zandrel.cnf", c.bytes);
        // Loaded, then saved at a boot start and loaded again: what was kept stays.
        for (int start = 0; start < 2; ++start) {
            MenuContext::destroyInstance();
            const Preferences& prefs = MenuContext::instance()->prefs;
            EXPECT_EQ(prefs.dir_user, c.directory ? 1u : 0u);
            EXPECT_EQ(MenuContext::instance()->dirDefaultIndex(), c.directory ? 13 : 0);
            if (c.directory) {
                EXPECT_EQ(std::u16string(prefs.dir_user_path), u"http://server/boot/");
            }
            EXPECT_EQ(prefs.kernel_user, c.kernel ? 1u : 0u);
            if (c.kernel) {
                EXPECT_EQ(std::u16string(prefs.kernel_name), u"kalmor");
            }
            EXPECT_EQ(prefs.rootfs, c.rootfs ? kRootMd : kRootWd);
            EXPECT_EQ(std::u16string(prefs.rootfs_file), c.rootfs_file ? u"root.img" : u"miniroot.fs");
            EXPECT_EQ(prefs.safety_message, c.safety ? 0u : 1u);
            EXPECT_EQ(prefs.serial_speed, c.speed ? 115200 : 19200);
            EXPECT_EQ(std::u16string(prefs.boot_extra), c.extra ? u"-x" : u"");
            EXPECT_EQ(prefs.pause_before_boot, 1u);
            EXPECT_EQ(prefs.version, 258u);
            EXPECT_EQ(prefs.size, 2152u);
            ASSERT_TRUE(MenuContext::instance()->save());
            EXPECT_EQ(readFile("Storage Card/zandrel.cnf").size(), 2152u);
        }
    }
}

TEST_F(SettingsFile, UnterminatedTextsAreCutInsideTheirFields) {
    std::string record = savedRecord();
    for (size_t i = 544; i < 1064; i += 2)
        record[i] = 'A'; // kernel_name without a terminator
    writeFile("Storage Card/zandrel.cnf", record);
    const Preferences& prefs = MenuContext::instance()->prefs;
    EXPECT_EQ(wideLength(prefs.kernel_name), 259u);
}

TEST_F(SettingsFile, AnInterruptedSaveLeavesAFileThatLoads) {
    // The old file was put away and the new one not yet in place.
    std::string record = savedRecord();
    std::filesystem::remove(root / "Storage Card/zandrel.cnf");
    writeFile("Storage Card/zandrel.cnf.new", record);
    EXPECT_EQ(MenuContext::instance()->prefs.serial_speed, 115200);
}

TEST_F(SettingsFile, NothingPersistsWithoutAStorageCard) {
    std::filesystem::remove_all(root / "Storage Card");
    MenuContext& menu = *MenuContext::instance();
    expectDefaults(menu.prefs);
    EXPECT_FALSE(menu.save());
}

TEST_F(SettingsFile, LivesOnTheFirstStorageCardTheSearchReports) {
    std::filesystem::create_directories(root / "CF Card");
    std::filesystem::create_directories(root / "A plain folder");
    sim::HandheldSettings settings;
    settings.root = root;
    settings.storage_cards = {u"Storage Card", u"CF Card"};
    device().reset(settings);
    ASSERT_TRUE(MenuContext::instance()->save());
    EXPECT_TRUE(std::filesystem::exists(root / "CF Card/zandrel.cnf"));
    EXPECT_FALSE(std::filesystem::exists(root / "Storage Card/zandrel.cnf"));
}

TEST_F(SettingsFile, TheUserDefinedDirectoryReplacesTheLastEntry) {
    MenuContext& menu = *MenuContext::instance();
    EXPECT_EQ(std::u16string(menu.dirEntry(13)), u"user defined");
    EXPECT_EQ(std::u16string(menu.dirEntry(7)), u"\\\uFF92\uFF93\uFF98 \uFF76\uFF70\uFF84\uFF9E\\");
    EXPECT_EQ(std::u16string(menu.dirEntry(12)), u"\\microSD\u30AB\u30FC\u30C9\\");
    EXPECT_EQ(menu.dirEntry(14), nullptr);
    EXPECT_EQ(menu.dirEntry(-1), nullptr);
    menu.prefs.dir_user = 1;
    wideCopy(menu.prefs.dir_user_path, 260, u"http://host/");
    EXPECT_EQ(std::u16string(menu.dirEntry(13)), u"http://host/");
    EXPECT_EQ(menu.dirDefaultIndex(), 13);
}

} // namespace
