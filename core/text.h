// text.h -- bounded 8-bit text helpers. Nothing here writes past the capacity
// it is given, and every result is NUL-terminated.
#pragma once

#include <cstddef>
#include <cstdint>

// Appends text to the NUL-terminated buffer; false when it did not all fit
// (the buffer then holds what fit).
bool appendText(char* buffer, size_t capacity, const char* text);

// Plain signed decimal, as "%d" formats it; out holds at least 12 bytes.
void formatDecimal(int32_t value, char* out);

// The letter in lower case; any other character as it is.
inline char lowerCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Bytes written as pairs of hex digits (any case) with blanks or tabs
// between them ("B0 7F 00"): false for anything else, or for more than
// `capacity` bytes.
bool parseHexBytes(const char* text, uint8_t* bytes, uint32_t capacity, uint32_t* length);

// True when both NUL-terminated texts are the same, byte for byte.
bool textEquals(const char* a, const char* b);
// The same with the case of letters not counting: both texts, or the range
// [start, end) and a text (a key, a section's name, a map's name).
bool textEqualsAnyCase(const char* a, const char* b);
bool rangeEqualsAnyCase(const char* start, const char* end, const char* text);

// The part of a path after its last backslash (the whole path when it has none).
const char* fileNamePart(const char* path);
