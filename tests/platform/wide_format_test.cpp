#include "platform/wide_format.h"
#include "platform/wide_string.h"

#include <gtest/gtest.h>

namespace {

std::string format(const char16_t* fmt, ...) {
    char16_t buffer[256];
    va_list args;
    va_start(args, fmt);
    wvsprintfW(buffer, 256, fmt, args);
    va_end(args);
    return utf16ToUtf8(buffer);
}

TEST(WideFormat, FollowsTheWindowsWideConventions) {
    EXPECT_EQ(format(u"%s and %S", u"wide", "narrow"), "wide and narrow");
    EXPECT_EQ(format(u"%ls %hs", u"wide", "narrow"), "wide narrow");
    EXPECT_EQ(format(u"%c%C", u'\u00e9', 'x'), "\u00e9x");
    EXPECT_EQ(format(u"%s", u"\uFF92\uFF93\uFF98"), "\uFF92\uFF93\uFF98");
}

TEST(WideFormat, FormatsThirtyTwoBitNumbers) {
    struct Case {
        const char16_t* format;
        uint32_t value;
        const char* expected;
    };
    const Case cases[] = {
        {u"%d", 42, "42"},
        {u"%d", static_cast<uint32_t>(-540), "-540"},
        {u"%d", 0x80000000u, "-2147483648"},
        {u"%u", 0xFFFFFFFFu, "4294967295"},
        {u"%x", 0xC0FFEEu, "c0ffee"},
        {u"%X", 0xC0FFEEu, "C0FFEE"},
        {u"%08x", 0x1234u, "00001234"},
        {u"%#x", 0x102u, "0x102"},
        {u"%#x", 0u, "0"},
        {u"%5d", 7, "    7"},
        {u"%-5d|", 7, "7    |"},
        {u"%05d", static_cast<uint32_t>(-7), "-0007"},
        {u"%.3d", 7, "007"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(format(c.format, c.value), c.expected) << utf16ToUtf8(c.format);
}

TEST(WideFormat, PadsAndCutsStrings) {
    EXPECT_EQ(format(u"[%6s]", u"ab"), "[    ab]");
    EXPECT_EQ(format(u"[%-6S]", "ab"), "[ab    ]");
    EXPECT_EQ(format(u"[%.2s]", u"abcdef"), "[ab]");
    EXPECT_EQ(format(u"%s", static_cast<const char16_t*>(nullptr)), "(null)");
}

TEST(WideFormat, ShowsUnknownConversionsAsWritten) {
    EXPECT_EQ(format(u"100%% sure"), "100% sure");
    EXPECT_EQ(format(u"%q then %d", 5), "%q then 5");
    EXPECT_EQ(format(u"trailing %"), "trailing %");
}

TEST(WideFormat, CutsOutputAtTheBufferWithoutOverrun) {
    char16_t buffer[8];
    buffer[7] = u'#';
    char16_t guard = u'!';
    int count = wsprintfW(buffer, 7, u"%s-%d", u"abcdef", 12345);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(utf16ToUtf8(buffer), "abcdef");
    EXPECT_EQ(buffer[7], u'#');
    EXPECT_EQ(guard, u'!');
    EXPECT_EQ(wsprintfW(buffer, 1, u"abc"), 0);
    EXPECT_EQ(buffer[0], 0);
}

std::string keepingEnd(size_t capacity, size_t kept_end, const char16_t* fmt, ...) {
    char16_t buffer[64];
    buffer[capacity] = u'#';
    va_list args;
    va_start(args, fmt);
    int count = wvsprintfKeepingEnd(buffer, capacity, kept_end, fmt, args);
    va_end(args);
    EXPECT_EQ(buffer[capacity], u'#') << "written past the buffer";
    EXPECT_EQ(static_cast<size_t>(count), utf16ToUtf8(buffer).size());
    return utf16ToUtf8(buffer);
}

TEST(WideFormat, OutputTooLongForTheBufferCanKeepItsEnd) {
    struct Case {
        size_t capacity, kept_end;
        const char16_t* format;
        const char16_t* argument;
        const char* expected;
    };
    const Case cases[] = {
        {16, 5, u"%s: gone\n", u"abcdef", "abcdef: gone\n"},              // fits: as it is
        {14, 5, u"%s: gone\n", u"abcdef", "abcdef: gone\n"},              // 13 characters and the terminator
        {13, 5, u"%s: gone\n", u"abcdef", "abcd...gone\n"},               // one short: the middle goes
        {16, 6, u"%s %d\n", u"0123456789abcdefghij", "012345...ij 42\n"}, // the end spans the number
        {8, 6, u"%s\n", u"0123456789", "0123456"},                        // no room for the end: cut
        {16, 0, u"%s\n", u"0123456789abcdefghij", "0123456789abcde"},     // nothing kept: cut
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(keepingEnd(c.capacity, c.kept_end, c.format, c.argument, 42), c.expected);
    }
}

} // namespace
