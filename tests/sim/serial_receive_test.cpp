// The SA-11x0 serial port's receive side as a kernel sees it: the status bits
// and the interrupt it asks for while bytes come from the host's line.
#include "sim/board_devices.h"
#include "sim/handheld.h"
#include "sim/serial_input.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Port = sim::Sa1100SerialPort;

class Sa1100SerialReceive : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = sim::Handheld::get().serial_input;
        sim::Handheld::get().serial_input = &input;
        port.write32(Port::kUtcr3,
                     Port::kUtcr3ReceiveEnable | Port::kUtcr3TransmitEnable | Port::kUtcr3ReceiveInterrupt);
    }
    void TearDown() override { sim::Handheld::get().serial_input = previous_; }

    bool idle() { return (port.read32(Port::kUtsr0) & Port::kUtsr0ReceiverIdle) != 0; }
    void answerIdle() { port.write32(Port::kUtsr0, Port::kUtsr0ReceiverIdle); }

    sim::SerialInput input;
    Port port;

  private:
    sim::SerialInput* previous_ = nullptr;
};

// Receiver idle stays set once bytes came, the FIFO emptied or not, until the
// kernel writes a one to it; the port's interrupt follows it, so a kernel that
// never answers it keeps being interrupted, as on the chip.
TEST_F(Sa1100SerialReceive, ReceiverIdleStaysUntilTheKernelAnswersIt) {
    EXPECT_FALSE(idle());
    EXPECT_FALSE(port.interruptPending());

    input.push("ab");
    EXPECT_TRUE(idle());
    EXPECT_TRUE(port.interruptPending());
    EXPECT_EQ(port.read32(Port::kUtdr), uint32_t{'a'});
    EXPECT_EQ(port.read32(Port::kUtdr), uint32_t{'b'});
    EXPECT_EQ(port.read32(Port::kUtsr1) & Port::kUtsr1ReceiveNotEmpty, 0u);
    EXPECT_TRUE(idle()) << "the FIFO is empty, but nothing answered the bit";
    EXPECT_TRUE(port.interruptPending());

    // Writing a zero there changes nothing; a one answers it.
    port.write32(Port::kUtsr0, 0);
    EXPECT_TRUE(idle());
    answerIdle();
    EXPECT_FALSE(idle());
    EXPECT_FALSE(port.interruptPending());

    // Answered while bytes still wait, it comes back for them.
    input.push("c");
    answerIdle();
    EXPECT_TRUE(idle());
    EXPECT_TRUE(port.interruptPending());
}

// Four bytes or more in the FIFO ask for service as well; the receive
// interrupt disabled, nothing is asked for whatever the status says.
TEST_F(Sa1100SerialReceive, AFullerFifoAsksForServiceAndTheInterruptNeedsItsEnable) {
    input.push("1234");
    EXPECT_NE(port.read32(Port::kUtsr0) & Port::kUtsr0ReceiveService, 0u);
    answerIdle();
    EXPECT_TRUE(port.interruptPending()) << "the FIFO still asks for service";

    port.write32(Port::kUtcr3, Port::kUtcr3ReceiveEnable | Port::kUtcr3TransmitEnable);
    EXPECT_TRUE(idle());
    EXPECT_FALSE(port.interruptPending());
}

} // namespace

namespace {

// Only the UART on the serial cable (the PXA2x0's FFUART) hears the host's
// line and talks to it; the Bluetooth and standard UARTs are wired elsewhere.
TEST(Pxa2x0UartHostLine, OnlyTheUartOnTheCableReceivesAndSendsToTheHost) {
    using Uart = sim::Pxa2x0Uart;
    sim::SerialInput input;
    std::string output;
    sim::Handheld& device = sim::Handheld::get();
    sim::SerialInput* previous_input = device.serial_input;
    auto previous_output = device.serial_output;
    device.serial_input = &input;
    device.serial_output = [&output](const char* bytes, size_t count) { output.append(bytes, count); };
    input.push("x");
    for (bool on_cable : {true, false}) {
        SCOPED_TRACE(on_cable ? "FFUART" : "BTUART");
        Uart uart(on_cable);
        uart.write32(Uart::kIer, Uart::kIerUnitEnable | Uart::kIerReceiveInterrupt);
        EXPECT_EQ((uart.read32(Uart::kLsr) & Uart::kLsrDataReady) != 0, on_cable);
        EXPECT_EQ(uart.interruptPending(), on_cable);
        output.clear();
        uart.write32(Uart::kThr, 'y');
        EXPECT_EQ(output, on_cable ? "y" : "");
        EXPECT_EQ(uart.transmitted(), "y");
    }
    EXPECT_EQ(input.available(), 1u) << "nothing took the byte";
    device.serial_input = previous_input;
    device.serial_output = previous_output;
}

} // namespace
