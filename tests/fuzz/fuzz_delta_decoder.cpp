// Any bytes as a delta against a fixed old file of 256 bytes: the decoder
// hands on at most the new size in chunks it may hand, all of it exactly when
// it succeeds, and calls every failure damage (its reads and sink never fail).
// Input: the new size (u16, little-endian), then the delta.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include "delta/delta_decoder.h"

static unsigned char g_old[256];

static uint32_t ReadOld(void*, uint64_t offset, void* buffer, uint32_t count) {
    if (offset > sizeof g_old || count > sizeof g_old - offset) abort();
    memcpy(buffer, g_old + offset, count);
    return count;
}

static int Count(void* context, const unsigned char* bytes, uint32_t count) {
    if (count == 0 || count > kDeltaChunk) abort();
    volatile unsigned char last = bytes[count - 1];  // every byte given is readable
    (void)last;
    *static_cast<uint64_t*>(context) += count;
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    for (uint32_t i = 0; i < sizeof g_old; i++) g_old[i] = static_cast<unsigned char>(i * 7 + 3);
    uint32_t newSize = data[0] | data[1] << 8;
    uint64_t total = 0;
    int damaged;
    int applied = ApplyDelta(data + 2, size - 2, sizeof g_old, ReadOld, nullptr, newSize, Count,
                             &total, &damaged);
    if (applied == damaged || total > newSize || (applied && total != newSize)) abort();
    return 0;
}
