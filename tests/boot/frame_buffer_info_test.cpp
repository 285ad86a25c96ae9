#include "boot/frame_buffer_info.h"
#include "platform/wide_string.h"
#include "sim/device_profile.h"
#include "support/simulated_device.h"

#include <string>

namespace {

class FrameBufferInfoTest : public SimulatedDevice {
  protected:
    // The device `name` with its display at `bpp` (0: as the model has it).
    void useDevice(const char16_t* name, int bpp = 0) {
        profile = *sim::findDeviceProfile(name);
        if (bpp != 0)
            profile.bits_per_pixel = bpp;
        useProfile(profile);
    }
    void TearDown() override {
        useProfile(sim::defaultDeviceProfile());
        SimulatedDevice::TearDown();
    }

    sim::DeviceProfile profile{};
};

TEST_F(FrameBufferInfoTest, ChoosesTheRowForTheMachineAndTheDisplayDepth) {
    const struct {
        const char16_t* machine;
        int display_bpp;
        uint32_t bpp, width, height, line_bytes, addr;
    } cases[] = {
        // A Jornada 720 variant takes the 7XX family row.
        {u"HP Jornada 720 (European)", 0, 16, 640, 240, 1280, 0x48200000},
        {u"HP Jornada 720 (Japanese)", 0, 16, 640, 240, 1280, 0x48200000},
        {u"Compaq iPAQ H3600", 0, 16, 320, 240, 640, 0},
        {u"Compaq iPAQ H3900", 0, 16, 320, 240, 640, 0},
        {u"HP Jornada 820 (Japanese)", 0, 8, 640, 480, 0, 0},
        // No row with the display's depth: the machine's row all the same.
        {u"HP Jornada 820", 16, 8, 640, 480, 0, 0},
        {u"HP Jornada 720 (US/UK)", 8, 16, 640, 240, 1280, 0x48200000},
        // Machines missing from the table: the display itself.
        {u"Compaq iPAQ H3100", 0, 4, 240, 320, 0, 0},
        {u"Compaq iPAQ H3660", 0, 16, 240, 320, 0, 0},
        {u"Sharp Advanced/W-ZERO3[es] (WS011SH)", 0, 16, 480, 800, 0, 0},
    };
    for (const auto& c : cases) {
        useDevice(c.machine, c.display_bpp);
        FrameBufferInfo info(PlatformId{profile.cpu, profile.machine});
        SCOPED_TRACE(utf16ToUtf8(c.machine) + " at " + std::to_string(profile.bits_per_pixel) + " bpp");
        EXPECT_EQ(info.bpp(), c.bpp);
        EXPECT_EQ(info.width(), c.width);
        EXPECT_EQ(info.height(), c.height);
        EXPECT_EQ(info.lineBytes(), c.line_bytes);
        EXPECT_EQ(info.addr(), c.addr);
    }
}

TEST_F(FrameBufferInfoTest, UnknownMachineTakesTheDisplayDepth) {
    useDevice(u"Compaq iPAQ H3100", 2);
    FrameBufferInfo info(PlatformId{0x0C108000, 0x01C40101});
    EXPECT_EQ(info.bpp(), 2u);
    EXPECT_EQ(info.fbType(false), 2);
}

TEST_F(FrameBufferInfoTest, TableEndsWithAZeroRowAfterTheFiveMachines) {
    int rows = 0;
    while (fb_table[rows].cpu != 0)
        ++rows;
    EXPECT_EQ(rows, 5);
}

TEST(FrameBufferType, ByDepthAndReverseVideo) {
    const struct {
        uint32_t bpp;
        int normal;
        int reversed;
    } cases[] = {{4, 10, 8}, {8, 3, 4}, {16, 5, 6}, {1, 2, 0}, {2, 2, 0}, {15, 2, 0}, {24, 2, 0}, {32, 2, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(FrameBufferInfo::fbTypeOf(c.bpp, false), c.normal) << c.bpp << " bpp";
        EXPECT_EQ(FrameBufferInfo::fbTypeOf(c.bpp, true), c.reversed) << c.bpp << " bpp reversed";
    }
}

} // namespace
