// The fixture of the window checks: each check writes the device's settings,
// runs the program's entry with its message loop and drives the real controls
// from a second thread (window/window_driver.h).
#pragma once

#include "gtest_in_wine.h"
#include "platform/wide_string.h"
#include "resources/resource.h"
#include "window/handheld_font.h"
#include "window/win_text.h"
#include "window/window_driver.h"
#include "window_device.h"

#include <functional>
#include <string>

// A control's rectangle in its parent's client coordinates.
inline RECT placeIn(HWND parent, HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

inline bool inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// How far `text` reaches in `control`'s font.
inline LONG textWidth(HWND control, const wchar_t* text) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

class WindowChecks : public ::testing::Test {
  protected:
    void SetUp() override {
        window_device::make();
        prefs = window_device::defaults();
        window_device::useDefaultMachine(prefs);
        useTheHandheldsSystemFont();
        set(prefs.dir_user_path, u"\\Storage Card\\");
        prefs.dir_user = 1;
        set(prefs.kernel_name, u"missing.gz");
        prefs.kernel_user = 1;
    }
    void TearDown() override { window_device::remove(); }

    static void set(char16_t* field, const char16_t* text) { wideCopy(field, 260, text); }
    // Writes `prefs` as the device's settings file and runs the window, in
    // the handheld's system font.
    int run(const std::function<void(WindowDriver&)>& script) {
        window_device::writeSettings(prefs);
        useTheHandheldsSystemFont();
        return WindowDriver::run(script);
    }
    Preferences saved() {
        Preferences record{};
        EXPECT_TRUE(window_device::readSettings(record));
        return record;
    }
    // Boot, no question, the boot fails: the box is answered.
    static void bootAndFail(WindowDriver& window) {
        window.clickBoot();
        HWND failed = window.waitForBox(L"BOOT FAILED");
        ASSERT_NE(failed, nullptr);
        window.answer(failed, IDOK);
    }

    Preferences prefs{};
};
