// The window half of the platform contract on the simulated handheld:
// message boxes answered by the device's policy and logged, and the display
// of the device's profile. zandrel-window leaves this out and takes the real
// window system's calls instead (src/platform/win32/window_calls_win32.cpp).
#include "platform/wince.h"
#include "sim/device_work.h"
#include "sim/handheld.h"

namespace {

// The one display of the device.
ce::HDC const kScreenDC = reinterpret_cast<ce::HDC>(static_cast<uintptr_t>(0x5C12EE));

bool isYesNo(ce::UINT style) {
    return (style & 0x0F) == ce::MB_YESNO;
}

} // namespace

namespace ce {

int MessageBoxW(HWND, const WCHAR* text, const WCHAR* caption, UINT style) {
    sim::DeviceWork device_work;
    sim::Handheld& device = sim::Handheld::get();
    int answer = IDOK;
    if (isYesNo(style)) {
        answer = device.yes_no_answer;
        if (!device.scripted_answers.empty()) {
            answer = device.scripted_answers.front();
            device.scripted_answers.pop_front();
        }
    }
    sim::MessageBoxRecord record{text != nullptr ? text : u"", caption != nullptr ? caption : u"Error", style,
                                 answer};
    device.message_boxes.push_back(record);
    if (device.on_message_box)
        device.on_message_box(record);
    return record.answer;
}

BOOL UpdateWindow(HWND) {
    return TRUE;
}

HDC GetDC(HWND) {
    return kScreenDC;
}

int ReleaseDC(HWND, HDC) {
    return 1;
}

int GetDeviceCaps(HDC, int index) {
    const sim::DeviceProfile& profile = sim::Handheld::get().profile();
    switch (index) {
    case HORZRES:
        return profile.screen_width;
    case VERTRES:
        return profile.screen_height;
    case BITSPIXEL:
        return profile.bits_per_pixel;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return profile.pixels_per_inch;
    default:
        return 0;
    }
}

} // namespace ce
