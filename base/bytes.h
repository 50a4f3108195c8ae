// Little-endian fields in byte buffers: every layout of the program (the
// package's records, header and stamp, and the executable's headers) is read
// and written through these, never by casting a struct over bytes.
#pragma once
#include <cstdint>

inline uint16_t LoadU16(const unsigned char* in) {
    return static_cast<uint16_t>(in[0] | in[1] << 8);
}

inline uint32_t LoadU32(const unsigned char* in) {
    return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
           static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

inline uint64_t LoadU64(const unsigned char* in) {
    return LoadU32(in) | static_cast<uint64_t>(LoadU32(in + 4)) << 32;
}

inline void StoreU16(unsigned char* out, uint16_t value) {
    out[0] = static_cast<unsigned char>(value);
    out[1] = static_cast<unsigned char>(value >> 8);
}

inline void StoreU32(unsigned char* out, uint32_t value) {
    for (int i = 0; i < 4; i++) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void StoreU64(unsigned char* out, uint64_t value) {
    StoreU32(out, static_cast<uint32_t>(value));
    StoreU32(out + 4, static_cast<uint32_t>(value >> 32));
}

// Only a to z change: the program never selects a locale, and bytes from
// 0x80 up belong to the code page.
inline char ToUpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
