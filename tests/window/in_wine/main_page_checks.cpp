// The Main and Option pages: what they show of the settings and store back,
// and the handheld that follows the Main page's machine.
#include "window_checks.h"

#include "sim/device_profile.h"
#include "ui/menu_context.h"
#include "window/machine_at_boot.h"

#include <string>

namespace {

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

} // namespace

namespace {

// The machine list dropped shows its longest name whole and lies on the
// screen; the closed box keeps its template's width. Dropped by a real click
// on its button, and closed by one on the list.
TEST_F(WindowChecks, TheDroppedMachineListShowsItsLongestName) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  HWND platforms = window.control(IDC_PLATFORM);
                  RECT closed;
                  GetWindowRect(platforms, &closed);
                  RECT template_width{0, 0, 110, 0}; // dialog units
                  MapDialogRect(GetParent(platforms), &template_width);
                  EXPECT_EQ(closed.right - closed.left, template_width.right);
                  ASSERT_TRUE(window.clickAt(
                      platforms, {closed.right - closed.left - 5, (closed.bottom - closed.top) / 2}));
                  COMBOBOXINFO info{};
                  info.cbSize = sizeof(info);
                  GetComboBoxInfo(platforms, &info);
                  ASSERT_TRUE(window.waitUntil([&] { return IsWindowVisible(info.hwndList) != FALSE; }));
                  RECT list, items;
                  GetWindowRect(info.hwndList, &list);
                  GetClientRect(info.hwndList, &items);
                  int count = static_cast<int>(SendMessageW(platforms, CB_GETCOUNT, 0, 0));
                  for (int i = 0; i < count; ++i) {
                      wchar_t name[64] = {};
                      SendMessageW(platforms, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
                      const LONG kItemMargin = 2; // the list box's, left of each item's text
                      EXPECT_LE(kItemMargin + textWidth(platforms, name), items.right)
                          << utf8(name) << " is cut off";
                  }
                  EXPECT_GE(list.left, 0);
                  EXPECT_LE(list.right, GetSystemMetrics(SM_CXSCREEN)) << "the list leaves the screen";
                  GetWindowRect(platforms, &closed);
                  EXPECT_EQ(closed.right - closed.left, template_width.right)
                      << "the closed box keeps its size";
                  window.key(platforms, VK_ESCAPE);
              }),
              0);
}

} // namespace
