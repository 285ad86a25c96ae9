#include "sim/lcd.h"

#include "loader/elf_format.h"
#include "sim/board_devices.h"
#include "sim/display_memory.h"
#include "sim/handheld.h"
#include "sim/lcd_controllers.h"
#include "sim/lcd_pixels.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <unordered_map>

namespace sim {

namespace {

// Windows CE's plain desktop: its colour and the task bar along the bottom.
constexpr Rgb kDesktop{0, 128, 128};
constexpr Rgb kTaskBar{192, 192, 192};
constexpr Rgb kTaskBarEdge{255, 255, 255};
constexpr int kTaskBarHeight = 26;

uint32_t paletteEntries(int bits_per_pixel) {
    return bits_per_pixel == 8 ? 256 : 16;
}

// The 16-bit palette entries Windows CE's driver writes: 4-4-4 RGB (a grey
// level in the low 4 bits on a monochrome SA-11x0 panel), 5-6-5 on the PXA2x0.
std::vector<uint8_t> paletteBytes(const DeviceProfile& profile, const DisplayMemory& display) {
    uint32_t count = paletteEntries(display.bits_per_pixel);
    std::vector<uint8_t> bytes(2 * count);
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t entry = 0;
        if (display.bits_per_pixel < 16) {
            Rgb colour = windowsPaletteColour(display.bits_per_pixel, static_cast<int>(i));
            if (isXScale(profile.processor))
                entry = toRgb565(colour);
            else
                entry = Sa11x0LcdController::paletteEntry(colour, display.bits_per_pixel == 4);
        }
        if (i == 0 && !isXScale(profile.processor))
            entry = static_cast<uint16_t>(entry | Sa11x0LcdController::pixelSizeBits(display.bits_per_pixel));
        elf::put16(&bytes[2 * i], entry);
    }
    return bytes;
}

// Where the PXA2x0 driver keeps its descriptors and palette: the frame before the pixels.
uint32_t frameDescriptor(const DisplayMemory& d) {
    return d.reserved_base;
}
uint32_t paletteDescriptor(const DisplayMemory& d) {
    return d.reserved_base + 0x10;
}
uint32_t pxa2x0Palette(const DisplayMemory& d) {
    return d.reserved_base + 0x100;
}

uint32_t pixelBytes(const DisplayMemory& d) {
    return d.line_bytes * static_cast<uint32_t>(d.height);
}

// A panel of 8 bits a pixel is passive colour (dual scan); one of 4 bits
// passive monochrome; 16 bits an active (TFT) panel.
bool dualPanel(const DisplayMemory& d) {
    return d.bits_per_pixel == 8;
}

std::vector<RegisterValue> sa11x0Setup(const DisplayMemory& d) {
    using C = Sa11x0LcdController;
    const uint32_t base = C::kBase;
    uint32_t palette = 2 * paletteEntries(d.bits_per_pixel);
    int lines_per_panel = dualPanel(d) ? d.height / 2 : d.height;
    uint32_t lccr0 = C::kLccr0Enable | 0x38; // error, base-update and done interrupts masked
    if (d.bits_per_pixel == 4)
        lccr0 |= C::kLccr0Mono;
    if (dualPanel(d))
        lccr0 |= C::kLccr0DualPanel;
    if (d.bits_per_pixel == 16)
        lccr0 |= C::kLccr0Active;
    return {
        {base + C::kDbar1, d.address - palette},
        {base + C::kDbar2,
         dualPanel(d) ? d.address + static_cast<uint32_t>(lines_per_panel) * d.line_bytes : 0},
        {base + C::kLccr1, C::pixelsPerLineField(d.width) | 5u << 10 | 10u << 16 | 20u << 24},
        {base + C::kLccr2, C::linesPerPanelField(lines_per_panel) | 1u << 10 | 3u << 16 | 5u << 24},
        {base + C::kLccr3, 0x0Au | 0xFFu << 8 | 3u << 20},
        {base + C::kLccr0, lccr0},
    };
}

std::vector<RegisterValue> pxa2x0Setup(const DisplayMemory& d) {
    using C = Pxa2x0LcdController;
    const uint32_t base = C::kBase;
    uint32_t descriptor = d.bits_per_pixel < 16 ? paletteDescriptor(d) : frameDescriptor(d);
    // Enabled, an active panel, every interrupt masked.
    const uint32_t lccr0 = C::kLccr0Enable | 0x78 | 0x80 | 0x800 | 0x300000;
    return {
        {base + C::kLccr1, C::pixelsPerLineField(d.width) | 9u << 10 | 19u << 16 | 19u << 24},
        {base + C::kLccr2, C::linesPerPanelField(d.height) | 1u << 10 | 3u << 16 | 2u << 24},
        {base + C::kLccr3, 0x04u | 3u << 20 | C::pixelSizeField(d.bits_per_pixel)},
        {base + C::kFdadr0, descriptor},
        {base + C::kLccr0, lccr0},
    };
}

// The descriptors channel 0 follows: the frame's, which leads to itself, and
// before it the palette's when the pixels index one.
void writePxa2x0Descriptors(PhysicalMemory& memory, const DeviceProfile& profile, const DisplayMemory& d) {
    uint8_t frame[16] = {};
    elf::put32(frame, frameDescriptor(d));
    elf::put32(frame + 4, d.address);
    elf::put32(frame + 12, pixelBytes(d));
    memory.write(frameDescriptor(d), frame, sizeof frame);
    if (d.bits_per_pixel == 16)
        return;
    std::vector<uint8_t> palette = paletteBytes(profile, d);
    memory.write(pxa2x0Palette(d), palette.data(), static_cast<uint32_t>(palette.size()));
    uint8_t load[16] = {};
    elf::put32(load, frameDescriptor(d));
    elf::put32(load + 4, pxa2x0Palette(d));
    elf::put32(load + 12, Pxa2x0LcdController::kLdcmdPalette | static_cast<uint32_t>(palette.size()));
    memory.write(paletteDescriptor(d), load, sizeof load);
}

void setUpS1d13806(S1d13806Registers& video, const DisplayMemory& d) {
    using V = S1d13806Registers;
    uint32_t height = V::heightField(d.height);
    uint32_t pitch_words = d.line_bytes / 2;
    video.write8(V::kDisplayMode, 1); // the LCD only
    video.write8(V::kLcdWidth, V::widthField(d.width));
    video.write8(V::kLcdHeight, static_cast<uint8_t>(height));
    video.write8(V::kLcdHeight + 1, static_cast<uint8_t>(height >> 8));
    video.write8(V::kLcdMode, V::pixelSizeCode(d.bits_per_pixel));
    video.write8(V::kLcdOffset, static_cast<uint8_t>(pitch_words));
    video.write8(V::kLcdOffset + 1, static_cast<uint8_t>(pitch_words >> 8));
}

using LineStore = std::function<void(uint32_t line, const std::vector<uint8_t>& bytes)>;

// Where the display driver keeps its pixel lines: RAM frames, or the video controller's memory.
LineStore lineStore(PhysicalMemory& memory, const DisplayMemory& display, VideoMemory* video) {
    if (video == nullptr)
        return [&memory, display](uint32_t line, const std::vector<uint8_t>& bytes) {
            memory.write(display.address + line * display.line_bytes, bytes.data(),
                         static_cast<uint32_t>(bytes.size()));
        };
    return [video, display](uint32_t line, const std::vector<uint8_t>& bytes) {
        std::copy(bytes.begin(), bytes.end(),
                  video->bytes() + (display.address - VideoMemory::kBase) + line * display.line_bytes);
    };
}

// The pixel values Windows CE's driver draws, remembered by colour: a
// picture of the window system has few colours, and a palette is searched
// once for each.
class PixelValues {
  public:
    explicit PixelValues(int bits_per_pixel) : format_{bits_per_pixel, {}} {
        for (int i = 0; bits_per_pixel < 16 && i < (1 << bits_per_pixel); ++i)
            format_.palette.push_back(windowsPaletteColour(bits_per_pixel, i));
    }
    uint32_t of(Rgb colour) {
        uint32_t key = uint32_t{colour.r} << 16 | uint32_t{colour.g} << 8 | colour.b;
        if (key == last_key_)
            return last_value_;
        auto [at, added] = values_.try_emplace(key, 0);
        if (added)
            at->second = nearestPixelValue(format_, colour);
        last_key_ = key;
        last_value_ = at->second;
        return last_value_;
    }

  private:
    PixelFormat format_;
    std::unordered_map<uint32_t, uint32_t> values_;
    uint32_t last_key_ = 0xFFFFFFFF; // no colour
    uint32_t last_value_ = 0;
};

// Draws `picture`, the screen as the user holds the machine, into the pixel
// lines as Windows CE's driver does: on a panel that scans turned, a screen
// column is a scan line. What the picture does not cover is black.
void drawScreen(const DeviceProfile& profile, const DisplayMemory& d, const RgbImage& picture,
                const LineStore& store) {
    PixelValues values(d.bits_per_pixel);
    bool turned = scansTurned(profile);
    std::vector<uint8_t> line(d.line_bytes);
    for (int y = 0; y < d.height; ++y) {
        std::fill(line.begin(), line.end(), 0);
        for (int x = 0; x < d.width; ++x) {
            int screen_x = turned ? y : x;
            int screen_y = turned ? d.width - 1 - x : y;
            if (screen_x < picture.width && screen_y < picture.height)
                setPixelValue(line.data(), x, d.bits_per_pixel, values.of(picture.at(screen_x, screen_y)));
        }
        store(static_cast<uint32_t>(y), line);
    }
}

// Windows CE's plain desktop at the machine's screen size: its colour, and the task bar along the bottom.
RgbImage desktop(const DeviceProfile& profile) {
    RgbImage picture(profile.screen_width, profile.screen_height);
    for (int y = 0; y < picture.height; ++y) {
        int from_bottom = picture.height - 1 - y;
        Rgb colour = from_bottom >= kTaskBarHeight       ? kDesktop
                     : from_bottom == kTaskBarHeight - 1 ? kTaskBarEdge
                                                         : kTaskBar;
        for (int x = 0; x < picture.width; ++x)
            picture.set(x, y, colour);
    }
    return picture;
}

} // namespace

std::vector<RegisterValue> lcdControllerSetup(const DeviceProfile& profile) {
    DisplayMemory display = displayMemory(profile);
    if (!display.in_ram)
        return {}; // the on-chip controller stays off; the video controller drives the panel
    return isXScale(profile.processor) ? pxa2x0Setup(display) : sa11x0Setup(display);
}

std::vector<DisplayRange> displayRanges(const DeviceProfile& profile) {
    std::vector<DisplayRange> ranges;
    if (isXScale(profile.processor))
        ranges.push_back({Pxa2x0LcdController::kBase, Pxa2x0LcdController::kSize, nullptr});
    else
        ranges.push_back({Sa11x0LcdController::kBase, Sa11x0LcdController::kSize, nullptr});
    if (VideoMemory* video = boardDevice<VideoMemory>(VideoMemory::kBase)) {
        ranges.push_back({S1d13806Registers::kBase, S1d13806Registers::kSize, nullptr});
        ranges.push_back({VideoMemory::kBase, VideoMemory::kSize, video->bytes()});
    }
    return ranges;
}

void attachLcd(PhysicalMemory& memory, const DeviceProfile& profile) {
    DisplayMemory display = displayMemory(profile);
    bool xscale = isXScale(profile.processor);
    std::shared_ptr<DeviceModel> controller;
    if (xscale)
        controller = std::make_shared<Pxa2x0LcdController>();
    else
        controller = std::make_shared<Sa11x0LcdController>();
    uint32_t controller_base = xscale ? Pxa2x0LcdController::kBase : Sa11x0LcdController::kBase;
    memory.attachDevice(controller_base, xscale ? Pxa2x0LcdController::kSize : Sa11x0LcdController::kSize,
                        controller);

    std::shared_ptr<VideoMemory> video;
    if (display.in_ram) {
        // The display driver's frames are the kernel's part of RAM (sim/ram_split.h).
        if (xscale) {
            writePxa2x0Descriptors(memory, profile, display);
        } else {
            std::vector<uint8_t> palette = paletteBytes(profile, display);
            memory.write(display.address - static_cast<uint32_t>(palette.size()), palette.data(),
                         static_cast<uint32_t>(palette.size()));
        }
    } else {
        auto registers = std::make_shared<S1d13806Registers>();
        video = std::make_shared<VideoMemory>();
        setUpS1d13806(*registers, display);
        memory.attachDevice(S1d13806Registers::kBase, S1d13806Registers::kSize, registers);
        memory.attachDevice(VideoMemory::kBase, VideoMemory::kSize, video);
    }
    for (const RegisterValue& write : lcdControllerSetup(profile))
        controller->write32(write.paddr - controller_base, write.value);
    drawScreen(profile, display, desktop(profile), lineStore(memory, display, video.get()));
}

void showOnLcd(const RgbImage& picture) {
    const DeviceProfile& profile = Handheld::get().profile();
    PhysicalMemory& memory = PhysicalMemory::get();
    DisplayMemory display = displayMemory(profile);
    VideoMemory* video = display.in_ram ? nullptr : boardDevice<VideoMemory>(VideoMemory::kBase);
    if (display.in_ram || video != nullptr)
        drawScreen(profile, display, picture, lineStore(memory, display, video));
}

RgbImage screenAsHeld(const RgbImage& scanned, const DeviceProfile& profile) {
    if (!scansTurned(profile))
        return scanned;
    // Scan line y is screen column y; the first pixel of a line is at the bottom.
    RgbImage held(scanned.height, scanned.width);
    for (int y = 0; y < held.height; ++y) {
        for (int x = 0; x < held.width; ++x)
            held.set(x, y, scanned.at(scanned.width - 1 - y, x));
    }
    return held;
}

} // namespace sim
