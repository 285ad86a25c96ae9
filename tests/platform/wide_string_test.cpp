#include "platform/wide_string.h"

#include <gtest/gtest.h>

namespace {

TEST(WideString, CopyAlwaysTerminatesInsideTheBuffer) {
    char16_t buffer[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(wideCopy(buffer, 4, u"abcdef"), 3u);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(wideCopy(buffer, 4, u""), 0u);
    EXPECT_EQ(buffer[0], 0);
}

TEST(WideString, ReadsLeadingNumbersLikeWtol) {
    EXPECT_EQ(wideToLong(u"115200"), 115200);
    EXPECT_EQ(wideToLong(u"  -12x"), -12);
    EXPECT_EQ(wideToLong(u"abc"), 0);
    EXPECT_EQ(wideToLong(u""), 0);
    EXPECT_EQ(wideToLong(u"99999999999999999999999"), LONG_MAX);
}

TEST(WideString, ConvertsBetweenUtf8AndUtf16) {
    std::u16string text = u"\\microSD\u30AB\u30FC\u30C9\\ \U0001F600";
    EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(text)), text);
    EXPECT_EQ(utf16ToUtf8(u"\uFF92"), "\xEF\xBE\x92");
    // A lone surrogate and broken UTF-8 become replacement characters, never a crash.
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(utf8ToUtf16("\xC3"), u"\uFFFD");
}

TEST(WideString, FindsTextAndCharacters) {
    EXPECT_TRUE(wideContains(u"xhttp://host/", u"http://"));
    EXPECT_FALSE(wideContains(u"\\Storage Card\\", u'/'));
    EXPECT_LT(wideCompare(u"Compaq", u"HP"), 0);
    EXPECT_EQ(wideCompare(u"same", u"same"), 0);
}

TEST(WideString, MatchesLettersInEitherCase) {
    struct Case {
        const char16_t* text;
        const char16_t* part;
        bool contains, equals;
    };
    const Case cases[] = {
        {u"HTTP://host/", u"http://", true, false},
        {u"x hTtP://host/", u"http://", true, false},
        {u"http:/host/", u"http://", false, false},
        {u"HTTP", u"http", true, true},
        {u"http", u"HTTP", true, true},
        {u"htt", u"http", false, false},
        {u"https", u"http", true, false},
        // Only A to Z fold: a full-width letter is another character.
        {u"\uFF28TTP", u"http", false, false},
        {u"", u"", true, true},
        {u"x", u"", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.text) + " / " + utf16ToUtf8(c.part));
        EXPECT_EQ(wideContainsIgnoreCase(c.text, c.part), c.contains);
        EXPECT_EQ(wideEqualsIgnoreCase(c.text, c.part), c.equals);
    }
}

} // namespace
