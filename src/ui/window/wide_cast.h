// The system's wide text (char16_t) and the window system's (WCHAR, 16-bit
// wchar_t under both the Windows and the Wine toolchain) are the same UTF-16.
#pragma once

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the window code is built with 16-bit wchar_t");

inline const wchar_t* asWide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

inline wchar_t* asWide(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}

inline const char16_t* fromWide(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}
