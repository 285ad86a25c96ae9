// The process-wide settings context: the Preferences, the window and its
// pages, the boot callback and the debugging hooks.
#pragma once

#include "boot/platform_table.h"
#include "platform/wince.h"
#include "ui/preferences.h"
#include "ui/settings_file.h"
#include "ui/views.h"

#include <cstdint>

class MenuContext;
struct BootInfo;
using BootCallback = int (*)(uint32_t argument, MenuContext* context);
struct DebugHook;
using DebugHookFunction = void (*)(uint32_t argument, uint32_t mask, DebugHook* slot);
struct DebugHook {
    DebugHookFunction function;
    uint32_t argument;
};

class MenuContext {
  public:
    static constexpr int kDirectoryEntries = 14;

    // Created on first use (loading the settings or setting the defaults).
    static MenuContext* instance();
    static void destroyInstance();
    virtual ~MenuContext() = default;

    void setDefaults();
    bool load();
    bool save();

    // Hands the text to the Console page; dropped while there is none.
    void print(const char16_t* text);
    void readPages();

    const char16_t* dirEntry(int index) const;
    int dirDefaultIndex() const;

    const char16_t* platformName(int n) const;
    // The selectable row equal to the stored pair in both words; 0 when none is.
    int platformIndex() const;
    // The row the Main page shows for the stored pair: the pair; else the row
    // of the machine word alone, which names its processor too; else the first
    // row of the processor word; else 0. A damaged word never takes the sound
    // one with it when the page stores its choice.
    int nearestPlatformIndex() const;
    void selectPlatform(int n);

    void setBootCallback(BootCallback callback, uint32_t argument);
    void startBoot();
    void progress(const char* mark);
    void resetProgress();

    // The kernel's argument vector (8-bit strings after the vector) and the
    // boot-information record, built from the Preferences.
    uint32_t setupKernelArgs(uint32_t* vector, uint32_t vector_paddr, uint32_t room);
    void setupBootInfo(BootInfo* record);

    // A message box owned by the main window, followed by its repaint.
    int messageBox(const char16_t* text, const char16_t* caption, ce::UINT style);
    ce::HWND mainWindow() const;

    RootWindowView* root_window = nullptr;
    SettingsPage* main_page = nullptr;
    SettingsPage* option_page = nullptr;
    ConsoleView* console_page = nullptr;
    Preferences prefs{};
    BootCallback boot_callback = nullptr;
    uint32_t boot_callback_arg = 0;
    DebugHook debug_hooks[4]{};
    uint32_t debug_mask = 0;

  private:
    MenuContext();
};
