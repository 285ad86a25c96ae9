// The hardware UART consoles against the simulated boards' serial devices.
#include "boot/boot_context.h"
#include "console/uart_console.h"
#include "memory/memory_manager.h"
#include "platform/wide_string.h"
#include "sim/board_devices.h"
#include "sim/process_memory.h"
#include "support/kernel_boot.h"
#include "support/recording_console.h"
#include "ui/menu_context.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <limits>

namespace {

// Maps device registers; the tests need no pages.
class RegisterMapper : public MemoryManager {
  public:
    explicit RegisterMapper(Console** console) : MemoryManager(console, 4096) {}
    uint32_t searchPage(uint8_t*) override { return kNotFound; }
};

class UartConsoleTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        UartConsole::destroyInstance();
        menu = MenuContext::instance();
        page.attach(*menu);
        device().serial_output = [this](const char* bytes, size_t count) { serial.append(bytes, count); };
        memory = new RegisterMapper(&console);
    }
    void TearDown() override {
        UartConsole::destroyInstance();
        delete memory;
        memory = nullptr;
        menu->console_page = nullptr;
        SimulatedDevice::TearDown();
    }
    UartConsole* make(const char16_t* machine) {
        const sim::DeviceProfile& profile = profileNamed(machine);
        useProfile(profile);
        return UartConsole::instance(&memory, sim::isXScale(profile.processor) ? profile.cpu
                                                                               : BootContext::kClassSA11x0);
    }

    MenuContext* menu = nullptr;
    ConsolePageCapture page;
    RecordingConsole recording;
    Console* console = &recording;
    MemoryManager* memory = nullptr;
    std::string serial;
};

constexpr char16_t kPxa[] = u"Sharp W-ZERO3 (WS003SH)";
constexpr char16_t kSa[] = u"HP Jornada 720 (US/UK)";

TEST_F(UartConsoleTest, PxaProgramsTheUartInOrderWithTheDivisorForTheSpeed) {
    const std::pair<int32_t, uint32_t> speeds[] = {{9600, 96},  {19200, 48}, {38400, 24}, {57600, 16},
                                                   {115200, 8}, {4800, 96},  {230400, 96}};
    for (const auto& [speed, divisor] : speeds) {
        SCOPED_TRACE(speed);
        UartConsole::destroyInstance();
        UartConsole* uart = make(kPxa);
        ASSERT_NE(uart, nullptr);
        auto* gpio = sim::boardDevice<sim::Pxa2x0Gpio>(sim::kPxa2x0GpioBase);
        gpio->write32(sim::Pxa2x0Gpio::kGafr1L, 0x00000003);
        menu->prefs.serial_speed = speed;
        ASSERT_TRUE(uart->open());
        EXPECT_EQ(uart->kind(), Console::kSerial);
        EXPECT_EQ(gpio->read32(sim::Pxa2x0Gpio::kGafr1L), 0x000000F3u);
        auto* ffuart = sim::boardDevice<sim::Pxa2x0Uart>(sim::kPxa2x0FfuartBase);
        const std::vector<sim::RegisterWrite> expected = {
            {0x0C, 0x80}, {0x00, divisor}, {0x04, 0}, {0x0C, 0x03}, {0x10, 0x03}, {0x08, 0}, {0x04, 0x40}};
        EXPECT_EQ(ffuart->writes(), expected);
        EXPECT_EQ(ffuart->divisor(), divisor);
        EXPECT_EQ(PXA2x0UartConsole::divisorFor(speed), divisor);
    }
}

TEST_F(UartConsoleTest, PxaSendsACarriageReturnBeforeEachLineFeedAndReadsIirAfterEachByte) {
    UartConsole* uart = make(kPxa);
    ASSERT_TRUE(uart->open());
    auto* ffuart = sim::boardDevice<sim::Pxa2x0Uart>(sim::kPxa2x0FfuartBase);
    ffuart->busy_status_reads = 5;
    uart->print(u"A\nB%d", 7);
    EXPECT_EQ(ffuart->transmitted(), "A\r\nB7");
    EXPECT_EQ(serial, "A\r\nB7");
    EXPECT_EQ(ffuart->iir_reads, 5);
    // Each byte waited for the transmitter before and after; the busy reads came first.
    EXPECT_EQ(ffuart->status_reads, 5 + 2 * 5);
}

TEST_F(UartConsoleTest, SaOpensComOneThenWritesTheDataRegisterWhenTheTransmitterIsFree) {
    UartConsole* uart = make(kSa);
    ASSERT_NE(uart, nullptr);
    menu->prefs.serial_speed = 38400;
    ASSERT_TRUE(uart->open());
    EXPECT_EQ(device().com1_state.BaudRate, 38400u);
    EXPECT_EQ(serial, "\r\n--------ZANDREL--------\r\n" + std::string(1, '\0'));
    serial.clear();
    auto* port = sim::boardDevice<sim::Sa1100SerialPort>(sim::kSa1100SerialBase);
    port->busy_status_reads = 3;
    uart->print(u"x\ny\n");
    EXPECT_EQ(serial, "x\r\ny\r\n");
    EXPECT_EQ(port->status_reads, 3 + 6);
    EXPECT_EQ(port->writes().size(), 6u);
}

// A UART held busy for good (a machine picked that is not the device): the
// console's output ends with a message on the screen, the wait is bounded and
// made once, and the next open starts afresh.
TEST_F(UartConsoleTest, AUartThatNeverBecomesReadyEndsTheOutputWithAMessage) {
    struct Case {
        const char16_t* machine;
        uint32_t registers;
    };
    for (const Case& c : {Case{kPxa, sim::kPxa2x0FfuartBase}, Case{kSa, sim::kSa1100SerialBase}}) {
        SCOPED_TRACE(utf16ToUtf8(c.machine));
        UartConsole::destroyInstance();
        page.box.clear();
        UartConsole* uart = make(c.machine);
        ASSERT_TRUE(uart->open());
        serial.clear();
        auto* line = sim::boardDevice<sim::SerialDevice>(c.registers);
        ASSERT_NE(line, nullptr);
        line->busy_status_reads = std::numeric_limits<int>::max();
        line->status_reads = 0;
        uart->print(u"first\nline\n");
        uart->print(u"second\n");
        EXPECT_EQ(serial, "");
        EXPECT_EQ(line->status_reads, static_cast<int>(UartConsole::kReadyPolls))
            << "one bounded wait in all";
        char message[96];
        std::snprintf(message, sizeof message,
                      "UART at 0x%08x does not become ready: no more output on the serial console\n",
                      c.registers);
        std::string shown = page.text();
        EXPECT_NE(shown.find(message), std::string::npos) << shown;
        EXPECT_EQ(shown.find(message), shown.rfind(message)) << "said once: " << shown;

        line->busy_status_reads = 0;
        ASSERT_TRUE(uart->open());
        serial.clear();
        uart->print(u"again\n");
        EXPECT_EQ(serial, "again\r\n");
    }
}

TEST_F(UartConsoleTest, SaWithoutComOneIsNotOpened) {
    device().com1_present = false;
    UartConsole* uart = make(kSa);
    size_t regions = sim::ProcessMemory::get().regionCount();
    EXPECT_FALSE(uart->open());
    EXPECT_EQ(sim::ProcessMemory::get().regionCount(), regions);
    EXPECT_NE(page.text().find("couldn't open COM1\n"), std::string::npos);
}

TEST_F(UartConsoleTest, OneInstanceForTheProcessAndNoneForOtherClasses) {
    EXPECT_EQ(UartConsole::instance(&memory, 0x0C200000), nullptr);
    EXPECT_EQ(UartConsole::instance(&memory, 0), nullptr);
    UartConsole* first = UartConsole::instance(&memory, BootContext::kClassSA11x0);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(dynamic_cast<SA1100UartConsole*>(first), nullptr);
    EXPECT_EQ(UartConsole::instance(&memory, BootContext::kClassPXA270), first);
    EXPECT_EQ(uartConsoleInstance(&memory, 0), first);
    UartConsole::destroyInstance();
    EXPECT_NE(dynamic_cast<PXA2x0UartConsole*>(UartConsole::instance(&memory, BootContext::kClassPXA250)),
              nullptr);
}

TEST_F(UartConsoleTest, RegistersThatCannotBeMappedLeaveTheConsoleClosed) {
    struct Case {
        const char16_t* machine;
        uint32_t absent;
    };
    for (const Case& c : {Case{kPxa, 0x40100000}, Case{kPxa, 0x40E00000}, Case{kSa, 0x80050000}}) {
        SCOPED_TRACE(c.absent);
        UartConsole::destroyInstance();
        recording.output.clear();
        UartConsole* uart = make(c.machine);
        device().memory.absent_ranges = {{c.absent, 0x1000}};
        size_t regions = sim::ProcessMemory::get().regionCount();
        EXPECT_FALSE(uart->open());
        char text[64];
        std::snprintf(text, sizeof text, "can't map physical address 0x%08x\n", c.absent);
        EXPECT_NE(recording.text().find(text), std::string::npos) << recording.text();
        UartConsole::destroyInstance();
        EXPECT_LE(sim::ProcessMemory::get().regionCount(), regions);
    }
}

TEST_F(UartConsoleTest, DestroyingTheConsoleReleasesItsRegisters) {
    size_t regions = sim::ProcessMemory::get().regionCount();
    UartConsole* uart = make(kPxa);
    ASSERT_TRUE(uart->open());
    ASSERT_TRUE(uart->open()); // opened again: the earlier mapping goes first
    EXPECT_EQ(sim::ProcessMemory::get().regionCount(), regions + 1);
    Console::setCurrent(uart);
    UartConsole::destroyInstance();
    EXPECT_EQ(sim::ProcessMemory::get().regionCount(), regions);
    // The registry no longer hands out the deleted console.
    EXPECT_EQ(Console::current()->kind(), Console::kScreen);
}

} // namespace
