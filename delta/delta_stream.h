// One of a delta's zlib streams, inflated a small buffer at a time as the
// decoder asks for bytes (inside the decoder only).
#pragma once
#include <cstdint>
#include <zlib.h>

const uint32_t kDeltaStreamBuffer = 0x2000;

struct DeltaStream {
    z_stream zlib;
    int started;   // inflateInit succeeded: inflateEnd is owed
    int ended;     // the zlib stream's end was reached
    int damaged;   // set with every failure that is the delta's fault
    uint32_t at;   // next unread byte of buffer
    uint32_t end;  // end of the inflated bytes in buffer
    unsigned char buffer[kDeltaStreamBuffer];
};

// Starts inflating the count bytes at bytes (none: an empty stream). 0 when
// zlib has no memory.
int StartDeltaStream(DeltaStream* stream, const unsigned char* bytes, uint32_t count);
void EndDeltaStream(DeltaStream* stream);

// Makes at least one byte readable. 0 at the stream's end (damaged: more was
// wanted) or on failure.
int RefillDeltaStream(DeltaStream* stream);

// Copies count bytes out. 0 on failure (damaged when the stream is short).
int ReadDeltaBytes(DeltaStream* stream, unsigned char* out, uint32_t count);

// Reads an unsigned LEB128 number of at most 64 bits.
int ReadDeltaNumber(DeltaStream* stream, uint64_t* value);

// 1 when every byte was read and the zlib stream ended exactly at its input's
// end; else 0 (damaged, unless memory ran out).
int FinishDeltaStream(DeltaStream* stream);
