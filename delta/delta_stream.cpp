#include "delta/delta_stream.h"
#include <cstring>

int StartDeltaStream(DeltaStream* stream, const unsigned char* bytes, uint32_t count) {
    stream->zlib = z_stream();
    stream->started = stream->ended = stream->damaged = 0;
    stream->at = stream->end = 0;
    // No bytes at all: a stream with nothing in it.
    stream->ended = count == 0;
    if (stream->ended) return 1;
    if (inflateInit(&stream->zlib) != Z_OK) return 0;
    stream->started = 1;
    stream->zlib.next_in = const_cast<unsigned char*>(bytes);
    stream->zlib.avail_in = count;
    return 1;
}

void EndDeltaStream(DeltaStream* stream) {
    if (stream->started) inflateEnd(&stream->zlib);
    stream->started = 0;
}

// Inflates the next piece into the buffer. 0 on failure: bad data, a failed
// check, bytes after the end, or input that ends before the stream does.
static int InflateNext(DeltaStream* stream) {
    stream->zlib.next_out = stream->buffer;
    stream->zlib.avail_out = kDeltaStreamBuffer;
    int result = inflate(&stream->zlib, Z_NO_FLUSH);
    stream->at = 0;
    stream->end = kDeltaStreamBuffer - stream->zlib.avail_out;
    if (result == Z_MEM_ERROR) return 0;
    if (result == Z_STREAM_END) {
        stream->ended = 1;
        stream->damaged = stream->zlib.avail_in != 0;
    } else {
        // With all input given at once, no output means no input left.
        stream->damaged = result != Z_OK || stream->end == 0;
    }
    return !stream->damaged;
}

int RefillDeltaStream(DeltaStream* stream) {
    if (stream->at < stream->end) return 1;
    if (stream->ended) {
        stream->damaged = 1;
        return 0;
    }
    if (!InflateNext(stream)) return 0;
    stream->damaged = stream->end == 0;
    return !stream->damaged;
}

int ReadDeltaBytes(DeltaStream* stream, unsigned char* out, uint32_t count) {
    while (count) {
        if (!RefillDeltaStream(stream)) return 0;
        uint32_t piece = stream->end - stream->at;
        if (piece > count) piece = count;
        memcpy(out, stream->buffer + stream->at, piece);
        stream->at += piece;
        out += piece;
        count -= piece;
    }
    return 1;
}

int ReadDeltaNumber(DeltaStream* stream, uint64_t* value) {
    uint64_t number = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (!RefillDeltaStream(stream)) return 0;
        unsigned char byte = stream->buffer[stream->at++];
        // The tenth byte holds bit 63 alone.
        if (shift == 63 && byte > 1) break;
        number |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) {
            *value = number;
            return 1;
        }
    }
    stream->damaged = 1;
    return 0;
}

int FinishDeltaStream(DeltaStream* stream) {
    if (stream->at != stream->end) {
        stream->damaged = 1;
        return 0;
    }
    if (stream->ended) return 1;
    if (!InflateNext(stream)) return 0;
    stream->damaged = !stream->ended || stream->end != 0;
    return !stream->damaged;
}
