#include "file/http_url.h"

#include <cstring>

namespace {

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// What a path segment may hold as it is, besides '/': the unreserved
// characters, the sub-delimiters, ':' and '@'.
bool standsInPath(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    return c != '\0' && std::strchr("-._~!$&'()*+,;=:@/", c) != nullptr;
}

} // namespace

uint16_t parsePort(const char16_t* text, size_t length) {
    if (length == 0)
        return 0;
    uint32_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (!isDigit(text[i]))
            return 0;
        value = value * 10 + static_cast<uint32_t>(text[i] - u'0');
        // Leading zeros aside, more digits cannot make it a port again.
        if (value > 0xFFFF)
            return 0;
    }
    return static_cast<uint16_t>(value);
}

size_t percentEncodePath(const char* path, char* target, size_t capacity) {
    static const char kHex[] = "0123456789ABCDEF";
    size_t length = 0;
    auto put = [&](char c) {
        if (length < capacity)
            target[length] = c;
        ++length;
    };
    for (const char* p = path; *p != '\0'; ++p) {
        char c = *p;
        bool escape_typed = c == '%' && isHexDigit(p[1]) && isHexDigit(p[2]);
        if (standsInPath(c) || escape_typed) {
            put(c);
            continue;
        }
        unsigned char byte = static_cast<unsigned char>(c);
        put('%');
        put(kHex[byte >> 4]);
        put(kHex[byte & 0xF]);
    }
    if (length < capacity)
        target[length] = '\0';
    return length;
}
