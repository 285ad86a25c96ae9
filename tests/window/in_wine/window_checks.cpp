// The window under Wine on the simulated handheld: every check runs the
// program's entry with its message loop and drives the real controls from a
// second thread (window_driver.h).
#include "gtest_in_wine.h"
#include "platform/wide_string.h"
#include "resources/resource.h"
#include "ui/menu_context.h"
#include "window/win_text.h"
#include "window/window_driver.h"
#include "window_device.h"

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
                  EXPECT_EQ(window.text(IDC_SPEED), "9600"); // 38400 is not in the list
                  EXPECT_TRUE(window.enabled(IDC_SPEED));
                  EXPECT_FALSE(window.checked(IDC_AUTO_BOOT));
                  EXPECT_FALSE(window.enabled(IDC_SECONDS));
                  EXPECT_TRUE(window.checked(IDC_REVERSE_VIDEO));
                  EXPECT_FALSE(window.checked(IDC_PAUSE));
                  EXPECT_TRUE(window.checked(IDC_LOAD_DEBUG_INFO));
                  EXPECT_FALSE(window.checked(IDC_SAFETY));
                  EXPECT_EQ(window.text(IDC_EXTRA), "-x y");

                  window.setText(IDC_SPEED, "38400");
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

// On the 640x240 screen of the checks: wide buttons, the flag boxes in a second column.
TEST_F(WindowChecks, LayoutOnAWideLowScreen) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  auto placeIn = [](HWND parent, HWND child) {
                      RECT rect;
                      GetWindowRect(child, &rect);
                      MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
                      return rect;
                  };
                  HWND root = window.root();
                  RECT bar = placeIn(root, window.control(IDC_COMMAND_BAR));
                  RECT boot = placeIn(root, window.control(IDC_BOOT));
                  RECT cancel = placeIn(root, window.control(IDC_CANCEL));
                  RECT progress = placeIn(root, window.control(IDC_PROGRESS));
                  RECT tabs = placeIn(root, window.control(IDC_TABS));
                  RECT client;
                  GetClientRect(root, &client);
                  EXPECT_EQ(client.right, 640);
                  EXPECT_EQ(boot.right - boot.left, 75);
                  EXPECT_EQ(cancel.right - cancel.left, 75);
                  EXPECT_EQ(cancel.right, client.right);
                  EXPECT_EQ(boot.top, bar.bottom) << "the button row sits under the command bar";
                  EXPECT_EQ(boot.bottom - boot.top, bar.bottom - bar.top) << "and has its height";
                  EXPECT_EQ(progress.left, boot.right);
                  EXPECT_EQ(progress.right, cancel.left);
                  EXPECT_EQ(tabs.top, boot.bottom);
                  EXPECT_EQ(tabs.bottom, client.bottom);
                  HDC screen = GetDC(nullptr);
                  int dpi_x = GetDeviceCaps(screen, LOGPIXELSX), dpi_y = GetDeviceCaps(screen, LOGPIXELSY);
                  ReleaseDC(nullptr, screen);
                  HWND main_page = window.pageOf(IDC_VERBOSE);
                  RECT verbose = placeIn(main_page, window.control(IDC_VERBOSE));
                  EXPECT_EQ(verbose.left, 250 * dpi_x / 96);
                  EXPECT_EQ(verbose.top, 5 * dpi_y / 96);
                  RECT speed = placeIn(main_page, window.control(IDC_SPEED));
                  EXPECT_EQ(speed.left, 350 * dpi_x / 96);
                  EXPECT_EQ(speed.top, 85 * dpi_y / 96);
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

TEST_F(WindowChecks, ClosingDuringTheCountdownDoesNotBoot) {
    // A kernel that would boot at once if the countdown went on.
    window_device::addProbeKernel("probe.elf");
    set(prefs.kernel_name, u"probe.elf");
    prefs.pause_before_boot = 0;
    window_device::runKernelAtJump();
    prefs.auto_boot = 1;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  // The command bar's close button.
                  HWND bar = window.control(IDC_COMMAND_BAR);
                  ASSERT_NE(bar, nullptr);
                  PostMessageW(GetDlgItem(bar, 1), BM_CLICK, 0, 0);
                  EXPECT_TRUE(window.waitUntil([&] { return !IsWindow(window.root()); }));
              }),
              0);
    Sleep(1500);
    EXPECT_EQ(saved().auto_boot, 1) << "nothing was saved";
    EXPECT_FALSE(window_device::jumped());
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
