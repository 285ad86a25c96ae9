// The device's system font, in which its dialogs show (wince_shell.h).
#pragma once

struct SystemFont {
    const wchar_t* face; // outlives the pages
    int points;
};
