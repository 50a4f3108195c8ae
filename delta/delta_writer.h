// The encoder's side of the delta layout (delta_decoder.h): the streams,
// deflated at zlib's best level as they fill, and the coding of numbers and
// of difference bytes into gap pairs. Each stream is deflated twice, with
// zlib's default strategy and with the one for filtered data, and the
// smaller kept: which wins varies by stream and file, and inflate reads both.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <zlib.h>
#include "delta/delta_decoder.h"

const int kDeltaStrategies = 2;

struct DeltaOutStream {
    z_stream zlib[kDeltaStrategies];
    int started[kDeltaStrategies];      // deflateInit succeeded: deflateEnd is owed
    std::string pending;                // bytes not yet given to deflate
    std::string packed[kDeltaStrategies];  // the zlib streams so far
    uint64_t total;                     // bytes written
};

struct DeltaWriter {
    DeltaOutStream streams[kDeltaStreamCount];
    uint64_t leadingZeros;   // of the gap pair being made
    uint64_t runBytes;       // difference bytes of that pair so far
    uint64_t trailingZeros;  // zeros after them, not yet placed
    uint64_t pairs;
};

// 0 when zlib has no memory. EndDeltaWriter releases in every case.
int StartDeltaWriter(DeltaWriter* writer);
void EndDeltaWriter(DeltaWriter* writer);

int WriteDeltaInstruction(DeltaWriter* writer, uint64_t copy, uint64_t insert, int64_t seek);
// The differences fresh - old of a copy's count bytes.
int WriteDeltaDifferences(DeltaWriter* writer, const unsigned char* fresh,
                          const unsigned char* old, size_t count);
int WriteDeltaInserts(DeltaWriter* writer, const unsigned char* bytes, size_t count);

// Ends the streams and appends the whole delta to out. 0 when a stream
// exceeds 4 GiB or zlib fails. Gives each stream's packed size in sizes.
int FinishDeltaWriter(DeltaWriter* writer, std::string* out, uint32_t sizes[kDeltaStreamCount]);
