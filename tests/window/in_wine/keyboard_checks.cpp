// The keyboard ring between the root window's controls and the pages, and the tab control.
#include "window_checks.h"

namespace {

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

// Real key presses on the X server, as the faults came. On the vertical tab
// control Down and Up show the next and the previous page, the focus staying
// on the tabs; Left goes to Cancel, the page staying as it is (it went back a
// page before); Right goes into the page shown, so the keys that follow act on
// what is shown; and tab clicks still switch pages.
TEST_F(WindowChecks, ArrowsOnTheTabControlMoveBetweenPagesAndAlongTheRing) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  HWND tabs = window.control(IDC_TABS), cancel = window.control(IDC_CANCEL);
                  HWND main_page = window.pageOf(IDC_KERNEL), option_page = window.pageOf(IDC_AUTO_BOOT);
                  HWND console_page = window.pageOf(IDC_OUTPUT);
                  auto shown = [&](HWND page) {
                      return window.waitUntil([&] { return IsWindowVisible(page) != FALSE; }) &&
                             window.waitUntil([&] {
                                 return (IsWindowVisible(main_page) != FALSE) +
                                            (IsWindowVisible(option_page) != FALSE) +
                                            (IsWindowVisible(console_page) != FALSE) ==
                                        1;
                             });
                  };
                  int directory = window.selection(IDC_DIRECTORY);
                  ASSERT_TRUE(window.pressKeys({"Tab", "Tab"})) << "xdotool";
                  ASSERT_TRUE(window.waitUntil([&] { return window.focus() == tabs; }));
                  ASSERT_TRUE(window.pressKeys({"Down"}));
                  EXPECT_TRUE(shown(option_page));
                  ASSERT_TRUE(window.pressKeys({"Down"}));
                  EXPECT_TRUE(shown(console_page));
                  ASSERT_TRUE(window.pressKeys({"Down"}));
                  Sleep(300);
                  EXPECT_TRUE(shown(console_page)) << "Down on the last tab stays there";
                  ASSERT_TRUE(window.pressKeys({"Up"}));
                  EXPECT_TRUE(shown(option_page));
                  EXPECT_EQ(window.focus(), tabs);

                  ASSERT_TRUE(window.pressKeys({"Left"}));
                  EXPECT_TRUE(window.waitUntil([&] { return window.focus() == cancel; }));
                  Sleep(300);
                  EXPECT_TRUE(shown(option_page)) << "Left moves the focus, not the page";
                  ASSERT_TRUE(window.pressKeys({"Right"}));
                  EXPECT_TRUE(window.waitUntil([&] { return window.focus() == tabs; }));
                  ASSERT_TRUE(window.pressKeys({"Right"}));
                  EXPECT_TRUE(window.waitUntil([&] {
                      return window.focus() == window.control(IDC_AUTO_BOOT);
                  })) << "the focus is in the page shown";
                  EXPECT_TRUE(shown(option_page));
                  ASSERT_TRUE(window.pressKeys({"Down", "Down"}));
                  Sleep(300);
                  EXPECT_EQ(window.selection(IDC_DIRECTORY), directory)
                      << "the hidden Main page kept its directory";
                  EXPECT_TRUE(IsChild(option_page, window.focus()));

                  RECT main_tab{};
                  SendMessageW(tabs, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&main_tab));
                  ASSERT_TRUE(window.clickAt(
                      tabs, {(main_tab.left + main_tab.right) / 2, (main_tab.top + main_tab.bottom) / 2}));
                  EXPECT_TRUE(shown(main_page)) << "a tab click still switches pages";
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

} // namespace
