// UTF-16 string helpers: the wide text of settings, messages and file names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Characters before the terminator.
size_t wideLength(const char16_t* text);
// Copies at most capacity - 1 characters and always terminates; returns the characters copied.
size_t wideCopy(char16_t* destination, size_t capacity, const char16_t* source);
// Ordinal comparison, as wcscmp.
int wideCompare(const char16_t* a, const char16_t* b);
bool wideContains(const char16_t* text, const char16_t* part);
bool wideContains(const char16_t* text, char16_t c);
// As wideContains and wideCompare == 0, with the letters A to Z matching a to z.
bool wideContainsIgnoreCase(const char16_t* text, const char16_t* part);
bool wideEqualsIgnoreCase(const char16_t* a, const char16_t* b);
// Leading decimal number, as _wtol: optional blanks and sign, then digits; 0 when none.
long wideToLong(const char16_t* text);

// Host-side conversions (UTF-8 for terminals, files and test messages).
std::string utf16ToUtf8(std::u16string_view text);
std::u16string utf8ToUtf16(std::string_view text);
