#include "boot/boot_info.h"
#include "platform/wide_string.h"
#include "sim/device_profile.h"
#include "support/simulated_device.h"
#include "ui/menu_context.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kPagePaddr = 0xC1234000;
constexpr uint32_t kRoom = 4096 - 16 - argument_page::kVector;

void setWide(char16_t* field, size_t capacity, const std::u16string& text) {
    wideCopy(field, capacity, text.c_str());
}

class KernelArgumentsTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        useProfile(*sim::findDeviceProfile(u"HP Jornada 720 (US/UK)"));
        menu = MenuContext::instance();
        ASSERT_NE(menu, nullptr);
        Preferences& prefs = menu->prefs;
        prefs.boot_serial = prefs.boot_verbose = prefs.boot_single = prefs.boot_ask_name =
            prefs.boot_debugger = 0;
        prefs.rootfs = kRootWd;
        setWide(prefs.kernel_name, 260, u"kalmor.gz");
        setWide(prefs.rootfs_file, 260, u"miniroot.fs");
        setWide(prefs.boot_extra, 256, u"");
        std::memset(page, 0xAA, sizeof(page));
    }

    // Builds the vector in `page` as the argument page does, with `room` from the vector on.
    uint32_t build(uint32_t room = kRoom) {
        argc = menu->setupKernelArgs(reinterpret_cast<uint32_t*>(page + argument_page::kVector),
                                     kPagePaddr + argument_page::kVector, room);
        return argc;
    }

    // The strings the vector points at, followed through their physical addresses.
    std::vector<std::string> arguments() const {
        std::vector<std::string> result;
        for (uint32_t i = 0; i < argc; ++i) {
            uint32_t paddr;
            std::memcpy(&paddr, page + argument_page::kVector + 4 * i, 4);
            uint32_t offset = paddr - kPagePaddr;
            EXPECT_GE(offset, argument_page::kStrings);
            EXPECT_LT(offset, sizeof(page));
            if (offset >= sizeof(page))
                break;
            result.emplace_back(reinterpret_cast<const char*>(page + offset),
                                strnlen(reinterpret_cast<const char*>(page + offset), sizeof(page) - offset));
        }
        return result;
    }

    // Offset just past the last zero byte the strings use.
    uint32_t stringsEnd() const {
        uint32_t end = argument_page::kStrings;
        for (uint32_t i = 0; i < argc; ++i) {
            uint32_t paddr;
            std::memcpy(&paddr, page + argument_page::kVector + 4 * i, 4);
            uint32_t offset = paddr - kPagePaddr;
            end = std::max<uint32_t>(
                end,
                offset + static_cast<uint32_t>(strlen(reinterpret_cast<const char*>(page + offset))) + 1);
        }
        return end;
    }

    void expectUntouchedFrom(uint32_t offset) const {
        for (uint32_t i = offset; i < sizeof(page); ++i)
            ASSERT_EQ(page[i], 0xAA) << "byte " << i << " written";
    }

    std::vector<sim::MessageBoxRecord>& boxes() { return device().message_boxes; }

    MenuContext* menu = nullptr;
    alignas(4) uint8_t page[4096];
    uint32_t argc = 0;
};

TEST_F(KernelArgumentsTest, NoFlagsGiveTheKernelNameAlone) {
    EXPECT_EQ(build(), 1u);
    EXPECT_EQ(arguments(), std::vector<std::string>{"kalmor.gz"});
    uint32_t first;
    std::memcpy(&first, page + argument_page::kVector, 4);
    EXPECT_EQ(first, kPagePaddr + 116);
    EXPECT_EQ(std::memcmp(page + 116, "kalmor.gz\0", 10), 0);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(KernelArgumentsTest, FlagsImageAndExtrasInTheirOrder) {
    Preferences& prefs = menu->prefs;
    prefs.boot_serial = prefs.boot_verbose = prefs.boot_single = prefs.boot_ask_name = prefs.boot_debugger =
        1;
    prefs.rootfs = kRootMd;
    setWide(prefs.boot_extra, 256, u"  -x   console=tty0\t root=/dev/md0a  ");
    EXPECT_EQ(build(), 10u);
    EXPECT_EQ(arguments(), (std::vector<std::string>{"kalmor.gz", "h", "v", "s", "a", "d", "m=miniroot.fs",
                                                     "-x", "console=tty0", "root=/dev/md0a"}));
    EXPECT_TRUE(boxes().empty());
    // The strings lie one after another.
    EXPECT_EQ(std::memcmp(page + 116, "kalmor.gz\0h\0v\0s\0a\0d\0m=miniroot.fs\0-x\0", 37), 0);
}

TEST_F(KernelArgumentsTest, RootFileSystemChoices) {
    const struct {
        uint32_t rootfs;
        std::vector<std::string> expected;
    } cases[] = {
        {kRootWd, {"kalmor.gz"}},
        {kRootSd, {"kalmor.gz", "b=sd0"}},
        {kRootMd, {"kalmor.gz", "m=miniroot.fs"}},
        {kRootNfs, {"kalmor.gz", "b=nfs"}},
        {4, {"kalmor.gz"}},
        {0xFFFFFFFF, {"kalmor.gz"}},
    };
    for (const auto& c : cases) {
        menu->prefs.rootfs = c.rootfs;
        build();
        EXPECT_EQ(arguments(), c.expected) << "rootfs " << c.rootfs;
    }
}

TEST_F(KernelArgumentsTest, SixteenArgumentsAtMostThenAWarning) {
    setWide(menu->prefs.boot_extra, 256, u"a b c d e f g h i j k l m n o p q r s t");
    EXPECT_EQ(build(), 16u);
    std::vector<std::string> expected{"kalmor.gz"};
    for (char c = 'a'; c <= 'o'; ++c)
        expected.emplace_back(1, c);
    EXPECT_EQ(arguments(), expected);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, u"Too many extra kernel options.");
    EXPECT_EQ(boxes()[0].caption, u"WARNING");
    EXPECT_EQ(boxes()[0].style, 48u);
}

TEST_F(KernelArgumentsTest, BlanksOnlyGiveNoExtraArgument) {
    setWide(menu->prefs.boot_extra, 256, u"  \t \t  ");
    EXPECT_EQ(build(), 1u);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(KernelArgumentsTest, ExtraBeyondTheRoomStopsWithAWarningAndNothingPastIt) {
    // 64 bytes of vector, then 20 bytes: "kalmor.gz" (10) and "1234" (5) fit, "56789" (6) does not.
    setWide(menu->prefs.boot_extra, 256, u"1234 56789 0");
    EXPECT_EQ(build(64 + 20), 2u);
    EXPECT_EQ(arguments(), (std::vector<std::string>{"kalmor.gz", "1234"}));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, u"Too many extra kernel options.");
    expectUntouchedFrom(argument_page::kVector + 64 + 20);

    // An option that ends exactly at the room is taken.
    boxes().clear();
    setWide(menu->prefs.boot_extra, 256, u"1234 5678");
    EXPECT_EQ(build(64 + 20), 3u);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(KernelArgumentsTest, KernelNameThatDoesNotFitIsLeftOutWithAWarning) {
    EXPECT_EQ(build(64 + 9), 0u); // "kalmor.gz" needs 10 bytes
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, u"Kernel arguments too long.");
    EXPECT_EQ(boxes()[0].style, 48u);
    expectUntouchedFrom(argument_page::kVector + 64);
}

TEST_F(KernelArgumentsTest, UnterminatedLongSettingsStayInsideThePage) {
    // A configuration file may hold fields without a terminator; each is taken up to its array's end.
    useProfile(*sim::findDeviceProfile(u"HP Jornada 720 (Japanese)"));
    Preferences& prefs = menu->prefs;
    std::fill(std::begin(prefs.kernel_name), std::end(prefs.kernel_name), u'\u30AB'); // two bytes each
    std::fill(std::begin(prefs.rootfs_file), std::end(prefs.rootfs_file), u'\u30C9');
    for (size_t i = 0; i < 256; ++i)
        prefs.boot_extra[i] = i % 2 ? u' ' : u'\u30FC';
    prefs.boot_serial = prefs.boot_verbose = prefs.boot_single = prefs.boot_ask_name = prefs.boot_debugger =
        1;
    prefs.rootfs = kRootMd;

    EXPECT_EQ(build(), 16u);
    std::vector<std::string> args = arguments();
    ASSERT_EQ(args.size(), 16u);
    std::string kana_ka;
    for (int i = 0; i < 260; ++i)
        kana_ka += "\x83\x4A";
    EXPECT_EQ(args[0], kana_ka);
    EXPECT_EQ(args[6].size(), 2u + 520u);
    EXPECT_EQ(args[7], "\x81\x5B");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, u"Too many extra kernel options.");
    EXPECT_LE(stringsEnd(), 4080u);
    expectUntouchedFrom(stringsEnd());
}

TEST_F(KernelArgumentsTest, JapaneseModelConvertsNamesToItsCodePage) {
    useProfile(*sim::findDeviceProfile(u"HP Jornada 720 (Japanese)"));
    setWide(menu->prefs.kernel_name, 260, u"\u30AB\u30FC\u30C9.gz");
    menu->prefs.rootfs = kRootMd;
    setWide(menu->prefs.rootfs_file, 260, u"\uFF92\uFF93\uFF98.fs");
    build();
    EXPECT_EQ(arguments(), (std::vector<std::string>{"\x83\x4A\x81\x5B\x83\x68.gz", "m=\xD2\xD3\xD8.fs"}));
}

} // namespace
