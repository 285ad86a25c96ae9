// The simulated handheld's screen at device start, as Windows CE's display
// driver leaves it, reached through a program's mapping of its physical
// addresses as the loader maps device registers; and the picture read
// through the controller as it is set at the moment.
#include "platform/device_registers.h"
#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/display_memory.h"
#include "sim/lcd.h"
#include "sim/lcd_controllers.h"
#include "sim/physical_memory.h"
#include "support/simulated_device.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kPage = 4096;

class LcdTest : public SimulatedDevice {
  protected:
    // A program's view of one physical page, as VirtualCopy with PAGE_PHYSICAL gives it.
    volatile uint8_t* map(uint32_t paddr) {
        void* window = ce::VirtualAlloc(nullptr, kPage, ce::MEM_RESERVE, ce::PAGE_NOACCESS);
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(ce::VirtualCopy(window, reinterpret_cast<void*>(uintptr_t{paddr >> 8}), kPage,
                                    ce::PAGE_READWRITE | ce::PAGE_NOCACHE | ce::PAGE_PHYSICAL));
        return static_cast<volatile uint8_t*>(window);
    }
    uint32_t ramWord(uint32_t paddr) {
        uint8_t bytes[4] = {};
        EXPECT_TRUE(sim::PhysicalMemory::get().read(paddr, bytes, 4));
        return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t{bytes[3]} << 24;
    }
};

TEST_F(LcdTest, EveryMachineStartsWithItsControllerPointingAtTheDisplayFrames) {
    for (const sim::DeviceProfile& profile : sim::deviceProfiles()) {
        SCOPED_TRACE(utf16ToUtf8(profile.name));
        useProfile(profile);
        sim::DisplayMemory display = sim::displayMemory(profile);
        sim::PhysicalMemory& ram = sim::PhysicalMemory::get();
        if (!display.in_ram) {
            // The HP Jornada 7XX: the video controller shows its memory; the on-chip controller is off.
            volatile uint8_t* video = map(sim::S1d13806Registers::kBase);
            EXPECT_EQ(readRegister8(video + 0x1FC) & 7, 1u);
            EXPECT_EQ((readRegister8(video + 0x032) + 1u) * 8, static_cast<uint32_t>(display.width));
            EXPECT_EQ(readRegister8(video + 0x038) + 1u, static_cast<uint32_t>(display.height));
            EXPECT_EQ(readRegister8(video + 0x040) & 7, 5u); // 16 bits a pixel
            EXPECT_EQ((readRegister8(video + 0x046) | readRegister8(video + 0x047) << 8) * 2u,
                      display.line_bytes);
            EXPECT_EQ(readRegister32(map(sim::Sa11x0LcdController::kBase)) & 1, 0u);
            continue;
        }
        // The display frames are the kernel's part of RAM: nobody is handed them.
        for (uint32_t offset = 0; offset < display.reserved_bytes; offset += kPage)
            EXPECT_EQ(ram.frameUse(display.reserved_base + offset), sim::FrameUse::Kernel);
        if (sim::isXScale(profile.processor)) {
            volatile uint8_t* lcd = map(sim::Pxa2x0LcdController::kBase);
            EXPECT_EQ(readRegister32(lcd) & 1, 1u);
            EXPECT_EQ((readRegister32(lcd + 0x004) & 0x3FF) + 1, static_cast<uint32_t>(display.width));
            EXPECT_EQ((readRegister32(lcd + 0x008) & 0x3FF) + 1, static_cast<uint32_t>(display.height));
            EXPECT_EQ((readRegister32(lcd + 0x00C) >> 24) & 7, 4u); // 16 bits a pixel
            // The frame descriptor {next, source, id, command} leads to itself and holds the pixels.
            uint32_t descriptor = readRegister32(lcd + 0x200);
            EXPECT_EQ(ramWord(descriptor), descriptor);
            EXPECT_EQ(ramWord(descriptor + 4), display.address);
            EXPECT_EQ(ramWord(descriptor + 12), display.line_bytes * static_cast<uint32_t>(display.height));
            EXPECT_EQ(readRegister32(lcd + 0x204), display.address);
        } else {
            volatile uint8_t* lcd = map(sim::Sa11x0LcdController::kBase);
            uint32_t lccr0 = readRegister32(lcd);
            EXPECT_EQ(lccr0 & 1, 1u);
            uint32_t palette = display.bits_per_pixel == 8 ? 512 : 32;
            uint32_t dbar1 = readRegister32(lcd + 0x10);
            EXPECT_EQ(dbar1, display.address - palette);
            // The palette's first entry tells the pixel size.
            uint32_t size_code = display.bits_per_pixel == 4 ? 0 : display.bits_per_pixel == 8 ? 1 : 2;
            EXPECT_EQ((ramWord(dbar1) >> 12) & 3, size_code);
            int lines = static_cast<int>(readRegister32(lcd + 0x24) & 0x3FF) + 1;
            EXPECT_EQ((readRegister32(lcd + 0x20) & 0x3FF) + 16, static_cast<uint32_t>(display.width));
            EXPECT_EQ(lines * ((lccr0 & 4) != 0 ? 2 : 1), display.height);
        }
    }
}

TEST_F(LcdTest, ThePictureFollowsTheControllerAndTheMemoryItReads) {
    const sim::DeviceProfile& ipaq = *sim::findDeviceProfile(u"Compaq iPAQ H3600");
    useProfile(ipaq);
    sim::DisplayMemory display = sim::displayMemory(ipaq);
    sim::RgbImage desktop = sim::renderLcd();
    ASSERT_EQ(desktop.width, 320);
    ASSERT_EQ(desktop.height, 240);

    // A white pixel written into the frame buffer's fifth line, 7 pixels in.
    uint16_t white = 0xFFFF;
    ASSERT_TRUE(
        sim::PhysicalMemory::get().write(display.address + 5 * display.line_bytes + 2 * 7, &white, 2));
    sim::RgbImage drawn = sim::renderLcd();
    EXPECT_EQ(drawn.at(7, 5), (sim::Rgb{255, 255, 255}));
    EXPECT_EQ(drawn.at(8, 5), desktop.at(8, 5));

    // The DMA base moved one line on: the white pixel shows a line higher.
    volatile uint8_t* lcd = map(sim::Sa11x0LcdController::kBase);
    uint32_t dbar1 = readRegister32(lcd + 0x10);
    uint32_t palette[8];
    ASSERT_TRUE(sim::PhysicalMemory::get().read(dbar1, palette, sizeof palette));
    ASSERT_TRUE(sim::PhysicalMemory::get().write(dbar1 + display.line_bytes, palette, sizeof palette));
    writeRegister32(lcd + 0x10, dbar1 + display.line_bytes);
    EXPECT_EQ(sim::renderLcd().at(7, 4), (sim::Rgb{255, 255, 255}));

    // Switched off, the screen is black.
    writeRegister32(lcd, readRegister32(lcd) & ~1u);
    sim::RgbImage off = sim::renderLcd();
    EXPECT_EQ(off.width, 320);
    EXPECT_EQ(off.rgb, std::vector<uint8_t>(off.rgb.size(), 0));
}

// What Windows CE shows (the window's picture at the jump) goes into the
// frame buffer in the display's geometry and depth, turned on a panel that
// scans across the screen; the panel's picture, turned back as the user holds
// the machine, is that picture again. A picture 8 pixels short of the screen
// on each side leaves black there. Each machine's four colours are ones its
// display shows exactly.
TEST_F(LcdTest, WhatWindowsCeShowsGoesIntoTheFrameBufferAsTheUserHoldsTheMachine) {
    const sim::Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};
    const sim::Rgb kBlack{0, 0, 0}, kDark{85, 85, 85}, kLight{170, 170, 170};
    struct Case {
        const char16_t* machine;
        sim::Rgb colours[4]; // top left, top right, bottom left, bottom right
    };
    const Case cases[] = {
        {u"HP Jornada 720 (US/UK)", {kRed, kGreen, kBlue, kWhite}},  // the video controller's memory
        {u"Compaq iPAQ H3600", {kRed, kGreen, kBlue, kWhite}},       // 16 bits, turned
        {u"Compaq iPAQ H3100", {kBlack, kDark, kLight, kWhite}},     // 4-bit grey, turned
        {u"HP Jornada 820", {kRed, kGreen, kBlue, kWhite}},          // 8 bits, a dual panel
        {u"Sharp W-ZERO3 (WS003SH)", {kRed, kGreen, kBlue, kWhite}}, // the PXA2x0 controller
    };
    for (const Case& c : cases) {
        const sim::DeviceProfile& profile = *sim::findDeviceProfile(c.machine);
        SCOPED_TRACE(utf16ToUtf8(profile.name));
        useProfile(profile);
        const int width = profile.screen_width, height = profile.screen_height;
        sim::RgbImage shown(width - 8, height - 8);
        auto quadrant = [&](int x, int y) {
            return c.colours[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)];
        };
        for (int y = 0; y < shown.height; ++y)
            for (int x = 0; x < shown.width; ++x)
                shown.set(x, y, quadrant(x, y));
        sim::showOnLcd(shown);

        sim::RgbImage panel = sim::renderLcd();
        sim::DisplayMemory display = sim::displayMemory(profile);
        EXPECT_EQ(panel.width, display.width);
        EXPECT_EQ(panel.height, display.height);
        sim::RgbImage held = sim::screenAsHeld(panel, profile);
        ASSERT_EQ(held.width, width);
        ASSERT_EQ(held.height, height);
        int wrong = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                sim::Rgb expected = x < shown.width && y < shown.height ? quadrant(x, y) : kBlack;
                if (held.at(x, y) != expected && ++wrong <= 3)
                    ADD_FAILURE() << "(" << x << ", " << y << ") is " << int(held.at(x, y).r) << ","
                                  << int(held.at(x, y).g) << "," << int(held.at(x, y).b);
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

// The frame descriptor address is taken only while the controller is off.
TEST_F(LcdTest, APxa2x0TakesANewDescriptorOnlyWhileItIsOff) {
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3900"));
    volatile uint8_t* lcd = map(sim::Pxa2x0LcdController::kBase);
    uint32_t descriptor = readRegister32(lcd + 0x200);
    writeRegister32(lcd + 0x200, descriptor + 0x40);
    EXPECT_EQ(readRegister32(lcd + 0x200), descriptor);
    uint32_t lccr0 = readRegister32(lcd);
    writeRegister32(lcd, lccr0 & ~1u);
    writeRegister32(lcd + 0x200, descriptor + 0x40);
    writeRegister32(lcd, lccr0);
    EXPECT_EQ(readRegister32(lcd + 0x200), descriptor + 0x40);
}

} // namespace
