// Where the simulated machines keep their screens' pixels.
#include "sim/device_profile.h"
#include "sim/display_memory.h"

#include <gtest/gtest.h>

namespace {

const sim::DeviceProfile& profileNamed(const char16_t* name) {
    const sim::DeviceProfile* profile = sim::findDeviceProfile(name);
    EXPECT_NE(profile, nullptr);
    return *profile;
}

TEST(DisplayMemory, TheJornada7xxDrawsInItsVideoControllersMemory) {
    sim::DisplayMemory memory = sim::displayMemory(profileNamed(u"HP Jornada 720 (US/UK)"));
    EXPECT_FALSE(memory.in_ram);
    EXPECT_EQ(memory.address, 0x48200000u);
    EXPECT_EQ(memory.line_bytes, 1280u);
}

TEST(DisplayMemory, OtherMachinesDrawInFramesOfTheirFirstBankThatHoldTheWholeScreen) {
    for (const sim::DeviceProfile& profile : sim::deviceProfiles()) {
        sim::DisplayMemory memory = sim::displayMemory(profile);
        if (!memory.in_ram)
            continue;
        SCOPED_TRACE(
            std::string(profile.name, profile.name + std::char_traits<char16_t>::length(profile.name)));
        EXPECT_EQ(memory.address % 4096, 0u);
        EXPECT_GE(memory.address, profile.ram_base);
        EXPECT_EQ(memory.line_bytes * 8,
                  static_cast<uint32_t>(profile.screen_width * profile.bits_per_pixel));
        EXPECT_GT(memory.reserved_bytes, memory.line_bytes * static_cast<uint32_t>(profile.screen_height));
        EXPECT_LE(uint64_t{memory.address} + memory.reserved_bytes,
                  uint64_t{profile.ram_base} + profile.ram_size);
    }
}

} // namespace
