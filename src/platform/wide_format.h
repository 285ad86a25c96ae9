// The one formatter for wide text, with the Windows wide printf conventions:
// %s takes a wide (UTF-16) string and %S an 8-bit one (%ls and %hs say so
// explicitly); %c/%C a wide/8-bit character; %d %i %u %x %X %p with the
// flags '-', '0', '#', a width and a precision. Integers are 32-bit, as on the
// device ('l' changes nothing). Output longer than the buffer is cut, never
// overrun: at most capacity - 1 characters and a terminator are written.
#pragma once

#include <cstdarg>
#include <cstddef>

// Returns the characters written, without the terminator.
int wvsprintfW(char16_t* buffer, size_t capacity, const char16_t* format, va_list args);
int wsprintfW(char16_t* buffer, size_t capacity, const char16_t* format, ...);
// Like wvsprintfW, but output longer than the buffer keeps its last `kept_end`
// characters (at most 256; its reason and line end, in a message) after
// "...", with as much of its start as fits before them.
int wvsprintfKeepingEnd(char16_t* buffer, size_t capacity, size_t kept_end, const char16_t* format,
                        va_list args);
