// The program's string table, as the resource file holds it.
#pragma once

#include "resources/resource.h"

enum StringId : int {
    kClassNameString = IDS_CLASS_NAME,
    kFirstDirectoryString = IDS_FIRST_DIRECTORY, // then every second identifier
    kLastDirectoryString = IDS_LAST_DIRECTORY,
};

// The entry in place, or null when the table has none.
const char16_t* loadStringInPlace(int id);
