// text.cpp -- bounded text helpers.
#include "core/text.h"

bool appendText(char* buffer, size_t capacity, const char* text) {
    if (capacity == 0) return false;
    size_t length = 0;
    while (length < capacity && buffer[length] != '\0') ++length;
    if (length == capacity) {  // not terminated: terminate, keep what is there
        buffer[capacity - 1] = '\0';
        return false;
    }
    for (; *text != '\0'; ++text) {
        if (length + 1 >= capacity) {
            buffer[length] = '\0';
            return false;
        }
        buffer[length++] = *text;
    }
    buffer[length] = '\0';
    return true;
}

void formatDecimal(int32_t value, char* out) {
    char digits[11];
    int count = 0;
    // Work in unsigned so that the most negative value has a magnitude too.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0u);
    int at = 0;
    if (value < 0) out[at++] = '-';
    while (count > 0) out[at++] = digits[--count];
    out[at] = '\0';
}

const char* fileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\') name = p + 1;
    }
    return name;
}

bool textEquals(const char* a, const char* b) {
    for (; *a != '\0' && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

bool textEqualsAnyCase(const char* a, const char* b) {
    for (; *a != '\0' && lowerCase(*a) == lowerCase(*b); ++a, ++b) {
    }
    return lowerCase(*a) == lowerCase(*b);
}

bool rangeEqualsAnyCase(const char* start, const char* end, const char* text) {
    for (; start < end && *text != '\0' && lowerCase(*start) == lowerCase(*text); ++start, ++text) {
    }
    return start == end && *text == '\0';
}

bool parseHexBytes(const char* text, uint8_t* bytes, uint32_t capacity, uint32_t* length) {
    *length = 0;
    for (const char* at = text;;) {
        while (*at == ' ' || *at == '\t') ++at;
        if (*at == '\0') return true;
        uint32_t value = 0;
        for (int digit = 0; digit < 2; ++digit, ++at) {
            char c = lowerCase(*at);
            bool decimal = c >= '0' && c <= '9', hex = c >= 'a' && c <= 'f';
            if (!decimal && !hex) return false;
            value = value * 16 + static_cast<uint32_t>(decimal ? c - '0' : c - 'a' + 10);
        }
        if ((*at != '\0' && *at != ' ' && *at != '\t') || *length >= capacity) return false;
        bytes[(*length)++] = static_cast<uint8_t>(value);
    }
}
