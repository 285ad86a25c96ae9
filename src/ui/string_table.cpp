#include "ui/string_table.h"

namespace {

struct Entry {
    int id;
    const char16_t* text;
};

// The resource file's string table (UTF-8 source); the empty string at the odd
// identifier after the last directory ends the directory list.
#define STRING_ENTRY(id, text) {id, u##text},
constexpr Entry kStrings[] = {
#include "resources/strings.inc"
    {10031, u""},
};
#undef STRING_ENTRY

} // namespace

const char16_t* loadStringInPlace(int id) {
    for (const Entry& entry : kStrings) {
        if (entry.id == id)
            return entry.text;
    }
    return nullptr;
}
