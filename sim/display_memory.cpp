#include "sim/display_memory.h"

#include "sim/lcd_controllers.h"

namespace sim {

namespace {

constexpr uint32_t kFrame = 4096;
// HP Jornada 7XX: the video controller's memory.
constexpr uint32_t kJornada7xxMachine = 0x02C20200;
constexpr uint32_t kJornada7xxLineBytes = 1280;
// Where the display driver's frames start in the first bank, past the kernel's code.
constexpr uint32_t kDriverFramesOffset = 0x00100000;
constexpr uint32_t kCompaqIpaqSeries = 0x01C40000;

bool isJornada7xx(const DeviceProfile& profile) {
    return (profile.machine & 0xFFFFFF00u) == kJornada7xxMachine;
}

uint32_t roundFrames(uint32_t bytes) {
    return (bytes + kFrame - 1) / kFrame * kFrame;
}

} // namespace

bool scansTurned(const DeviceProfile& profile) {
    return (profile.machine & 0xFFFF0000u) == kCompaqIpaqSeries;
}

DisplayMemory displayMemory(const DeviceProfile& profile) {
    DisplayMemory memory{};
    bool turned = scansTurned(profile);
    memory.width = turned ? profile.screen_height : profile.screen_width;
    memory.height = turned ? profile.screen_width : profile.screen_height;
    memory.bits_per_pixel = profile.bits_per_pixel;
    memory.in_ram = !isJornada7xx(profile);
    uint32_t scan_bytes = static_cast<uint32_t>(memory.width * memory.bits_per_pixel / 8);
    memory.line_bytes = memory.in_ram ? scan_bytes : kJornada7xxLineBytes;
    uint32_t pixel_bytes = memory.line_bytes * static_cast<uint32_t>(memory.height);
    if (memory.in_ram) {
        memory.reserved_base = profile.ram_base + kDriverFramesOffset;
        memory.address = memory.reserved_base + kFrame;
        memory.reserved_bytes = kFrame + roundFrames(pixel_bytes);
    } else {
        memory.reserved_base = memory.address = VideoMemory::kBase;
        memory.reserved_bytes = roundFrames(pixel_bytes);
    }
    return memory;
}

} // namespace sim
