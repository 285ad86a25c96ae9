// The program's message boxes on the handheld's screen: each lies on the
// screen with its text whole, and its caption's close button is a cross.
#include "window_checks.h"

#include "platform/wince.h"
#include "window/screen_capture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string describe(const RECT& rect) {
    return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + " " +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom) + ")";
}

// The box lies on the screen; its text control lies in it and shows its
// text whole, as the control draws it; its buttons lie in it below the text.
void expectOnTheScreen(WindowDriver& window, HWND box) {
    SCOPED_TRACE(window.boxText(box));
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT frame;
    GetWindowRect(box, &frame);
    EXPECT_TRUE(inside(frame, screen))
        << "the box " << describe(frame) << " on the screen " << describe(screen);
    RECT client;
    GetClientRect(box, &client);
    HWND text = GetDlgItem(box, 0xFFFF);
    RECT text_place = placeIn(box, text);
    EXPECT_TRUE(inside(text_place, client))
        << "the text " << describe(text_place) << " in " << describe(client);
    std::vector<wchar_t> shown(static_cast<size_t>(GetWindowTextLengthW(text)) + 1, L'\0');
    GetWindowTextW(text, shown.data(), static_cast<int>(shown.size()));
    LONG style = GetWindowLongW(text, GWL_STYLE);
    UINT format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0) |
                  ((style & SS_EDITCONTROL) ? DT_EDITCONTROL : 0);
    HDC dc = GetDC(text);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(text, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, text_place.right - text_place.left, 0};
    DrawTextW(dc, shown.data(), -1, &needed, format);
    SelectObject(dc, old);
    ReleaseDC(text, dc);
    EXPECT_LE(needed.right, text_place.right - text_place.left) << "a line is cut at the right";
    EXPECT_LE(needed.bottom, text_place.bottom - text_place.top) << "lines are cut at the bottom";
    for (int id : {IDOK, IDYES, IDNO}) {
        HWND button = GetDlgItem(box, id);
        if (button == nullptr)
            continue;
        RECT place = placeIn(box, button);
        EXPECT_TRUE(inside(place, client)) << "button " << id << " " << describe(place);
        EXPECT_GE(place.top, text_place.top + needed.bottom) << "button " << id << " below the text";
    }
}

DWORD WINAPI askBootFailed(void* text) {
    ce::MessageBoxW(nullptr, static_cast<const char16_t*>(text), u"BOOT FAILED", MB_ICONSTOP | MB_OK);
    return 0;
}

// Boxes of the boot and a box of a long text, on a screen as narrow as an
// iPAQ's: each fits.
TEST_F(WindowChecks, MessageBoxesFitTheScreen) {
    // A line longer than any screen, with a word longer than a line.
    const char16_t kLongText[] =
        u"can't open \"\\Storage Card\\a-kernel-whose-name-is-longer-than-a-line-of-the-screen.gz\" "
        u"for the boot, and this sentence goes on over several lines of the box.";
    set(prefs.rootfs_file, u"missing.fs");
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.clickBoot(); // the safety question
                  HWND question = window.waitForBox(L"WARNING");
                  ASSERT_NE(question, nullptr);
                  expectOnTheScreen(window, question);
                  window.answer(question, IDYES);
                  HWND failed = window.waitForBox(L"BOOT FAILED"); // no kernel
                  ASSERT_NE(failed, nullptr);
                  expectOnTheScreen(window, failed);
                  window.answer(failed, IDOK);

                  window.click(IDC_ROOT_MD); // the image is opened first, and is missing
                  window.click(IDC_SAFETY);
                  window.clickBoot();
                  failed = window.waitForBox(L"BOOT FAILED");
                  ASSERT_NE(failed, nullptr);
                  EXPECT_EQ(window.boxText(failed), "Can't open file system image.\n");
                  expectOnTheScreen(window, failed);
                  window.answer(failed, IDOK);

                  // Asked from a thread of the window system's own, as the boot asks from the window's.
                  HANDLE asking =
                      CreateThread(nullptr, 0, askBootFailed, const_cast<char16_t*>(kLongText), 0, nullptr);
                  ASSERT_NE(asking, nullptr);
                  failed = window.waitForBox(L"BOOT FAILED");
                  EXPECT_NE(failed, nullptr);
                  if (failed != nullptr) {
                      expectOnTheScreen(window, failed);
                      window.answer(failed, IDOK);
                  }
                  EXPECT_EQ(WaitForSingleObject(asking, 10000), WAIT_OBJECT_0);
                  CloseHandle(asking);
              }),
              0);
}

// The caption's close button of a box shows a cross, drawn by Wine with
// Marlett: its dark pixels are symmetric left to right and top to bottom,
// fill both diagonals of a square, and are not the letter "r" that Wine
// draws without the font.
TEST_F(WindowChecks, TheCloseButtonIsACross) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.clickBoot();
                  HWND question = window.waitForBox(L"WARNING");
                  ASSERT_NE(question, nullptr);
                  Sleep(300); // painted
                  TITLEBARINFO title{};
                  title.cbSize = sizeof(title);
                  ASSERT_TRUE(GetTitleBarInfo(question, &title));
                  // The close button: the caption's right end, as high as the caption's buttons.
                  RECT bar = title.rcTitleBar;
                  RECT button{bar.right - GetSystemMetrics(SM_CXSIZE), bar.top, bar.right,
                              bar.top + GetSystemMetrics(SM_CYSIZE)};
                  sim::RgbImage screen = captureScreen(button.right, button.bottom);
                  std::vector<POINT> dark;
                  RECT glyph{button.right, button.bottom, button.left, button.top};
                  for (LONG y = button.top + 2; y < button.bottom - 2; ++y) {
                      for (LONG x = button.left + 2; x < button.right - 2; ++x) {
                          sim::Rgb p = screen.at(x, y);
                          if (p.r + p.g + p.b >=
                              3 * 64) // the glyph's black, not its grey edges nor the button's shadow
                              continue;
                          dark.push_back({x, y});
                          glyph = {std::min(glyph.left, x), std::min(glyph.top, y),
                                   std::max(glyph.right, x + 1), std::max(glyph.bottom, y + 1)};
                      }
                  }
                  window.answer(question, IDNO);
                  ASSERT_GE(dark.size(), 8u) << "no black lines of a cross in the close button";
                  auto isDark = [&](LONG x, LONG y) {
                      return std::any_of(dark.begin(), dark.end(),
                                         [&](const POINT& p) { return p.x == x && p.y == y; });
                  };
                  LONG width = glyph.right - glyph.left, height = glyph.bottom - glyph.top;
                  EXPECT_LE(std::abs(width - height), 1) << width << "x" << height;
                  for (const POINT& p : dark) {
                      EXPECT_TRUE(isDark(glyph.left + glyph.right - 1 - p.x, p.y))
                          << "mirrored left to right: " << p.x << "," << p.y;
                      EXPECT_TRUE(isDark(p.x, glyph.top + glyph.bottom - 1 - p.y))
                          << "mirrored top to bottom: " << p.x << "," << p.y;
                  }
                  for (LONG step = 0; step < std::min(width, height); ++step) {
                      EXPECT_TRUE(isDark(glyph.left + step, glyph.top + step))
                          << "the falling diagonal at " << step;
                      EXPECT_TRUE(isDark(glyph.right - 1 - step, glyph.top + step))
                          << "the rising diagonal at " << step;
                  }
              }),
              0);
}

} // namespace
