// How the tools write dates and JSON strings.
#include <cstdio>
#include "packer/packer.h"

void FormatBuildTime(uint64_t fileTime, char* out, uint32_t size) {
    uint64_t seconds = fileTime / 10000000u;
    uint32_t second = static_cast<uint32_t>(seconds % 86400);
    // Days from 0000-03-01, so that leap days end the year; FILETIME starts
    // at 1601-01-01, day 584,694 of that count.
    uint64_t days = seconds / 86400 + 584694;
    uint64_t era = days / 146097;
    uint32_t dayOfEra = static_cast<uint32_t>(days % 146097);
    uint32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    uint32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    uint32_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 is March
    uint32_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    uint32_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    uint64_t year = era * 400 + yearOfEra + (month <= 2 ? 1 : 0);
    snprintf(out, size, "%04llu-%02u-%02u %02u:%02u:%02u UTC",
             static_cast<unsigned long long>(year), month, day, second / 3600, second / 60 % 60,
             second % 60);
}

// The code point of the UTF-8 sequence at text[*at], moving past it; a byte
// that starts no valid sequence gives U+FFFD and is passed alone.
static uint32_t ReadCodePoint(const std::string& text, size_t* at) {
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    unsigned char lead = static_cast<unsigned char>(text[*at]);
    int length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3
                 : lead < 0xF5 ? 4 : 0;
    uint32_t point = length == 1 ? lead : lead & (0x7Fu >> length);
    for (int i = 1; length && i < length; i++) {
        unsigned char next = *at + i < text.size() ? static_cast<unsigned char>(text[*at + i]) : 0;
        if ((next & 0xC0) != 0x80) length = 0;
        point = point << 6 | (next & 0x3Fu);
    }
    if (!length || point < kLeast[length] || point > 0x10FFFF ||
        (point >= 0xD800 && point < 0xE000)) {
        *at += 1;
        return 0xFFFD;
    }
    *at += length;
    return point;
}

static void AppendEscape(std::string* out, uint32_t unit) {
    char text[8];
    snprintf(text, sizeof text, "\\u%04x", unit);
    out->append(text);
}

void AppendJsonString(std::string* out, const std::string& utf8) {
    out->push_back('"');
    for (size_t at = 0; at < utf8.size();) {
        uint32_t point = ReadCodePoint(utf8, &at);
        if (point == '"' || point == '\\') out->push_back('\\');
        if (point >= 0x20 && point < 0x7F) {
            out->push_back(static_cast<char>(point));
        } else if (point < 0x10000) {
            AppendEscape(out, point);
        } else {
            AppendEscape(out, 0xD800 + ((point - 0x10000) >> 10));
            AppendEscape(out, 0xDC00 + ((point - 0x10000) & 0x3FF));
        }
    }
    out->push_back('"');
}

std::string FormatRatio(uint64_t storedBytes, uint64_t fileBytes) {
    uint64_t tenths = fileBytes ? (storedBytes * 1000 + fileBytes / 2) / fileBytes : 1000;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
}
