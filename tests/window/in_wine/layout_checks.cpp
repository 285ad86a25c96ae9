// The pages laid out on the screen the checks run at.
#include "window_checks.h"

#include "sim/device_profile.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Shared by more than a pixel each way. A template's touching edges may share
// one: a control's position and size in dialog units are rounded apart.
bool overlap(const RECT& a, const RECT& b) {
    LONG shared_x = std::min(a.right, b.right) - std::max(a.left, b.left);
    LONG shared_y = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return shared_x > 1 && shared_y > 1;
}

std::string classOf(HWND control) {
    wchar_t name[32] = {};
    GetClassNameW(control, name, 32);
    CharLowerW(name);
    return utf8(name);
}

bool isGroupBox(HWND control) {
    return classOf(control) == "button" && (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

// An up-down control joins its buddy's right edge, the two borders as one.
bool spinOf(HWND spin, HWND buddy) {
    return classOf(spin) == "msctls_updown32" &&
           reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)) == buddy;
}

// The buddy of an up-down shows the largest number the up-down gives whole,
// left of the up-down that covers the buddy's right border.
void expectBuddyShowsItsNumbers(HWND spin, HWND buddy) {
    DWORD range = static_cast<DWORD>(SendMessageW(spin, UDM_GETRANGE, 0, 0));
    int upper = std::max(static_cast<short>(LOWORD(range)), static_cast<short>(HIWORD(range)));
    std::string digits = std::to_string(upper);
    wchar_t widest[16] = {};
    std::copy(digits.begin(), digits.end(), widest);
    SIZE text{textWidth(buddy, widest), 0};
    HWND page = GetParent(buddy);
    POINT client_origin{0, 0};
    MapWindowPoints(buddy, page, &client_origin, 1);
    RECT format{}; // where the edit draws its text, in its client area
    SendMessageW(buddy, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    EXPECT_LE(format.left + text.cx, format.right) << upper << " is cut off by the box's own margins";
    EXPECT_LE(client_origin.x + format.left + text.cx, placeIn(page, spin).left)
        << upper << " is cut off by the up-down";
}

std::string describe(HWND control) {
    return classOf(control) + " " + std::to_string(GetDlgCtrlID(control));
}

std::vector<HWND> pageControls(HWND page) {
    std::vector<HWND> controls;
    for (HWND child = GetWindow(page, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child))
            controls.push_back(child);
    }
    return controls;
}

// The label of a check box or radio button, with its box, fits the control.
void expectLabelFits(HWND control) {
    LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    bool has_box = type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON ||
                   type == BS_RADIOBUTTON;
    wchar_t label[64] = {};
    GetWindowTextW(control, label, 64);
    if (!has_box || label[0] == 0)
        return;
    SIZE text{textWidth(control, label), 0};
    RECT rect;
    GetClientRect(control, &rect);
    // The box takes 13 pixels; the text's advance may end in up to 2 pixels
    // of the last letter's space, which need not fit.
    const LONG kBox = 13, kLastLetterSpace = 2;
    EXPECT_LE(kBox + text.cx - kLastLetterSpace, rect.right) << utf8(label) << " is cut off";
}

// A single-line edit shows its text whole between its margins.
void expectEditShowsItsText(HWND control) {
    if (classOf(control) != "edit" || (GetWindowLongW(control, GWL_STYLE) & ES_MULTILINE) != 0)
        return;
    wchar_t shown[64] = {};
    GetWindowTextW(control, shown, 64);
    SIZE text{textWidth(control, shown), 0};
    RECT format{}; // where the edit draws its text, in its client area
    SendMessageW(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    EXPECT_LE(text.cx, format.right - format.left) << utf8(shown) << " is cut off";
}

// A control with text shows it in the handheld's system font, the font drawn
// being the one named, not a substitute.
void expectSystemFont(HWND control, const SystemFont& system_font, int dpi_y) {
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    if (classOf(control) == "msctls_updown32")
        return; // no text
    SCOPED_TRACE(describe(control));
    LOGFONTW logical{};
    ASSERT_NE(GetObjectW(font, sizeof(logical), &logical), 0);
    EXPECT_EQ(utf8(logical.lfFaceName), utf8(system_font.face));
    EXPECT_EQ(logical.lfHeight, -MulDiv(system_font.points, dpi_y, 72));
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    EXPECT_EQ(utf8(face), utf8(system_font.face)) << "the font drawn is the one named, not a substitute";
}

// Every page at this screen's size: the pages' font is the device's system
// font, every control lies inside its page and inside the tab control's display
// area, no two overlap (a group box holds its buttons whole), and no label
// or number is cut; the root window's row and column are as the device places them.
TEST_F(WindowChecks, LayoutFitsTheScreen) {
    // A Japanese machine, the default device's W-ZERO3, and one whose font is Tahoma.
    prefs.kernel_user = 0; // the kernel box shows "kalmor.gz"
    for (const char16_t* machine : {u"Sharp W-ZERO3 (WS003SH)", u"HP Jornada 720 (US/UK)"}) {
        window_device::useMachine(prefs, machine);
        const SystemFont system_font = systemFontOf(*sim::findDeviceProfile(machine));
        const std::string font = utf8(system_font.face);
        SCOPED_TRACE(font);
        EXPECT_EQ(
            run([&](WindowDriver& window) {
                HDC screen_dc = GetDC(nullptr);
                int width = GetDeviceCaps(screen_dc, HORZRES), height = GetDeviceCaps(screen_dc, VERTRES);
                int dpi_x = GetDeviceCaps(screen_dc, LOGPIXELSX),
                    dpi_y = GetDeviceCaps(screen_dc, LOGPIXELSY);
                ReleaseDC(nullptr, screen_dc);
                SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " in " + font);
                HWND root = window.root();
                RECT bar = placeIn(root, window.control(IDC_COMMAND_BAR));
                RECT boot = placeIn(root, window.control(IDC_BOOT));
                RECT cancel = placeIn(root, window.control(IDC_CANCEL));
                RECT progress = placeIn(root, window.control(IDC_PROGRESS));
                HWND tabs = window.control(IDC_TABS);
                RECT tab_rect = placeIn(root, tabs);
                RECT client;
                GetClientRect(root, &client);
                EXPECT_EQ(client.right, width);
                EXPECT_EQ(client.bottom, height);
                int button_width = width > 320 ? 75 : 50;
                EXPECT_EQ(boot.right - boot.left, button_width);
                EXPECT_EQ(cancel.right - cancel.left, button_width);
                EXPECT_EQ(cancel.right, client.right);
                EXPECT_EQ(boot.top, bar.bottom) << "the button row sits under the command bar";
                EXPECT_EQ(boot.bottom - boot.top, bar.bottom - bar.top) << "and has its height";
                EXPECT_EQ(progress.left, boot.right);
                EXPECT_EQ(progress.right, cancel.left);
                EXPECT_EQ(tab_rect.top, boot.bottom);
                EXPECT_EQ(tab_rect.bottom, client.bottom);

                bool wide_and_low = width > 320 && height <= 240;
                POINT origin = wide_and_low ? POINT{250, 5} : POINT{5, 125};
                HWND main_page = window.pageOf(IDC_VERBOSE);
                RECT verbose = placeIn(main_page, window.control(IDC_VERBOSE));
                EXPECT_EQ(verbose.left, origin.x * dpi_x / 96);
                EXPECT_EQ(verbose.top, origin.y * dpi_y / 96);
                RECT speed = placeIn(main_page, window.control(IDC_SPEED));
                EXPECT_EQ(speed.left, (origin.x + 100) * dpi_x / 96);
                EXPECT_EQ(speed.top, (origin.y + 80) * dpi_y / 96);

                RECT display = {0, 0, tab_rect.right - tab_rect.left, tab_rect.bottom - tab_rect.top};
                SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
                const int page_ids[] = {IDC_KERNEL, IDC_AUTO_BOOT, IDC_OUTPUT};
                for (int index = 0; index < 3; ++index) {
                    HWND page = window.pageOf(page_ids[index]);
                    window.tapTab(index);
                    ASSERT_TRUE(window.waitUntil([&] { return IsWindowVisible(page) != FALSE; }));
                    SCOPED_TRACE("page " + std::to_string(index));
                    // The page is shown at the display area's left, from the top of the tab control.
                    RECT page_rect = placeIn(tabs, page);
                    RECT beside_tabs = {display.left, 0, display.right, display.bottom};
                    EXPECT_TRUE(inside(page_rect, beside_tabs)) << "the page lies beside the tabs";
                    RECT page_client;
                    GetClientRect(page, &page_client);
                    std::vector<HWND> controls = pageControls(page);
                    EXPECT_GE(controls.size(), 8u);
                    for (size_t i = 0; i < controls.size(); ++i) {
                        RECT a = placeIn(page, controls[i]);
                        EXPECT_TRUE(inside(a, page_client))
                            << describe(controls[i]) << " reaches outside the page: " << a.left << ","
                            << a.top << " " << a.right << "," << a.bottom << " in " << page_client.right
                            << "x" << page_client.bottom;
                        expectSystemFont(controls[i], system_font, dpi_y);
                        expectLabelFits(controls[i]);
                        expectEditShowsItsText(controls[i]);
                        for (size_t j = 0; j < controls.size(); ++j) {
                            if (spinOf(controls[i], controls[j]))
                                expectBuddyShowsItsNumbers(controls[i], controls[j]);
                        }
                        for (size_t j = i + 1; j < controls.size(); ++j) {
                            RECT b = placeIn(page, controls[j]);
                            bool held = (isGroupBox(controls[i]) && inside(b, a)) ||
                                        (isGroupBox(controls[j]) && inside(a, b)) ||
                                        spinOf(controls[i], controls[j]) || spinOf(controls[j], controls[i]);
                            EXPECT_FALSE(overlap(a, b) && !held)
                                << describe(controls[i]) << " (" << a.left << "," << a.top << " " << a.right
                                << "," << a.bottom << ") overlaps " << describe(controls[j]) << " (" << b.left
                                << "," << b.top << " " << b.right << "," << b.bottom << ")";
                        }
                    }
                }
            }),
            0);
    }
}

} // namespace
