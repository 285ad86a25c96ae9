#include "boot/platform_table.h"
#include "platform/wide_string.h"
#include "support/simulated_device.h"
#include "ui/main_page_form.h"
#include "ui/menu_context.h"

#include <gtest/gtest.h>

namespace {

TEST(PlatformMatch, ScoresFieldsAndWildcards) {
    struct Case {
        PlatformId subject;
        PlatformId pattern;
        int score;
    };
    const Case cases[] = {
        {{0x0C104000, 0x02C20301}, {0x0C104000, 0}, 5},          // machine fields all wildcards
        {{0x0C108000, 0x02C20203}, {0x0C108000, 0x02C20200}, 8}, // submodel 0 accepts 3
        {{0x0C108000, 0x01C40201}, {0x0C104000, 0}, 0},          // model 2 against model 1
        {{0, 0}, {0x0C104000, 0}, 0},                            // wildcards only on the pattern side
        {{0x0C208000, 0x01040500}, {0x0C208000, 0x01040500}, 9},
        {{0x0C2080FF, 0x01040500}, {0x0C208000, 0x01040500}, 9}, // the low cpu byte takes no part
        {{0x0C208000, 0x01040500}, {0, 0}, 3},                   // only the two zero submodels are equal
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platformMatch(c.subject, c.pattern), c.score)
            << std::hex << c.subject.cpu << "/" << c.subject.machine << " vs " << c.pattern.cpu << "/"
            << c.pattern.machine;
    }
}

TEST(PlatformTable, HasEighteenSelectableMachinesInTableOrder) {
    EXPECT_EQ(platform_name_count, 37);
    ASSERT_EQ(selectablePlatformCount(), 18);
    EXPECT_EQ(std::u16string(selectablePlatform(0)->name), u"Sharp W-ZERO3 (WS003SH)");
    EXPECT_EQ(std::u16string(selectablePlatform(17)->name), u"HP Jornada 820 (Japanese)");
    EXPECT_EQ(selectablePlatform(18), nullptr);
    EXPECT_EQ(selectablePlatform(-1), nullptr);
}

class PlatformChoice : public SimulatedDevice {};

TEST_F(PlatformChoice, IndexNameAndSelectionGoThroughSelectableRows) {
    MenuContext& menu = *MenuContext::instance();
    menu.prefs.platform_cpu = 0x0C200000; // a family, not a machine
    menu.prefs.platform_machine = 0;
    EXPECT_EQ(menu.platformIndex(), 0);
    EXPECT_EQ(std::u16string(menu.platformName(menu.platformIndex())), u"Sharp W-ZERO3 (WS003SH)");

    menu.selectPlatform(17);
    EXPECT_EQ(menu.prefs.platform_cpu, 0x0C104000u);
    EXPECT_EQ(menu.prefs.platform_machine, 0x02C20302u);
    EXPECT_EQ(menu.platformIndex(), 17);
    EXPECT_EQ(menu.platformName(18), nullptr);

    menu.selectPlatform(18); // none: the platform stays
    EXPECT_EQ(menu.prefs.platform_machine, 0x02C20302u);
}

TEST_F(PlatformChoice, TheMainPageKeepsTheSoundWordOfAPairWhoseOtherWordIsDamaged) {
    struct Case {
        const char* name;
        uint32_t cpu, machine;
        uint32_t stored_cpu, stored_machine;
    };
    const Case cases[] = {
        {"a sound pair", 0x0C108000, 0x02C20204, 0x0C108000, 0x02C20204},
        // The machine names its processor.
        {"processor out of range", 0xFFFFFFFF, 0x02C20204, 0x0C108000, 0x02C20204},
        {"processor of another machine", 0x0C208000, 0x01C40202, 0x0C108000, 0x01C40202},
        // The processor's first machine in the table.
        {"machine out of range", 0x0C208000, 0x7FFFFFFF, 0x0C208000, 0x01040100},
        {"machine out of range on a StrongARM SA1100", 0x0C104000, 0, 0x0C104000, 0x02C20301},
        {"both out of range", 0x12345678, 0x7FFFFFFF, 0x0C208000, 0x01040100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MenuContext& menu = *MenuContext::instance();
        menu.prefs.platform_cpu = c.cpu;
        menu.prefs.platform_machine = c.machine;
        MainPageForm page;
        page.init(menu);
        page.store(menu);
        EXPECT_EQ(menu.prefs.platform_cpu, c.stored_cpu);
        EXPECT_EQ(menu.prefs.platform_machine, c.stored_machine);
    }
}

} // namespace
