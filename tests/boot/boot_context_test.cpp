#include "arch/arm/pxa2x0_architecture.h"
#include "arch/arm/sa1100_architecture.h"
#include "boot/boot_context.h"
#include "console/console.h"
#include "file/file_manager.h"
#include "memory/memory_manager_lock_pages.h"
#include "platform/wide_string.h"
#include "support/console_page_capture.h"
#include "support/simulated_device.h"
#include "ui/menu_context.h"

#include <gtest/gtest.h>

namespace {

class BootContextTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        menu = MenuContext::instance();
        page.attach(*menu);
    }
    void TearDown() override {
        menu->console_page = nullptr;
        SimulatedDevice::TearDown();
    }
    void choose(uint32_t cpu, uint32_t machine, const char16_t* directory = u"\\Storage Card\\") {
        menu->prefs.platform_cpu = cpu;
        menu->prefs.platform_machine = machine;
        wideCopy(menu->prefs.dir_user_path, 260, directory);
    }

    MenuContext* menu = nullptr;
    ConsolePageCapture page;
};

TEST_F(BootContextTest, ClassifiesTheMachineByItsProcessor) {
    struct Case {
        PlatformId id;
        uint32_t cpu_class;
    };
    const Case cases[] = {
        {{0x0C104000, 0x02C20301}, BootContext::kClassSA11x0}, // HP Jornada 820
        {{0x0C108000, 0x01C40201}, BootContext::kClassSA11x0}, // an SA1110 machine
        {{0x0C204000, 0x01C40301}, BootContext::kClassPXA250},
        {{0x0C208000, 0x01040100}, BootContext::kClassPXA270},
        {{0x0C200000, 0}, 0}, // generic XScale without a model
        {{0, 0}, 0},
    };
    for (const Case& c : cases) {
        ArmBootContext context;
        choose(c.id.cpu, c.id.machine);
        EXPECT_EQ(context.identifyPlatform(), c.cpu_class != 0) << std::hex << c.id.cpu;
        EXPECT_EQ(context.cpu_class, c.cpu_class);
    }
}

TEST_F(BootContextTest, ReadsTheSettingsAfresh) {
    struct Case {
        const char16_t* directory;
        int32_t file_kind;
    };
    const Case cases[] = {
        {u"http://server/kalmor/", BootContext::kHttp},
        {u"xx http://server/", BootContext::kHttp},
        {u"HTTP://SERVER/", BootContext::kHttp},
        {u"Http://server:8080/boot/", BootContext::kHttp},
        {u"2:/", BootContext::kUfsDisk},
        {u"/", BootContext::kUfsDisk},
        {u"\\Storage Card\\", BootContext::kLocalFiles},
    };
    for (const Case& c : cases) {
        ArmBootContext context;
        choose(0x0C108000, 0x02C20201, c.directory);
        ASSERT_TRUE(context.identifyPlatform());
        EXPECT_EQ(context.file_kind, c.file_kind) << utf16ToUtf8(c.directory);
        EXPECT_EQ(std::u16string(context.root_path), c.directory);
    }

    ArmBootContext context;
    wideCopy(menu->prefs.kernel_name, 260, u"kalmor");
    menu->prefs.boot_serial = 1;
    menu->prefs.rootfs = 1;
    ASSERT_TRUE(context.identifyPlatform());
    EXPECT_EQ(context.serial_console, 1);
    EXPECT_EQ(context.mem_method, BootContext::kLockPagesMethod);
    EXPECT_EQ(std::u16string(context.kernel_file), u"kalmor");
    EXPECT_EQ(context.has_image, 0);
    EXPECT_EQ(context.image_file[0], 0);

    menu->prefs.rootfs = 2;
    ASSERT_TRUE(context.identifyPlatform());
    EXPECT_EQ(context.has_image, 1);
    EXPECT_EQ(std::u16string(context.image_file), u"miniroot.fs");
}

TEST_F(BootContextTest, CreatesTheArchitectureOfTheClassAndTheLockPagesMemory) {
    ArmBootContext sa;
    choose(0x0C108000, 0x01C40201);
    ASSERT_TRUE(sa.identifyPlatform());
    ASSERT_TRUE(sa.createComponents());
    EXPECT_NE(dynamic_cast<SA1100Architecture*>(sa.architecture), nullptr);
    EXPECT_NE(dynamic_cast<MemoryManagerLockPages*>(sa.memory), nullptr);
    EXPECT_NE(sa.file_manager, nullptr);
    EXPECT_EQ(sa.console, Console::current());

    ArmBootContext pxa;
    choose(0x0C208000, 0x01040100);
    ASSERT_TRUE(pxa.identifyPlatform());
    ASSERT_TRUE(pxa.createComponents());
    EXPECT_NE(dynamic_cast<PXA2x0Architecture*>(pxa.architecture), nullptr);
}

TEST_F(BootContextTest, WithoutLockPagesNoComponentsAreMade) {
    device().hidden_exports = {u"UnlockPages"};
    ArmBootContext context;
    choose(0x0C108000, 0x01C40201);
    ASSERT_TRUE(context.identifyPlatform());
    EXPECT_FALSE(context.createComponents());
    EXPECT_NE(page.text().find("couldn't find LockPages/UnlockPages.\n"), std::string::npos);
    EXPECT_EQ(context.memory, nullptr);
}

TEST_F(BootContextTest, WithoutCoredllTheWarningBoxComesFirst) {
    device().coredll_present = false;
    ArmBootContext context;
    choose(0x0C108000, 0x01C40201);
    ASSERT_TRUE(context.identifyPlatform());
    EXPECT_FALSE(context.createComponents());
    ASSERT_FALSE(device().message_boxes.empty());
    EXPECT_EQ(device().message_boxes[0].text, u"Can't load coredll.dll.");
    EXPECT_EQ(device().message_boxes[0].caption, u"WARNING");
    EXPECT_NE(page.text().find("couldn't find LockPages/UnlockPages.\n"), std::string::npos);
}

TEST_F(BootContextTest, SerialConsoleWithoutAUsableUartFallsBackToTheScreen) {
    // The SA-11x0 UART console sets its port up through COM1, which this device lacks.
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3600"));
    ArmBootContext context;
    choose(0x0C108000, 0x01C40201);
    menu->prefs.boot_serial = 1;
    device().com1_present = false;
    ASSERT_TRUE(context.identifyPlatform());
    ASSERT_TRUE(context.createComponents());
    EXPECT_EQ(context.console, Console::current());
    EXPECT_EQ(context.console->kind(), Console::kScreen);
    EXPECT_NE(page.text().find("use LCD console instead.\n"), std::string::npos);
}

TEST_F(BootContextTest, AttachLoaderRefusesWhatIsNotElf) {
    writeFile("Storage Card/kalmor", "#!/bin/sh\necho not a kernel\n" + std::string(100, ' '));
    ArmBootContext context;
    choose(0x0C108000, 0x01C40201);
    ASSERT_TRUE(context.identifyPlatform());
    ASSERT_TRUE(context.createComponents());
    ASSERT_TRUE(context.file_manager->setRoot(u"\\Storage Card\\"));
    ASSERT_TRUE(context.file_manager->open(u"kalmor", 3));
    EXPECT_FALSE(context.attachLoader());
    EXPECT_EQ(context.loader, nullptr);
    EXPECT_NE(page.text().find("unknown file format.\n"), std::string::npos);
    context.file_manager->close();
}

TEST_F(BootContextTest, ANewAttemptGivesTheLastAttemptsPagesBackFirst) {
    // 16 MB of RAM: two regions of 6 MB fit in its upper half only one at a time.
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3100"));
    ArmBootContext context;
    choose(0x0C108000, 0x01C40101);
    ASSERT_TRUE(context.identifyPlatform());
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        ASSERT_TRUE(context.createComponents());
        ASSERT_TRUE(context.memory->init());
        ASSERT_TRUE(context.memory->reservePages(6 * 1024 * 1024));
        EXPECT_EQ(context.memory->mappedCount(), 6 * 256);
    }
}

} // namespace
