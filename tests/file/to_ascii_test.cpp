#include "file/fat_file_manager.h"
#include "sim/device_profile.h"
#include "support/recording_console.h"
#include "support/simulated_device.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

class ToAsciiTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        useProfile(*sim::findDeviceProfile(u"HP Jornada 720 (US/UK)"));
        console.output.clear();
    }

    // Converts into a buffer of exactly `capacity` bytes followed by guard bytes.
    bool convert(const char16_t* name, uint32_t capacity, std::string& result) {
        std::vector<char> buffer(capacity + 8, '\x5A');
        bool ok = files.toAscii(buffer.data(), name, capacity);
        for (size_t i = capacity; i < buffer.size(); ++i)
            EXPECT_EQ(buffer[i], '\x5A') << "written past the capacity at " << i;
        if (ok)
            result.assign(buffer.data(), strnlen(buffer.data(), capacity));
        return ok;
    }

    RecordingConsole console;
    Console* slot = &console;
    FatFileManager files{&slot};
};

TEST_F(ToAsciiTest, NameNeedingCapacityLessOneConvertsOneMoreFails) {
    std::string result;
    ASSERT_TRUE(convert(u"kalmor.gz", 10, result));
    EXPECT_EQ(result, "kalmor.gz");
    EXPECT_EQ(console.text(), "");

    EXPECT_FALSE(convert(u"kalmor.gz", 9, result));
    EXPECT_EQ(console.text(), "buffer insufficeint. 10 > 9\n");
}

TEST_F(ToAsciiTest, JapaneseModelConvertsKatakanaToShiftJisBytes) {
    useProfile(*sim::findDeviceProfile(u"HP Jornada 720 (Japanese)"));
    std::string result;
    ASSERT_TRUE(convert(u"\uFF92\uFF93\uFF98 \uFF76\uFF70\uFF84\uFF9E/\u30AB\u30FC\u30C9", 16, result));
    EXPECT_EQ(result, "\xD2\xD3\xD8 \xB6\xB0\xC4\xDE/\x83\x4A\x81\x5B\x83\x68");

    // The capacity counts bytes, not characters: three full-width characters need six.
    ASSERT_TRUE(convert(u"\u30AB\u30FC\u30C9", 7, result));
    EXPECT_EQ(result, "\x83\x4A\x81\x5B\x83\x68");
    console.output.clear();
    EXPECT_FALSE(convert(u"\u30AB\u30FC\u30C9", 6, result));
    EXPECT_EQ(console.text(), "buffer insufficeint. 7 > 6\n");
}

TEST_F(ToAsciiTest, EmptyNameConvertsToEmptyText) {
    std::string result = "x";
    ASSERT_TRUE(convert(u"", 1, result));
    EXPECT_EQ(result, "");
    EXPECT_FALSE(convert(u"", 0, result));
    EXPECT_EQ(console.text(), "buffer insufficeint. 1 > 0\n");
}

TEST_F(ToAsciiTest, RefusedConversionIsReported) {
    sim::DeviceProfile unknown_code_page = *sim::findDeviceProfile(u"HP Jornada 720 (US/UK)");
    unknown_code_page.code_page = 99999;
    useProfile(unknown_code_page);
    std::string result;
    EXPECT_FALSE(convert(u"kalmor", 64, result));
    EXPECT_EQ(console.text(), "can't convert to ASCII.\n");
    useProfile(sim::defaultDeviceProfile());
}

} // namespace
