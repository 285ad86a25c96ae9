#include "console/console.h"
#include "console/console_page_output.h"
#include "platform/wide_string.h"
#include "support/console_page_capture.h"
#include "support/simulated_device.h"
#include "ui/menu_context.h"

#include <gtest/gtest.h>

namespace {

class ConsoleTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        menu = MenuContext::instance();
        output = &page.output;
        page.attach(*menu);
        device().serial_output = [this](const char* bytes, size_t count) { serial.append(bytes, count); };
    }
    void TearDown() override {
        menu->console_page = nullptr;
        SimulatedDevice::TearDown();
    }

    MenuContext* menu = nullptr;
    ConsolePageCapture page;
    ConsolePageOutput* output = nullptr;
    std::string serial;
};

TEST_F(ConsoleTest, ScreenConsoleShowsLinesWithACarriageReturnBeforeEachLineFeed) {
    Console::current()->print(u"two\nlines %d\n", 2);
    EXPECT_EQ(page.box, u"two\r\nlines 2\r\n");
    EXPECT_EQ(Console::current()->kind(), Console::kScreen);
}

TEST_F(ConsoleTest, TextIsDroppedBeforeTheConsolePageExists) {
    menu->console_page = nullptr;
    Console::current()->print(u"lost\n");
    page.attach(*menu);
    Console::current()->print(u"kept\n");
    EXPECT_EQ(page.box, u"kept\r\n");
}

TEST_F(ConsoleTest, ALongMessageLosesItsMiddleAndKeepsItsReasonAndLineEnd) {
    const std::u16string name(300, u'L');
    Console::current()->print(u"can't open \"%s\". cause = %d\n", name.c_str(), 2);
    const std::u16string whole = u"can't open \"" + name + u"\". cause = 2\n";
    // 128 characters of the start, "...", the last 124: the buffer's 255.
    std::u16string shown = whole.substr(0, 128) + u"..." + whole.substr(whole.size() - 124);
    shown.insert(shown.size() - 1, u"\r");
    EXPECT_EQ(page.box, shown);

    page.box.clear();
    const std::u16string fits = std::u16string(254, u'x') + u"\n";
    Console::current()->print(u"%s", fits.c_str());
    EXPECT_EQ(page.box, std::u16string(254, u'x') + u"\r\n") << "255 characters are not shortened";
}

TEST_F(ConsoleTest, LogFileGetsSevenBitBytesWithoutCarriageReturnsAndNothingOnScreen) {
    output->setSaveToFile(true);
    Console::current()->print(u"first\nsecond \u00e9\n");
    EXPECT_EQ(page.box, u"log file is \\Storage Card\\bootlog.txt\r\n");
    EXPECT_EQ(readFile("Storage Card/bootlog.txt"), "first\nsecond i\n"); // U+00E9 & 0x7F = 'i'
    Console::current()->print(u"third\n");
    EXPECT_EQ(readFile("Storage Card/bootlog.txt"), "first\nsecond i\nthird\n");
    EXPECT_EQ(page.box, u"log file is \\Storage Card\\bootlog.txt\r\n");
}

TEST_F(ConsoleTest, WithoutAStorageCardSaveToFileSwitchesItselfOff) {
    std::filesystem::remove_all(root / "Storage Card");
    output->setSaveToFile(true);
    Console::current()->print(u"message\n");
    EXPECT_EQ(page.box, u"couldn't find temporary directory.\r\nmessage\r\n");
    EXPECT_FALSE(output->saveToFile());
    EXPECT_EQ(page.switched_off, 1);
}

TEST_F(ConsoleTest, ALogFileThatCannotBeCreatedSwitchesOffSilently) {
    page.file_name = u"no such folder\\bootlog.txt";
    output->setSaveToFile(true);
    Console::current()->print(u"message\n");
    EXPECT_EQ(page.box, u"message\r\n");
    EXPECT_EQ(page.switched_off, 1);
}

TEST_F(ConsoleTest, ComPortOpensOnceWithItsBannerAtTheChosenSpeed) {
    menu->prefs.serial_speed = 115200;
    ce::HANDLE first = openComPort();
    ASSERT_NE(first, ce::INVALID_HANDLE_VALUE);
    EXPECT_EQ(openComPort(), first);
    EXPECT_EQ(device().com1_opens, 1);
    EXPECT_EQ(serial, std::string("\r\n--------ZANDREL--------\r\n\0", 28));
    EXPECT_EQ(device().com1_state.BaudRate, 115200u);
    EXPECT_EQ(device().com1_state.ByteSize, 8); // other settings as the driver had them
}

TEST_F(ConsoleTest, ComPortThatCannotBeConfiguredIsClosedAndTriedAgainLater) {
    menu->prefs.serial_speed = 12345; // the driver refuses it
    EXPECT_EQ(openComPort(), ce::INVALID_HANDLE_VALUE);
    EXPECT_TRUE(serial.empty());
    menu->prefs.serial_speed = 19200;
    EXPECT_NE(openComPort(), ce::INVALID_HANDLE_VALUE);
    EXPECT_EQ(device().com1_opens, 2);
}

TEST_F(ConsoleTest, ComPortConsoleWritesBytesWithCarriageReturnsAndReportsOnScreen) {
    ComPortConsole console;
    EXPECT_EQ(console.kind(), Console::kSerial);
    ASSERT_TRUE(console.open());
    EXPECT_EQ(page.box, u"BaudRate 19200, ByteSize 0x8, Parity 0, StopBits 0\r\n");
    serial.clear();
    console.print(u"a\nb");
    EXPECT_EQ(serial, "a\r\nb");
}

TEST_F(ConsoleTest, ComPortConsoleWithoutCom1FallsBackToTheScreenMessage) {
    device().com1_present = false;
    ComPortConsole console;
    EXPECT_FALSE(console.open());
    EXPECT_EQ(page.box, u"couldn't open COM1\r\n");
}

TEST_F(ConsoleTest, ComPortConsoleShortensMessagesTooLongForItsByteBuffer) {
    ComPortConsole console;
    ASSERT_TRUE(console.open());
    serial.clear();
    // Katakana take two bytes each in code page 932: 128 of them and the terminator do not fit 256 bytes.
    useProfile(*sim::findDeviceProfile(u"HP Jornada 720 (Japanese)"));
    console.print(u"%s", std::u16string(127, u'\u30AB').c_str());
    EXPECT_EQ(serial.size(), 254u) << "127 fit as they are";
    serial.clear();
    console.print(u"%s: no such file\n", std::u16string(200, u'\u30AB').c_str());
    // 60 characters of the start, "...", the last 64.
    EXPECT_EQ(serial.size(), 60 * 2 + 3 + 49 * 2 + std::string(": no such file\r\n").size());
    EXPECT_NE(serial.find("..."), std::string::npos);
    EXPECT_TRUE(serial.ends_with("\x83\x4A: no such file\r\n")) << serial;
}

TEST_F(ConsoleTest, DebugPrintSendsOnlyTextThatHasCharacters) {
    EXPECT_EQ(debugPrint(u"%S", ""), 0);
    EXPECT_TRUE(device().debug_log.empty());
    EXPECT_EQ(debugPrint(u"disk %d\n", 1), 7);
    EXPECT_EQ(device().debug_log, u"disk 1\n");
}

TEST_F(ConsoleTest, RegistryOwnsOnlyTheScreenConsoleItMade) {
    Console* screen = Console::current();
    EXPECT_EQ(Console::current(), screen);
    ComPortConsole serial_console;
    Console::setCurrent(&serial_console);
    EXPECT_EQ(Console::current(), &serial_console);
    Console::releaseCurrent(); // deletes the screen console, leaves the installed one alone
    EXPECT_EQ(Console::current(), &serial_console);
    Console::setCurrent(nullptr);
    EXPECT_NE(Console::current(), &serial_console);
}

} // namespace
