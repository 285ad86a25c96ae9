#include "ui/main_page_form.h"

#include "platform/wide_string.h"
#include "ui/menu_context.h"

#include <algorithm>

namespace {

constexpr int kTextSize = 260;
constexpr int kSpeedDigits = 8; // the speed is read into 8 characters
constexpr int kSecondsSize = 32;
constexpr int kExtraSize = 256;
constexpr int kInitialSeconds = 30; // the up-down control's position

// A control's text as the window would read it into a buffer of `capacity`.
std::u16string cut(const std::u16string& text, size_t capacity) {
    return text.substr(0, capacity - 1);
}

void storeText(char16_t* field, size_t capacity, const std::u16string& text) {
    wideCopy(field, capacity, cut(text, capacity).c_str());
}

} // namespace

void MainPageForm::init(const MenuContext& menu) {
    const Preferences& prefs = menu.prefs;
    directories.clear();
    for (int i = 0; const char16_t* entry = menu.dirEntry(i); ++i) {
        if (*entry == 0)
            break;
        directories.push_back(entry);
    }
    int chosen = menu.dirDefaultIndex();
    directory = chosen < static_cast<int>(directories.size()) ? directories[chosen] : u"";

    platforms.clear();
    for (int n = 0; const char16_t* name = menu.platformName(n); ++n)
        platforms.push_back({n, name});
    std::sort(platforms.begin(), platforms.end(), [](const PlatformChoice& a, const PlatformChoice& b) {
        return wideCompare(a.name, b.name) < 0;
    });
    int current = menu.nearestPlatformIndex();
    platform_selection = 0;
    for (size_t i = 0; i < platforms.size(); ++i) {
        if (platforms[i].table_position == current)
            platform_selection = static_cast<int>(i);
    }

    kernel = prefs.kernel_user ? std::u16string(prefs.kernel_name) : u"kalmor.gz";
    rootfs_checked = prefs.rootfs <= kRootNfs ? static_cast<int>(prefs.rootfs) : -1;
    rootfs_file = prefs.rootfs_file;
    rootfs_file_enabled = rootfs_checked == kRootMd;
    ask_name = prefs.boot_ask_name != 0;
    debugger = prefs.boot_debugger != 0;
    single = prefs.boot_single != 0;
    verbose = prefs.boot_verbose != 0;
    serial = prefs.boot_serial != 0;
    speeds = {u"9600", u"19200", u"115200"};
    // A speed typed into the list's edit field shows as its number: showing an
    // entry instead would store that entry over it at the next boot.
    std::string stored = std::to_string(prefs.serial_speed);
    speed_text = std::u16string(stored.begin(), stored.end());
    for (const std::u16string& speed : speeds) {
        if (wideToLong(speed.c_str()) == prefs.serial_speed)
            speed_text = speed;
    }
    speed_enabled = serial;
}

void MainPageForm::store(MenuContext& menu) const {
    Preferences& prefs = menu.prefs;
    storeText(prefs.dir_user_path, kTextSize, directory);
    prefs.dir_user = 1;
    storeText(prefs.kernel_name, kTextSize, kernel);
    prefs.kernel_user = 1;
    if (platform_selection >= 0 && platform_selection < static_cast<int>(platforms.size()))
        menu.selectPlatform(platforms[platform_selection].table_position);
    if (rootfs_checked >= 0 && rootfs_checked <= static_cast<int>(kRootNfs))
        prefs.rootfs = static_cast<uint32_t>(rootfs_checked);
    prefs.boot_ask_name = ask_name;
    prefs.boot_debugger = debugger;
    prefs.boot_verbose = verbose;
    prefs.boot_single = single;
    prefs.boot_serial = serial;
    storeText(prefs.rootfs_file, kTextSize, rootfs_file);
    prefs.serial_speed = static_cast<int32_t>(wideToLong(cut(speed_text, kSpeedDigits).c_str()));
}

int MainPageForm::findPlatform(std::u16string_view name) const {
    for (size_t i = 0; i < platforms.size(); ++i) {
        if (name == platforms[i].name)
            return static_cast<int>(i);
    }
    return -1;
}

void OptionPageForm::init(const MenuContext& menu) {
    const Preferences& prefs = menu.prefs;
    auto_boot = prefs.auto_boot != 0;
    std::string number = std::to_string(auto_boot ? prefs.auto_boot : kInitialSeconds);
    seconds = std::u16string(number.begin(), number.end());
    reverse_video = prefs.reverse_video != 0;
    pause_before_boot = prefs.pause_before_boot != 0;
    load_debug_info = prefs.load_debug_info != 0;
    safety_message = prefs.safety_message != 0;
    boot_extra = prefs.boot_extra;
}

void OptionPageForm::store(MenuContext& menu) const {
    Preferences& prefs = menu.prefs;
    prefs.auto_boot = auto_boot ? static_cast<int32_t>(wideToLong(cut(seconds, kSecondsSize).c_str())) : 0;
    prefs.reverse_video = reverse_video;
    prefs.pause_before_boot = pause_before_boot;
    prefs.load_debug_info = load_debug_info;
    prefs.safety_message = safety_message;
    storeText(prefs.boot_extra, kExtraSize, boot_extra);
}
