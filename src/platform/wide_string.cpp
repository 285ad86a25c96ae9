#include "platform/wide_string.h"

#include <climits>

size_t wideLength(const char16_t* text) {
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

size_t wideCopy(char16_t* destination, size_t capacity, const char16_t* source) {
    if (capacity == 0)
        return 0;
    size_t n = 0;
    while (n + 1 < capacity && source[n] != 0) {
        destination[n] = source[n];
        ++n;
    }
    destination[n] = 0;
    return n;
}

int wideCompare(const char16_t* a, const char16_t* b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return static_cast<int>(*a) - static_cast<int>(*b);
}

bool wideContains(const char16_t* text, const char16_t* part) {
    return std::u16string_view(text).find(part) != std::u16string_view::npos;
}

bool wideContains(const char16_t* text, char16_t c) {
    return std::u16string_view(text).find(c) != std::u16string_view::npos;
}

namespace {

char16_t asciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// Whether `text` starts with `part`, letter case aside.
bool startsWithIgnoreCase(const char16_t* text, const char16_t* part) {
    for (; *part != 0; ++text, ++part) {
        if (asciiLower(*text) != asciiLower(*part))
            return false;
    }
    return true;
}

} // namespace

bool wideContainsIgnoreCase(const char16_t* text, const char16_t* part) {
    for (;; ++text) {
        if (startsWithIgnoreCase(text, part))
            return true;
        if (*text == 0)
            return false;
    }
}

bool wideEqualsIgnoreCase(const char16_t* a, const char16_t* b) {
    for (; asciiLower(*a) == asciiLower(*b); ++a, ++b) {
        if (*a == 0)
            return true;
    }
    return false;
}

long wideToLong(const char16_t* text) {
    while (*text == u' ' || *text == u'\t')
        ++text;
    bool negative = false;
    if (*text == u'-' || *text == u'+')
        negative = *text++ == u'-';
    long value = 0;
    for (; *text >= u'0' && *text <= u'9'; ++text) {
        int digit = *text - u'0';
        if (value > (LONG_MAX - digit) / 10)
            return negative ? LONG_MIN : LONG_MAX;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        char32_t c = 0xFFFD;
        size_t length = lead < 0x80         ? 1
                        : (lead >> 5) == 6  ? 2
                        : (lead >> 4) == 14 ? 3
                        : (lead >> 3) == 30 ? 4
                                            : 0;
        if (length == 0 || i + length > text.size()) {
            ++i;
        } else {
            c = length == 1 ? lead : lead & (0x7F >> length);
            bool valid = true;
            for (size_t k = 1; k < length; ++k) {
                unsigned char next = static_cast<unsigned char>(text[i + k]);
                valid = valid && (next & 0xC0) == 0x80;
                c = (c << 6) | (next & 0x3F);
            }
            if (!valid)
                c = 0xFFFD;
            i += valid ? length : 1;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}
