// Byte writes to the simulated boards' 32-bit registers change one byte of
// the word and keep the other three.
#include "sim/board_devices.h"
#include "sim/lcd_controllers.h"

#include <gtest/gtest.h>

namespace {

TEST(WordRegisters, AByteWriteChangesOnlyItsByteOfTheWord) {
    sim::Pxa2x0Gpio gpio;
    sim::Sa11x0LcdController lcd;
    struct Case {
        const char* what;
        sim::DeviceModel& device;
        uint32_t word_offset;
    };
    for (const Case& c : {Case{"GPIO GAFR1_L", gpio, sim::Pxa2x0Gpio::kGafr1L},
                          Case{"SA-11x0 LCCR1", lcd, sim::Sa11x0LcdController::kLccr1}}) {
        SCOPED_TRACE(c.what);
        for (uint32_t byte = 0; byte < 4; ++byte) {
            c.device.write32(c.word_offset, 0x11223344);
            c.device.write8(c.word_offset + byte, 0xA5);
            uint32_t expected = (0x11223344u & ~(0xFFu << (8 * byte))) | 0xA5u << (8 * byte);
            EXPECT_EQ(c.device.read32(c.word_offset), expected) << byte;
            EXPECT_EQ(c.device.read8(c.word_offset + byte), 0xA5) << byte;
        }
    }
}

} // namespace
