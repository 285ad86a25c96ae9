#include "ui/menu_context.h"

#include "boot/refused_platforms.h"
#include "platform/wide_format.h"
#include "platform/wide_string.h"
#include "ui/settings_file.h"
#include "ui/string_table.h"

#include <new>

namespace {

MenuContext* the_menu = nullptr;

} // namespace

MenuContext* MenuContext::instance() {
    if (the_menu == nullptr)
        the_menu = new (std::nothrow) MenuContext;
    return the_menu;
}

void MenuContext::destroyInstance() {
    delete the_menu;
    the_menu = nullptr;
}

MenuContext::MenuContext() {
    if (!load())
        setDefaults();
    prefs.version = Preferences::kVersion;
    prefs.size = Preferences::kSize;
}

void MenuContext::setDefaults() {
    applyDefaults(prefs);
}

bool MenuContext::load() {
    // A record shorter than this layout leaves the fields it lacks at their defaults.
    Preferences record = prefs;
    applyDefaults(record);
    if (!loadSettingsFile(record))
        return false;
    prefs = record;
    return true;
}

bool MenuContext::save() {
    return saveSettingsFile(prefs);
}

void MenuContext::print(const char16_t* text) {
    if (console_page != nullptr)
        console_page->append(text, false);
}

void MenuContext::readPages() {
    if (main_page != nullptr)
        main_page->store();
    if (option_page != nullptr)
        option_page->store();
}

const char16_t* MenuContext::dirEntry(int index) const {
    if (index < 0 || index >= kDirectoryEntries)
        return nullptr;
    int id = kFirstDirectoryString + 2 * index;
    if (prefs.dir_user != 0 && id == kLastDirectoryString)
        return prefs.dir_user_path;
    return loadStringInPlace(id);
}

int MenuContext::dirDefaultIndex() const {
    return prefs.dir_user != 0 ? kDirectoryEntries - 1 : 0;
}

const char16_t* MenuContext::platformName(int n) const {
    const PlatformName* row = selectablePlatform(n);
    return row != nullptr ? row->name : nullptr;
}

int MenuContext::platformIndex() const {
    PlatformId current{prefs.platform_cpu, prefs.platform_machine};
    for (int n = 0; const PlatformName* row = selectablePlatform(n); ++n) {
        if (row->id == current)
            return n;
    }
    return 0;
}

int MenuContext::nearestPlatformIndex() const {
    PlatformId current{prefs.platform_cpu, prefs.platform_machine};
    int by_machine = -1;
    int by_cpu = -1;
    for (int n = 0; const PlatformName* row = selectablePlatform(n); ++n) {
        if (row->id == current)
            return n;
        if (by_machine < 0 && row->id.machine == current.machine)
            by_machine = n;
        if (by_cpu < 0 && row->id.cpu == current.cpu)
            by_cpu = n;
    }
    if (by_machine >= 0)
        return by_machine;
    return by_cpu >= 0 ? by_cpu : 0;
}

void MenuContext::selectPlatform(int n) {
    const PlatformName* row = selectablePlatform(n);
    if (row == nullptr)
        return;
    prefs.platform_cpu = row->id.cpu;
    prefs.platform_machine = row->id.machine;
}

void MenuContext::setBootCallback(BootCallback callback, uint32_t argument) {
    boot_callback = callback;
    boot_callback_arg = argument;
}

void MenuContext::startBoot() {
    if (prefs.safety_message) {
        for (const RefusedPlatform* row = refused_platforms; row->cpu != 0; ++row) {
            if (row->cpu == prefs.platform_cpu && row->machine == prefs.platform_machine) {
                messageBox(row->message != nullptr ? row->message : u"Not supported yet.", u"BOOT FAILED",
                           ce::MB_OK | ce::MB_ICONSTOP);
                return;
            }
        }
    }
    if (boot_callback != nullptr)
        boot_callback(boot_callback_arg, this);
}

void MenuContext::progress(const char* mark) {
    if (root_window != nullptr)
        root_window->progressStep(mark);
}

void MenuContext::resetProgress() {
    if (root_window != nullptr)
        root_window->resetProgress();
}

ce::HWND MenuContext::mainWindow() const {
    return root_window != nullptr ? root_window->handle() : nullptr;
}

int MenuContext::messageBox(const char16_t* text, const char16_t* caption, ce::UINT style) {
    ce::HWND owner = mainWindow();
    int answer = ce::MessageBoxW(owner, text, caption, style);
    ce::UpdateWindow(owner);
    return answer;
}
