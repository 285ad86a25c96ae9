// The program's string table, as the resource file holds it.
#pragma once

enum StringId : int {
    kClassNameString = 10002,
    kFirstDirectoryString = 10004, // then every second identifier up to 10030
    kLastDirectoryString = 10030,
};

// The entry in place, or null when the table has none.
const char16_t* loadStringInPlace(int id);
