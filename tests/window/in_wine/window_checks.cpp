// The window under Wine on the simulated handheld: every check runs the
// program's entry with its message loop and drives the real controls from a
// second thread (window_driver.h).
#include "gtest_in_wine.h"
#include "platform/wide_string.h"
#include "resources/resource.h"
#include "sim/device_profile.h"
#include "ui/menu_context.h"
#include "window/machine_at_boot.h"
#include "window/win_text.h"
#include "window/window_driver.h"
#include "window_device.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kQuestion[] = "Data in memory will be lost.\nAre you sure?";

class WindowChecks : public ::testing::Test {
  protected:
    void SetUp() override {
        window_device::make();
        prefs = window_device::defaults();
        window_device::useDefaultMachine(prefs);
        set(prefs.dir_user_path, u"\\Storage Card\\");
        prefs.dir_user = 1;
        set(prefs.kernel_name, u"missing.gz");
        prefs.kernel_user = 1;
    }
    void TearDown() override { window_device::remove(); }

    static void set(char16_t* field, const char16_t* text) { wideCopy(field, 260, text); }
    // Writes `prefs` as the device's settings file and runs the window.
    int run(const std::function<void(WindowDriver&)>& script) {
        window_device::writeSettings(prefs);
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

TEST_F(WindowChecks, PagesShowTheSettingsAndStoreThemBack) {
    set(prefs.dir_user_path, u"http://127.0.0.1:1/");
    prefs.rootfs = 2;
    set(prefs.rootfs_file, u"img.fs");
    prefs.boot_serial = 1;
    prefs.boot_single = 1;
    prefs.serial_speed = 38400;
    prefs.reverse_video = 1;
    prefs.pause_before_boot = 0;
    prefs.load_debug_info = 1;
    prefs.safety_message = 0;
    set(prefs.boot_extra, u"-x y");
    std::string first_sorted;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  EXPECT_EQ(window.selection(IDC_DIRECTORY), 13);
                  EXPECT_EQ(window.text(IDC_DIRECTORY), "http://127.0.0.1:1/");
                  EXPECT_EQ(window.text(IDC_KERNEL), "missing.gz");
                  EXPECT_TRUE(window.checked(IDC_ROOT_MD));
                  EXPECT_FALSE(window.checked(IDC_ROOT_WD));
                  EXPECT_EQ(window.text(IDC_ROOTFS_FILE), "img.fs");
                  EXPECT_TRUE(window.enabled(IDC_ROOTFS_FILE));
                  EXPECT_TRUE(window.checked(IDC_SERIAL));
                  EXPECT_TRUE(window.checked(IDC_SINGLE));
                  EXPECT_FALSE(window.checked(IDC_VERBOSE));
                  EXPECT_EQ(window.text(IDC_SPEED), "38400")
                      << "a speed of the user's own shows as its number";
                  EXPECT_EQ(window.selection(IDC_SPEED), CB_ERR);
                  EXPECT_TRUE(window.enabled(IDC_SPEED));
                  EXPECT_FALSE(window.checked(IDC_AUTO_BOOT));
                  EXPECT_FALSE(window.enabled(IDC_SECONDS));
                  EXPECT_TRUE(window.checked(IDC_REVERSE_VIDEO));
                  EXPECT_FALSE(window.checked(IDC_PAUSE));
                  EXPECT_TRUE(window.checked(IDC_LOAD_DEBUG_INFO));
                  EXPECT_FALSE(window.checked(IDC_SAFETY));
                  EXPECT_EQ(window.text(IDC_EXTRA), "-x y");

                  SendMessageW(window.control(IDC_PLATFORM), CB_SETCURSEL, 0, 0);
                  first_sorted = window.text(IDC_PLATFORM);
                  window.click(IDC_ROOT_WD);
                  EXPECT_FALSE(window.enabled(IDC_ROOTFS_FILE));
                  window.click(IDC_SERIAL);
                  EXPECT_FALSE(window.enabled(IDC_SPEED));
                  window.click(IDC_AUTO_BOOT);
                  EXPECT_TRUE(window.enabled(IDC_SECONDS));
                  window.setText(IDC_SECONDS, "");
                  bootAndFail(window);
              }),
              0);
    Preferences stored = saved();
    EXPECT_EQ(utf16ToUtf8(stored.dir_user_path), "http://127.0.0.1:1/");
    EXPECT_EQ(stored.dir_user, 1u);
    EXPECT_EQ(utf16ToUtf8(stored.kernel_name), "missing.gz");
    EXPECT_EQ(stored.kernel_user, 1u);
    EXPECT_EQ(stored.rootfs, 0u);
    EXPECT_EQ(utf16ToUtf8(stored.rootfs_file), "img.fs");
    EXPECT_EQ(stored.serial_speed, 38400);
    EXPECT_EQ(stored.boot_serial, 0u);
    EXPECT_EQ(stored.boot_single, 1u);
    EXPECT_EQ(stored.auto_boot, 0);
    EXPECT_EQ(stored.reverse_video, 1u);
    EXPECT_EQ(stored.pause_before_boot, 0u);
    EXPECT_EQ(stored.load_debug_info, 1u);
    EXPECT_EQ(stored.safety_message, 0u);
    EXPECT_EQ(utf16ToUtf8(stored.boot_extra), "-x y");
    // The sorted list's first name stores the words of that name's own table row.
    MenuContext* menu = MenuContext::instance();
    menu->prefs = stored;
    ASSERT_GE(menu->platformIndex(), 0);
    EXPECT_EQ(utf16ToUtf8(menu->platformName(menu->platformIndex())), first_sorted);
    EXPECT_NE(utf16ToUtf8(menu->platformName(0)), first_sorted)
        << "the table is in sorted order: nothing shown";
}

TEST_F(WindowChecks, FirstRunWithoutSettingsShowsTheDefaults) {
    EXPECT_EQ(WindowDriver::run([&](WindowDriver& window) {
                  EXPECT_EQ(window.selection(IDC_DIRECTORY), 0);
                  EXPECT_EQ(window.text(IDC_DIRECTORY), "/");
                  EXPECT_EQ(window.text(IDC_KERNEL), "kalmor.gz");
                  EXPECT_TRUE(window.checked(IDC_ROOT_WD));
                  EXPECT_EQ(window.text(IDC_ROOTFS_FILE), "miniroot.fs");
                  EXPECT_FALSE(window.enabled(IDC_ROOTFS_FILE));
                  EXPECT_EQ(window.text(IDC_SPEED), "19200");
                  EXPECT_FALSE(window.enabled(IDC_SPEED));
                  EXPECT_TRUE(window.checked(IDC_PAUSE));
                  EXPECT_TRUE(window.checked(IDC_SAFETY));
                  EXPECT_FALSE(window.checked(IDC_AUTO_BOOT));
                  // The directory list: fourteen entries, the katakana ones among them.
                  HWND directories = window.control(IDC_DIRECTORY);
                  ASSERT_EQ(SendMessageW(directories, CB_GETCOUNT, 0, 0), 14);
                  wchar_t entry[64] = {};
                  SendMessageW(directories, CB_GETLBTEXT, 12, reinterpret_cast<LPARAM>(entry));
                  EXPECT_EQ(utf8(entry), "\\microSD\u30AB\u30FC\u30C9\\");
                  SendMessageW(directories, CB_GETLBTEXT, 13, reinterpret_cast<LPARAM>(entry));
                  EXPECT_EQ(utf8(entry), "user defined");
              }),
              0);
    EXPECT_FALSE(window_device::fileExists("Storage Card/zandrel.cnf")) << "nothing is saved without a boot";
}

// A control's rectangle in its parent's client coordinates.
RECT placeIn(HWND parent, HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Shared by more than a pixel each way. A template's touching edges may share
// one: a control's position and size in dialog units are rounded apart.
bool overlap(const RECT& a, const RECT& b) {
    LONG shared_x = std::min(a.right, b.right) - std::max(a.left, b.left);
    LONG shared_y = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return shared_x > 1 && shared_y > 1;
}

bool inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
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
    std::wstring widest(digits.begin(), digits.end());
    HDC dc = GetDC(buddy);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(buddy, WM_GETFONT, 0, 0)));
    SIZE text{};
    GetTextExtentPoint32W(dc, widest.c_str(), static_cast<int>(widest.size()), &text);
    SelectObject(dc, old);
    ReleaseDC(buddy, dc);
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
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE text{};
    GetTextExtentPoint32W(dc, label, lstrlenW(label), &text);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    RECT rect;
    GetClientRect(control, &rect);
    // The box takes 13 pixels; the text's advance may end in up to 2 pixels
    // of the last letter's space, which need not fit.
    const LONG kBox = 13, kLastLetterSpace = 2;
    EXPECT_LE(kBox + text.cx - kLastLetterSpace, rect.right) << utf8(label) << " is cut off";
}

// Every page at this screen's size: the pages' font is the device's (Tahoma 8
// pt), every control lies inside its page and inside the tab control's display
// area, no two overlap (a group box holds its buttons whole), and no label
// or number is cut; the root window's row and column are as the device places them.
TEST_F(WindowChecks, LayoutFitsTheScreen) {
    EXPECT_EQ(
        run([&](WindowDriver& window) {
            HDC screen_dc = GetDC(nullptr);
            int width = GetDeviceCaps(screen_dc, HORZRES), height = GetDeviceCaps(screen_dc, VERTRES);
            int dpi_x = GetDeviceCaps(screen_dc, LOGPIXELSX), dpi_y = GetDeviceCaps(screen_dc, LOGPIXELSY);
            ReleaseDC(nullptr, screen_dc);
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
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
                LOGFONTW font{};
                GetObjectW(reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0)), sizeof(font),
                           &font);
                EXPECT_EQ(utf8(font.lfFaceName), "Tahoma");
                EXPECT_EQ(font.lfHeight, -MulDiv(8, dpi_y, 72));
                HDC page_dc = GetDC(page);
                HGDIOBJ old_font =
                    SelectObject(page_dc, reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0)));
                wchar_t face[LF_FACESIZE] = {};
                GetTextFaceW(page_dc, LF_FACESIZE, face);
                SelectObject(page_dc, old_font);
                ReleaseDC(page, page_dc);
                EXPECT_EQ(utf8(face), "Tahoma") << "the font drawn is the one named, not a substitute";
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
                        << describe(controls[i]) << " reaches outside the page: " << a.left << "," << a.top
                        << " " << a.right << "," << a.bottom << " in " << page_client.right << "x"
                        << page_client.bottom;
                    expectLabelFits(controls[i]);
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

// The safety question's icon: a question mark while "Pause Before Boot" is on, otherwise an exclamation mark.
TEST_F(WindowChecks, SafetyQuestionIconFollowsPauseBeforeBoot) {
    for (bool pause : {true, false}) {
        SCOPED_TRACE(pause ? "pause" : "no pause");
        prefs.pause_before_boot = pause;
        EXPECT_EQ(run([&](WindowDriver& window) {
                      window.clickBoot();
                      HWND question = window.waitForBox(L"WARNING");
                      ASSERT_NE(question, nullptr);
                      const int question_icon = 32514,
                                exclamation_icon = 32515; // IDI_QUESTION, IDI_EXCLAMATION
                      HICON shown = window.boxIcon(question);
                      EXPECT_NE(shown, nullptr);
                      EXPECT_EQ(shown, LoadIconW(nullptr,
                                                 MAKEINTRESOURCEW(pause ? question_icon : exclamation_icon)));
                      window.answer(question, IDNO);
                  }),
                  0);
    }
}

TEST_F(WindowChecks, BootAsksTheSafetyQuestionAndOnlyYesBoots) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.clickBoot();
                  HWND question = window.waitForBox(L"WARNING");
                  ASSERT_NE(question, nullptr);
                  EXPECT_EQ(window.boxText(question), kQuestion);
                  window.answer(question, IDNO);
                  EXPECT_TRUE(window.noBoxFor(300));
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 0u);

                  window.clickBoot();
                  question = window.waitForBox(L"WARNING");
                  ASSERT_NE(question, nullptr);
                  window.answer(question, IDYES);
                  HWND failed = window.waitForBox(L"BOOT FAILED");
                  ASSERT_NE(failed, nullptr);
                  window.answer(failed, IDOK);
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START\r\n"), 1u);
              }),
              0);
}

TEST_F(WindowChecks, NoAnswerSavesNothing) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.setText(IDC_KERNEL, "other.gz");
                  window.clickBoot();
                  HWND question = window.waitForBox(L"WARNING");
                  ASSERT_NE(question, nullptr);
                  window.answer(question, IDNO);
              }),
              0);
    EXPECT_EQ(utf16ToUtf8(saved().kernel_name), "missing.gz");
}

TEST_F(WindowChecks, WithoutSafetyMessageBootStartsWithoutQuestion) {
    prefs.safety_message = 0;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.clickBoot();
                  HWND failed = window.waitForBox(L"BOOT FAILED");
                  ASSERT_NE(failed, nullptr);
                  EXPECT_EQ(FindWindowW(L"#32770", L"WARNING"), nullptr);
                  window.answer(failed, IDOK);
                  // The window is usable afterwards: another boot runs.
                  bootAndFail(window);
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 2u);
              }),
              0);
}

TEST_F(WindowChecks, SecondBootClickWhileBootRunsStartsNoSecondBoot) {
    prefs.safety_message = 0;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.clickBoot();
                  HWND failed = window.waitForBox(L"BOOT FAILED");
                  ASSERT_NE(failed, nullptr);
                  // The boot is still running (its box is open): Boot again, and the timer's message.
                  // Sent: each returns once handled; a second boot would not return (its box would wait).
                  DWORD_PTR ignored = 0;
                  EXPECT_NE(SendMessageTimeoutW(window.root(), WM_COMMAND, IDC_BOOT, 0, SMTO_NORMAL, 3000,
                                                &ignored),
                            0);
                  EXPECT_NE(SendMessageTimeoutW(window.root(), WM_TIMER, IDT_AUTO_BOOT, 0, SMTO_NORMAL, 3000,
                                                &ignored),
                            0);
                  window.answer(failed, IDOK);
                  EXPECT_TRUE(window.noBoxFor(500));
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 1u);
              }),
              0);
}

TEST_F(WindowChecks, AutoBootStartsWithoutTheQuestion) {
    prefs.auto_boot = 1;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  EXPECT_TRUE(window.checked(IDC_AUTO_BOOT));
                  EXPECT_EQ(window.text(IDC_SECONDS), "1");
                  HWND failed = window.waitForBox(L"BOOT FAILED", 5000);
                  ASSERT_NE(failed, nullptr);
                  EXPECT_EQ(FindWindowW(L"#32770", L"WARNING"), nullptr);
                  window.answer(failed, IDOK);
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 1u);
                  EXPECT_TRUE(window.noBoxFor(1500)) << "the timer fires once";
              }),
              0);
}

TEST_F(WindowChecks, KeyPressOrTapCancelsAutoBoot) {
    for (UINT message : {WM_KEYDOWN, WM_LBUTTONDOWN}) {
        SCOPED_TRACE(message == WM_KEYDOWN ? "key press" : "tap");
        prefs.auto_boot = 1;
        EXPECT_EQ(run([&](WindowDriver& window) {
                      PostMessageW(window.control(IDC_PROGRESS), message,
                                   message == WM_KEYDOWN ? 'A' : MK_LBUTTON, 0);
                      EXPECT_TRUE(window.noBoxFor(1800));
                      EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 0u);
                      // The Boot button still works.
                      window.clickBoot();
                      HWND question = window.waitForBox(L"WARNING");
                      ASSERT_NE(question, nullptr);
                      window.answer(question, IDNO);
                  }),
                  0);
    }
}

// The window is closed while its message loop still runs; the countdown then
// runs out with the loop alive, had closing not ended it, and nothing boots.
TEST_F(WindowChecks, ClosingDuringTheCountdownDoesNotBoot) {
    // A kernel that would boot at once if the countdown went on.
    window_device::addProbeKernel("probe.elf");
    set(prefs.kernel_name, u"probe.elf");
    prefs.pause_before_boot = 0;
    window_device::runKernelAtJump();
    prefs.auto_boot = 1;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.watchBootStarts();
                  // The command bar's close button.
                  HWND bar = window.control(IDC_COMMAND_BAR);
                  ASSERT_NE(bar, nullptr);
                  PostMessageW(GetDlgItem(bar, 1), BM_CLICK, 0, 0);
                  // Waited here, on the driver's thread, while the window's thread may still run its loop.
                  EXPECT_TRUE(window.noBoxFor(2500));
                  EXPECT_EQ(window.bootStartsHandled(), 0);
                  EXPECT_FALSE(window_device::jumped());
                  EXPECT_FALSE(IsWindow(window.root()));
              }),
              0);
    EXPECT_EQ(saved().auto_boot, 1) << "nothing was saved";
    EXPECT_FALSE(window_device::jumped());
}

// A count of seconds whose milliseconds do not fit 32 bits is not a short timer.
TEST_F(WindowChecks, AnAutoBootTooLongForTheTimerWaits) {
    prefs.auto_boot = 4294968; // 4294968000 ms wraps to 704 ms in 32 bits
    EXPECT_EQ(run([&](WindowDriver& window) {
                  EXPECT_TRUE(window.noBoxFor(2000));
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 0u);
              }),
              0);
}

TEST_F(WindowChecks, KeyboardRingAndTabSwitching) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  HWND boot = window.control(IDC_BOOT), cancel = window.control(IDC_CANCEL);
                  HWND tabs = window.control(IDC_TABS);
                  HWND main_page = window.pageOf(IDC_KERNEL);
                  ASSERT_TRUE(window.waitUntil([&] { return window.focus() == boot; }));
                  window.key(boot, VK_TAB);
                  EXPECT_TRUE(window.waitUntil([&] { return window.focus() == cancel; }));
                  window.key(cancel, VK_TAB);
                  EXPECT_TRUE(window.waitUntil([&] { return window.focus() == tabs; }));
                  window.key(tabs, VK_TAB);
                  EXPECT_TRUE(window.waitUntil([&] { return IsChild(main_page, window.focus()); }))
                      << "Tab on the tab control goes into the page";
                  // The speed box is disabled while the serial console is off: the check box is the last
                  // stop.
                  ASSERT_FALSE(window.enabled(IDC_SPEED));
                  window.key(window.control(IDC_SERIAL), VK_TAB);
                  EXPECT_TRUE(window.waitUntil([&] { return window.focus() == tabs; }))
                      << "Tab on the page's last control goes back to the tab control";
                  window.key(tabs, VK_LEFT);
                  EXPECT_TRUE(window.waitUntil([&] { return window.focus() == cancel; }));
                  window.key(cancel, VK_LEFT);
                  EXPECT_TRUE(window.waitUntil([&] { return window.focus() == boot; }));
                  window.key(boot, VK_UP);
                  EXPECT_TRUE(window.waitUntil([&] { return window.focus() == tabs; }));

                  HWND option_page = window.pageOf(IDC_AUTO_BOOT), console_page = window.pageOf(IDC_OUTPUT);
                  EXPECT_TRUE(IsWindowVisible(main_page));
                  EXPECT_FALSE(IsWindowVisible(option_page));
                  window.tapTab(1);
                  EXPECT_TRUE(window.waitUntil([&] { return IsWindowVisible(option_page) != FALSE; }));
                  EXPECT_FALSE(IsWindowVisible(main_page));
                  EXPECT_FALSE(IsWindowVisible(console_page));
                  window.tapTab(2);
                  EXPECT_TRUE(window.waitUntil([&] { return IsWindowVisible(console_page) != FALSE; }));
                  EXPECT_FALSE(IsWindowVisible(option_page));
              }),
              0);
}

// Real key presses on the X server, as the fault came: Right on the tab
// control shows the next page and puts the focus into that page, so the
// keys that follow act on what is shown, and tab clicks still switch pages.
TEST_F(WindowChecks, RightOnTheTabControlFocusesThePageItShows) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  HWND tabs = window.control(IDC_TABS);
                  HWND main_page = window.pageOf(IDC_KERNEL), option_page = window.pageOf(IDC_AUTO_BOOT);
                  int directory = window.selection(IDC_DIRECTORY);
                  ASSERT_TRUE(window.pressKeys({"Tab", "Tab"})) << "xdotool";
                  ASSERT_TRUE(window.waitUntil([&] { return window.focus() == tabs; }));
                  ASSERT_TRUE(window.pressKeys({"Right"}));
                  EXPECT_TRUE(window.waitUntil([&] { return IsWindowVisible(option_page) != FALSE; }));
                  EXPECT_FALSE(IsWindowVisible(main_page));
                  EXPECT_TRUE(window.waitUntil([&] { return IsChild(option_page, window.focus()) != FALSE; }))
                      << "the focus is in the page shown";
                  EXPECT_EQ(window.focus(), window.control(IDC_AUTO_BOOT));
                  ASSERT_TRUE(window.pressKeys({"Down", "Down"}));
                  Sleep(300);
                  EXPECT_EQ(window.selection(IDC_DIRECTORY), directory)
                      << "the hidden Main page kept its directory";
                  EXPECT_TRUE(IsChild(option_page, window.focus()));

                  RECT main_tab{};
                  SendMessageW(tabs, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&main_tab));
                  ASSERT_TRUE(window.clickAt(
                      tabs, {(main_tab.left + main_tab.right) / 2, (main_tab.top + main_tab.bottom) / 2}));
                  EXPECT_TRUE(window.waitUntil([&] { return IsWindowVisible(main_page) != FALSE; }))
                      << "a tab click still switches pages";
                  EXPECT_FALSE(IsWindowVisible(option_page));
              }),
              0);
}

TEST_F(WindowChecks, TabOnTheTabControlWithNoPageSelectedKeepsTheFocus) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  HWND tabs = window.control(IDC_TABS);
                  SendMessageW(tabs, TCM_SETCURSEL, static_cast<WPARAM>(-1), 0);
                  ASSERT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), -1);
                  window.key(window.control(IDC_CANCEL), VK_TAB);
                  ASSERT_TRUE(window.waitUntil([&] { return window.focus() == tabs; }));
                  for (UINT key : {VK_TAB, VK_RIGHT}) {
                      window.key(tabs, key);
                      Sleep(300);
                      EXPECT_EQ(window.focus(), tabs);
                  }
              }),
              0);
}

// The handheld is the machine the Main page holds at Boot: a fresh default
// device (a W-ZERO3) booted as an HP Jornada 720 with the serial console is
// that machine, its UART carries the loader's console and its progress lines,
// and picking the W-ZERO3 again makes the handheld a W-ZERO3 again.
TEST_F(WindowChecks, TheHandheldIsTheMachineOnTheMainPageAtBoot) {
    prefs.safety_message = 0;
    const char jornada[] = "HP Jornada 720 (US/UK)";
    const std::string zero3 = window_device::handheldMachine();
    ASSERT_NE(zero3, jornada);
    window_device::writeSettings(prefs);
    handheldFollowsPages([](const char16_t* name) { return sim::findDeviceProfile(name); });
    EXPECT_EQ(WindowDriver::run([&](WindowDriver& window) {
                  HWND platforms = window.control(IDC_PLATFORM);
                  for (const std::string& machine : {std::string(jornada), zero3}) {
                      SCOPED_TRACE(machine);
                      window_device::clearSerialOutput();
                      std::wstring wide(machine.begin(), machine.end());
                      ASSERT_NE(SendMessageW(platforms, CB_SELECTSTRING, -1,
                                             reinterpret_cast<LPARAM>(wide.c_str())),
                                CB_ERR);
                      if (!window.checked(IDC_SERIAL))
                          window.click(IDC_SERIAL);
                      bootAndFail(window);
                      EXPECT_EQ(window_device::handheldMachine(), machine);
                      std::string serial = window_device::serialOutput();
                      EXPECT_NE(serial.find(machine + " (cpu=0x"), std::string::npos) << serial;
                      // From the components on, the UART is the current console.
                      EXPECT_NE(serial.find("[progress] 2"), std::string::npos) << serial;
                      EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "[progress] 2"), 0u)
                          << "progress lines go to the current console";
                  }
              }),
              0);
}

// A speed that is not a number is stored as 0, and the boot says that COM1 is not opened.
TEST_F(WindowChecks, ASpeedThatIsNotANumberIsReported) {
    prefs.safety_message = 0;
    EXPECT_EQ(
        run([&](WindowDriver& window) {
            window.setText(IDC_SPEED, "fast");
            bootAndFail(window);
            EXPECT_NE(
                window.text(IDC_OUTPUT).find("serial speed 0 is not a bit rate: COM1 is not opened\r\n"),
                std::string::npos)
                << window.text(IDC_OUTPUT);
        }),
        0);
    EXPECT_EQ(saved().serial_speed, 0);
}

TEST_F(WindowChecks, CancelLeavesTheSettingsFileUntouched) {
    window_device::writeSettings(prefs);
    std::string before = window_device::readFile("Storage Card/zandrel.cnf");
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.setText(IDC_KERNEL, "changed.gz");
                  window.click(IDC_VERBOSE);
                  PostMessageW(window.control(IDC_CANCEL), BM_CLICK, 0, 0);
                  EXPECT_TRUE(window.waitUntil([&] { return !IsWindow(window.root()); }));
              }),
              0);
    EXPECT_EQ(window_device::readFile("Storage Card/zandrel.cnf"), before);
}

TEST_F(WindowChecks, ConsoleShowsCrLfAndTheLogFileLf) {
    prefs.safety_message = 0;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  bootAndFail(window);
                  std::string shown = window.text(IDC_OUTPUT);
                  EXPECT_NE(shown.find("BOOT START\r\n"), std::string::npos) << shown;
                  EXPECT_EQ(countOf(shown, "\n"), countOf(shown, "\r\n")) << shown;

                  EXPECT_FALSE(window.enabled(IDC_LOG_NAME));
                  EXPECT_EQ(window.text(IDC_LOG_NAME), "bootlog.txt");
                  window.click(IDC_SAVE_TO_FILE);
                  EXPECT_TRUE(window.enabled(IDC_LOG_NAME));
                  bootAndFail(window);
                  std::string after = window.text(IDC_OUTPUT);
                  EXPECT_NE(after.find("log file is \\Storage Card\\bootlog.txt\r\n"), std::string::npos)
                      << after;
                  EXPECT_EQ(countOf(after, "BOOT START"), 1u) << "the log file takes the output";
              }),
              0);
    std::string log = window_device::readFile("Storage Card/bootlog.txt");
    EXPECT_EQ(log.rfind("BOOT START\n", 0), 0u) << log;
    EXPECT_EQ(log.find('\r'), std::string::npos);
    EXPECT_GT(countOf(log, "\n"), 2u);
}

TEST_F(WindowChecks, FailedBootThenProbeKernelPassesInTheSameWindow) {
    prefs.safety_message = 0;
    prefs.pause_before_boot = 0;
    // The machine whose screen the window has (640x240): the kernel is told
    // the window's display, and the probe checks it against the machine's LCD.
    window_device::useMachine(prefs, u"HP Jornada 720 (US/UK)");
    window_device::addProbeKernel("probe.elf");
    window_device::runKernelAtJump();
    EXPECT_EQ(run([&](WindowDriver& window) {
                  bootAndFail(window);
                  EXPECT_FALSE(window_device::jumped());
                  EXPECT_EQ(SendMessageW(window.control(IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);

                  window.setText(IDC_KERNEL, "probe.elf");
                  window.clickBoot();
                  // Here the jump returns (the process lives on for the check), so the boot ends in its box.
                  HWND after_jump = window.waitForBox(L"BOOT FAILED", 30000);
                  ASSERT_NE(after_jump, nullptr);
                  EXPECT_TRUE(window_device::jumped());
                  window.answer(after_jump, IDOK);
                  EXPECT_NE(window.text(IDC_OUTPUT).find("[progress] "), std::string::npos);
              }),
              0);
    EXPECT_EQ(window_device::probeVerdict(), "PASS") << window_device::serialOutput();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    std::vector<std::string> args = commandLineWords();
    int argc = static_cast<int>(args.size());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    ::testing::InitGoogleTest(&argc, argv.data());
    return RUN_ALL_TESTS();
}
