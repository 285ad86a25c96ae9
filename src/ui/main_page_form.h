// The Main page's controls as values: filled from the Preferences the way
// the page's init fills its controls, and stored back the way its store
// reads them. The window copies these to and from real controls; the
// headless front end sets them directly.
#pragma once

#include <string>
#include <vector>

class MenuContext;

struct MainPageForm {
    struct PlatformChoice {
        int table_position; // among the selectable rows
        const char16_t* name;
    };

    std::vector<std::u16string> directories; // the combo box list
    std::u16string directory;                // the combo box text (1001)
    std::u16string kernel;                   // 1003
    std::vector<PlatformChoice> platforms;   // sorted by name
    int platform_selection = -1;             // position in `platforms`, -1 none
    int rootfs_checked = 0;                  // radio buttons 101..104, -1 none
    std::u16string rootfs_file;              // 105
    bool rootfs_file_enabled = false;
    bool verbose = false, single = false, ask_name = false, debugger = false, serial = false;
    std::vector<std::u16string> speeds; // 154's list
    std::u16string speed_text;          // 154's text
    bool speed_enabled = false;

    void init(const MenuContext& menu);
    void store(MenuContext& menu) const;
    // The sorted position of a machine name; -1 when there is none.
    int findPlatform(std::u16string_view name) const;
};

struct OptionPageForm {
    bool auto_boot = false;     // 200
    std::u16string seconds;     // 2000
    bool reverse_video = false; // 201
    bool pause_before_boot = false;
    bool load_debug_info = false;
    bool safety_message = false;
    std::u16string boot_extra; // 206

    void init(const MenuContext& menu);
    void store(MenuContext& menu) const;
};
