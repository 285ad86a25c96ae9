#include "ui/string_table.h"

namespace {

struct Entry {
    int id;
    const char16_t* text;
};

// The directory list ends with the empty string at the odd identifier after each entry.
constexpr Entry kStrings[] = {
    {10002, u"ZANDREL"},
    {10004, u"/"},
    {10006, u"2:/"},
    {10008, u"\\"},
    {10010, u"\\My Documents\\"},
    {10012, u"\\Storage Card\\"},
    {10014, u"\\Storage Card1\\"},
    {10016, u"\\Storage Card2\\"},
    {10018, u"\\\uFF92\uFF93\uFF98 \uFF76\uFF70\uFF84\uFF9E\\"},
    {10020, u"\\\uFF92\uFF93\uFF98 \uFF76\uFF70\uFF84\uFF9E"
            u"1\\"},
    {10022, u"\\\uFF92\uFF93\uFF98 \uFF76\uFF70\uFF84\uFF9E"
            u"2\\"},
    {10024, u"\\Multimedia Card\\"},
    {10026, u"\\miniSD\uFF76\uFF70\uFF84\uFF9E\\"},
    {10028, u"\\microSD\u30AB\u30FC\u30C9\\"},
    {10030, u"user defined"},
    {10031, u""},
};

} // namespace

const char16_t* loadStringInPlace(int id) {
    for (const Entry& entry : kStrings) {
        if (entry.id == id)
            return entry.text;
    }
    return nullptr;
}
