#include "boot/frame_buffer_info.h"

#include "platform/wince.h"

// clang-format off
const FrameBufferDescription fb_table[] = {
    {0x0C104000, 0x02C20301, 8,  640, 480, 0,    0},          // HP Jornada 820
    {0x0C104000, 0x02C20302, 8,  640, 480, 0,    0},          // HP Jornada 820 (Japanese)
    {0x0C108000, 0x02C20200, 16, 640, 240, 1280, 0x48200000}, // HP Jornada 7XX
    {0x0C108000, 0x01C40201, 16, 320, 240, 640,  0},          // Compaq iPAQ H3600
    {0x0C204000, 0x01C40301, 16, 320, 240, 640,  0},          // Compaq iPAQ H3900
    {0, 0, 0, 0, 0, 0, 0},
};
// clang-format on

FrameBufferInfo::FrameBufferInfo(PlatformId platform) {
    ce::HDC dc = ce::GetDC(nullptr);
    uint32_t display_bpp = static_cast<uint32_t>(ce::GetDeviceCaps(dc, ce::BITSPIXEL));

    const FrameBufferDescription* chosen = nullptr;
    const FrameBufferDescription* other_depth = nullptr;
    for (const FrameBufferDescription* row = fb_table; row->cpu != 0; ++row) {
        if (platformMatch(platform, PlatformId{row->cpu, row->machine}) == 0)
            continue;
        if (row->bpp == display_bpp) {
            chosen = row;
            break;
        }
        other_depth = row;
    }
    if (chosen == nullptr)
        chosen = other_depth;

    if (chosen != nullptr) {
        description_ = *chosen;
    } else {
        description_ = {platform.cpu,
                        platform.machine,
                        display_bpp,
                        static_cast<uint32_t>(ce::GetDeviceCaps(dc, ce::HORZRES)),
                        static_cast<uint32_t>(ce::GetDeviceCaps(dc, ce::VERTRES)),
                        0,
                        0};
    }
    ce::ReleaseDC(nullptr, dc);
}

int FrameBufferInfo::fbTypeOf(uint32_t bpp, bool reverse_video) {
    switch (bpp) {
    case 4:
        return reverse_video ? 8 : 10;
    case 8:
        return reverse_video ? 4 : 3;
    case 16:
        return reverse_video ? 6 : 5;
    default:
        return reverse_video ? 0 : 2;
    }
}
