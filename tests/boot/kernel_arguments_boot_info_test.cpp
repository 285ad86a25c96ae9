#include "boot/boot_info.h"
#include "sim/device_profile.h"
#include "support/simulated_device.h"
#include "ui/menu_context.h"

#include <cstring>

namespace {

uint32_t word(const uint8_t* bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}
int16_t half(const uint8_t* bytes, size_t offset) {
    return static_cast<int16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

class BootInfoTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        menu = MenuContext::instance();
        ASSERT_NE(menu, nullptr);
    }
    void TearDown() override {
        useProfile(sim::defaultDeviceProfile());
        SimulatedDevice::TearDown();
    }

    // Fills a record for the device `name` and returns its bytes.
    const uint8_t* fill(const char16_t* name) {
        const sim::DeviceProfile& profile = *sim::findDeviceProfile(name);
        useProfile(profile);
        menu->prefs.platform_cpu = profile.cpu;
        menu->prefs.platform_machine = profile.machine;
        std::memset(&record, 0xFF, sizeof(record));
        menu->setupBootInfo(&record);
        return reinterpret_cast<const uint8_t*>(&record);
    }

    MenuContext* menu = nullptr;
    BootInfo record{};
};

TEST_F(BootInfoTest, RecordBytesForAJornada720) {
    device().timezone_bias = -540; // nine hours ahead of UTC
    device().daylight_in_effect = false;
    menu->prefs.reverse_video = 0;
    const uint8_t* bytes = fill(u"HP Jornada 720 (German)");

    EXPECT_EQ(half(bytes, 0), 36);
    EXPECT_EQ(half(bytes, 2), 0);
    EXPECT_EQ(word(bytes, 4), 0x13536135u);
    EXPECT_EQ(word(bytes, 8), 0x48200000u);
    EXPECT_EQ(half(bytes, 12), 1280);
    EXPECT_EQ(half(bytes, 14), 640);
    EXPECT_EQ(half(bytes, 16), 240);
    EXPECT_EQ(half(bytes, 18), 5);
    EXPECT_EQ(half(bytes, 20), 0); // the console kind is stored by the argument page
    EXPECT_EQ(half(bytes, 22), 0);
    EXPECT_EQ(word(bytes, 24), 0x0C108000u);
    EXPECT_EQ(word(bytes, 28), 0x02C20204u);
    EXPECT_EQ(static_cast<int32_t>(word(bytes, 32)), -540);
}

TEST_F(BootInfoTest, ReverseVideoChangesTheType) {
    menu->prefs.reverse_video = 1;
    EXPECT_EQ(half(fill(u"HP Jornada 720 (US/UK)"), 18), 6);
    EXPECT_EQ(half(fill(u"HP Jornada 820"), 18), 4);
    EXPECT_EQ(half(fill(u"Compaq iPAQ H3100"), 18), 8);
}

TEST_F(BootInfoTest, DaylightBiasIsAddedOnlyWhileInEffect) {
    device().timezone_bias = 300;
    device().daylight_bias = -60;
    device().daylight_in_effect = false;
    EXPECT_EQ(static_cast<int32_t>(word(fill(u"Compaq iPAQ H3600"), 32)), 300);
    device().daylight_in_effect = true;
    EXPECT_EQ(static_cast<int32_t>(word(fill(u"Compaq iPAQ H3600"), 32)), 240);
}

TEST_F(BootInfoTest, MachineMissingFromTheTableGetsTheDisplayGeometry) {
    const uint8_t* bytes = fill(u"Sharp W-ZERO3 (WS004SH)");
    EXPECT_EQ(word(bytes, 8), 0u);
    EXPECT_EQ(half(bytes, 12), 0);
    EXPECT_EQ(half(bytes, 14), 480);
    EXPECT_EQ(half(bytes, 16), 640);
    EXPECT_EQ(half(bytes, 18), 5);
    EXPECT_EQ(word(bytes, 24), 0x0C208000u);
    EXPECT_EQ(word(bytes, 28), 0x01040200u);
}

} // namespace
