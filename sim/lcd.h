// The simulated handheld's screen. Every machine has one, in the geometry
// and depth of its display (sim/display_memory.h): the on-chip LCD
// controller of its processor, and on the HP Jornada 7XX the video
// controller with its own memory. At device start it is as Windows CE's
// display driver leaves it: the controller's registers set, the palette and
// frame descriptors written, a plain desktop on the screen. The loader's
// mappings and the emulated processor after the jump reach the same
// registers and memory, and the picture is read from them as they are.
#pragma once

#include "sim/device_profile.h"
#include "sim/physical_memory.h"
#include "sim/rgb_image.h"

#include <cstdint>
#include <vector>

namespace sim {

// Attaches the display hardware of `profile` to the new device's `memory`.
void attachLcd(PhysicalMemory& memory, const DeviceProfile& profile);

struct RegisterValue {
    uint32_t paddr;
    uint32_t value;
};
// The word writes that leave the on-chip LCD controller as Windows CE's
// driver did, the enable last; none when the machine's screen is driven by
// another controller.
std::vector<RegisterValue> lcdControllerSetup(const DeviceProfile& profile);

// Physical ranges of the display hardware that an emulated processor must
// reach: registers (host null, answered by the device models) and video
// memory, kept in host memory that can be mapped in place.
struct DisplayRange {
    uint32_t base;
    uint32_t size;
    uint8_t* host;
};
std::vector<DisplayRange> displayRanges(const DeviceProfile& profile);

// What the current handheld's screen shows now: read through its
// controller's registers from the memory they point at. A controller that is
// off shows black, in the display's size. The picture is the panel's, line by
// line as the controller scans it (an iPAQ's 320x240). Safe to call on
// another thread while an emulated processor runs a kernel in this process:
// a picture taken while the kernel draws may show the drawing half done, as
// a real panel does.
RgbImage renderLcd();

// Draws `picture`, what Windows CE shows (the screen as the user holds the
// machine, in its size), into the current handheld's frame buffer as its
// display driver does: in the display's geometry and depth, each colour the
// nearest the display has. What the picture does not cover is black.
void showOnLcd(const RgbImage& picture);

// A picture of the panel (renderLcd) as the user holding the machine sees
// it: turned on the iPAQs, whose panels scan across the screen.
RgbImage screenAsHeld(const RgbImage& scanned, const DeviceProfile& profile);

} // namespace sim
