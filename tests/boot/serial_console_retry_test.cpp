// A later boot attempt whose UART console cannot be mapped again: the boot
// goes on on the screen console, and the attempt after it has the UART back.
#include "loader/elf_facts.h"
#include "sim/emulator/unicorn_machine.h"
#include "support/kernel_boot.h"
#include "ui/menu_context.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

class SerialConsoleRetry : public KernelBoot {
  protected:
    // Presses Boot again with the settings of the last boot.
    bool bootAgain() {
        serial.clear();
        page.box.clear();
        return KernelBoot::bootAgain();
    }
};

TEST_F(SerialConsoleRetry, ARefusedMappingOnTheSecondAttemptFallsBackToTheScreen) {
    struct Case {
        const char16_t* machine;
        uint32_t failing_call; // VirtualCopy calls of the second attempt before the refused one
        uint32_t refused;      // the registers it maps
    };
    const Case cases[] = {{u"HP Jornada 720 (US/UK)", 0, 0x80050000},
                          {u"Sharp W-ZERO3 (WS003SH)", 0, 0x40E00000},
                          {u"Sharp W-ZERO3 (WS003SH)", 1, 0x40100000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.machine) + " " + std::to_string(c.refused));
        TearDown();
        SetUp();
        KernelBootSettings settings;
        settings.profile = &profileNamed(c.machine);
        settings.kernel = kernelPath("probe");
        settings.serial = true;
        ASSERT_TRUE(bootToJump(settings));
        EXPECT_NE(serial.find("zandrel build number: 15\r\n"), std::string::npos) << serial;

        device().failures.arm(c.failing_call + 1, sim::FallibleCall::VirtualCopy);
        ASSERT_TRUE(bootAgain()) << page.text();
        char refusal[64];
        std::snprintf(refusal, sizeof refusal, "can't map physical address 0x%08x\n", c.refused);
        std::string screen = page.text();
        size_t refused_at = screen.find(refusal);
        ASSERT_NE(refused_at, std::string::npos) << screen;
        EXPECT_EQ(screen.find("use LCD console instead.\n"), refused_at + std::strlen(refusal)) << screen;
        EXPECT_NE(screen.find("zandrel build number: 15\n"), std::string::npos) << screen;
        EXPECT_EQ(serial.find("zandrel build number"), std::string::npos) << serial;
        // The kernel is told it has the screen console.
        serial.clear();
        sim::HandOffRun run = sim::runOnUnicorn(*hand_off);
        EXPECT_EQ(run.result.stop, sim::EmulationStop::kHalted) << sim::describeStop(run);
        EXPECT_EQ(probeVerdict(serial), "PASS") << serial;
        EXPECT_NE(serial.find("PROBE: bootinfo console 1 "), std::string::npos) << serial;

        ASSERT_TRUE(bootAgain()) << page.text();
        EXPECT_NE(serial.find("zandrel build number: 15\r\n"), std::string::npos) << serial;
        EXPECT_EQ(page.text().find("use LCD console instead."), std::string::npos) << page.text();
    }
}

} // namespace
