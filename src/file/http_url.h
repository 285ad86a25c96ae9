// The parts of an HTTP root URL that need checking, and request targets made
// safe to send: "http://host[:port][/path]".
#pragma once

#include <cstddef>
#include <cstdint>

// The port between ':' and the path: decimal digits only, 1 to 65535. 0 when
// the text is anything else (empty, a word, a sign, digits with letters
// after them, or a number out of range).
uint16_t parsePort(const char16_t* text, size_t length);

// Writes the narrow `path` to `target` with every byte that may not stand in
// a URL path (blanks, controls, '?', '#', '"', bytes above 127, a '%' that
// does not start an escape...) as "%XX"; '/' and escapes already typed stay
// as they are. Returns the length of the result; `target` holds it, with its
// terminator, only when that length is below `capacity`.
size_t percentEncodePath(const char* path, char* target, size_t capacity);
