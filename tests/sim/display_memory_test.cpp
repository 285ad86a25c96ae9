// Where the simulated machines keep their screens' pixels, and in what shape.
#include "boot/frame_buffer_info.h"
#include "platform/wide_string.h"
#include "sim/device_profile.h"
#include "sim/display_memory.h"
#include "support/kernel_boot.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayMemory, TheJornada7xxDrawsInItsVideoControllersMemory) {
    sim::DisplayMemory memory = sim::displayMemory(profileNamed(u"HP Jornada 720 (US/UK)"));
    EXPECT_FALSE(memory.in_ram);
    EXPECT_EQ(memory.address, 0x48200000u);
    EXPECT_EQ(memory.line_bytes, 1280u);
    EXPECT_EQ(memory.width, 640);
    EXPECT_EQ(memory.height, 240);
}

TEST(DisplayMemory, OtherMachinesDrawInFramesOfTheirFirstBankThatHoldTheWholeScreen) {
    for (const sim::DeviceProfile& profile : sim::deviceProfiles()) {
        sim::DisplayMemory memory = sim::displayMemory(profile);
        if (!memory.in_ram)
            continue;
        SCOPED_TRACE(utf16ToUtf8(profile.name));
        // The controller's frame (palette, descriptors) comes first, the pixel lines after it.
        EXPECT_EQ(memory.reserved_base % 4096, 0u);
        EXPECT_EQ(memory.address, memory.reserved_base + 4096);
        EXPECT_GE(memory.reserved_base, profile.ram_base);
        EXPECT_EQ(memory.line_bytes * 8, static_cast<uint32_t>(memory.width * memory.bits_per_pixel));
        EXPECT_GE(uint64_t{memory.reserved_base} + memory.reserved_bytes,
                  uint64_t{memory.address} + memory.line_bytes * static_cast<uint32_t>(memory.height));
        EXPECT_LE(uint64_t{memory.reserved_base} + memory.reserved_bytes,
                  uint64_t{profile.ram_base} + profile.ram_size);
        // The screen Windows CE shows, turned or not.
        EXPECT_EQ(memory.width * memory.height, profile.screen_width * profile.screen_height);
        EXPECT_EQ(memory.bits_per_pixel, profile.bits_per_pixel);
    }
}

// The frame buffer the kernel is told about, where the machine has a row of
// its own in the table, is the one the controller scans: the iPAQs' 320x240.
TEST(DisplayMemory, AMachineWithAFrameBufferRowScansWhatTheRowSays) {
    int rows_seen = 0;
    for (const sim::DeviceProfile& profile : sim::deviceProfiles()) {
        for (const FrameBufferDescription* row = fb_table; row->cpu != 0; ++row) {
            if (row->cpu != profile.cpu || row->machine != profile.machine)
                continue;
            SCOPED_TRACE(utf16ToUtf8(profile.name));
            ++rows_seen;
            sim::DisplayMemory memory = sim::displayMemory(profile);
            EXPECT_EQ(static_cast<uint32_t>(memory.width), row->width);
            EXPECT_EQ(static_cast<uint32_t>(memory.height), row->height);
            EXPECT_EQ(static_cast<uint32_t>(memory.bits_per_pixel), row->bpp);
            if (row->line_bytes != 0) {
                EXPECT_EQ(memory.line_bytes, row->line_bytes);
            }
            if (row->addr != 0) {
                EXPECT_EQ(memory.address, row->addr);
            }
        }
    }
    EXPECT_EQ(rows_seen, 4); // HP Jornada 820 (two), iPAQ H3600 and H3900: the 7XX row has submodel 0
}

} // namespace
