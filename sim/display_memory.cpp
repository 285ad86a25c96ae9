#include "sim/display_memory.h"

namespace sim {

namespace {

constexpr uint32_t kFrame = 4096;
// HP Jornada 7XX: the video controller's memory.
constexpr uint32_t kJornada7xxMachine = 0x02C20200;
constexpr uint32_t kJornada7xxFrameBuffer = 0x48200000;
constexpr uint32_t kJornada7xxLineBytes = 1280;
// Where the display driver's frames start in the first bank, past the kernel's code.
constexpr uint32_t kDriverFramesOffset = 0x00100000;

bool isJornada7xx(const DeviceProfile& profile) {
    return (profile.machine & 0xFFFFFF00u) == kJornada7xxMachine;
}

} // namespace

DisplayMemory displayMemory(const DeviceProfile& profile) {
    DisplayMemory memory{};
    memory.in_ram = !isJornada7xx(profile);
    memory.line_bytes = memory.in_ram
                            ? static_cast<uint32_t>(profile.screen_width * profile.bits_per_pixel / 8)
                            : kJornada7xxLineBytes;
    memory.address = memory.in_ram ? profile.ram_base + kDriverFramesOffset : kJornada7xxFrameBuffer;
    uint32_t pixel_bytes = memory.line_bytes * static_cast<uint32_t>(profile.screen_height);
    memory.reserved_bytes = (pixel_bytes + kFrame - 1) / kFrame * kFrame + kFrame;
    return memory;
}

} // namespace sim
