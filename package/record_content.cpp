#include "package/record_content.h"
#include "platform/sha256.h"
#include <cstring>
#include <memory>
#include <zlib.h>

static int ReadStored(const PayloadView& record, ContentSink sink, void* context) {
    // 64-bit position: the step past the last chunk must not wrap to 0.
    for (uint64_t at = 0; at < record.contentSize; at += kContentChunk) {
        uint64_t left = record.contentSize - at;
        uint32_t chunk = left < kContentChunk ? static_cast<uint32_t>(left) : kContentChunk;
        if (!sink(context, record.content + at, chunk)) return 0;
    }
    return 1;
}

// Ends the stream on every path.
struct InflateEnder {
    void operator()(z_stream* stream) const { inflateEnd(stream); }
};

static int ReadCompressed(const PayloadView& record, ContentSink sink, void* context,
                          int* damaged) {
    z_stream stream = z_stream();
    if (inflateInit(&stream) != Z_OK) return 0;
    std::unique_ptr<z_stream, InflateEnder> ender(&stream);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kContentChunk]);
    stream.next_in = const_cast<unsigned char*>(record.content);
    stream.avail_in = record.contentSize;
    uint64_t done = 0;
    for (;;) {
        stream.next_out = buffer.get();
        stream.avail_out = kContentChunk;
        int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_MEM_ERROR) return 0;
        uint32_t count = kContentChunk - stream.avail_out;
        // Bad data, a failed check, or no way on (the stream ends early).
        *damaged = result != Z_OK && result != Z_STREAM_END;
        // More than the file's size is damage too: the excess never leaves here.
        if (done + count > record.fileSize) *damaged = 1;
        if (*damaged) return 0;
        if (count && !sink(context, buffer.get(), count)) return 0;
        done += count;
        if (result == Z_STREAM_END) {
            *damaged = done != record.fileSize || stream.avail_in != 0;
            return !*damaged;
        }
    }
}

int ReadRecordContent(const PayloadView& record, ContentSink sink, void* context, int* damaged) {
    *damaged = 0;
    if (!record.compressed) return ReadStored(record, sink, context);
    return ReadCompressed(record, sink, context, damaged);
}

// The made file on its way to the sink, hashed as it passes.
struct HashingSink {
    ContentSink sink;
    void* context;
    Sha256State hash;
    int hashing;
};

static int HashAndPass(void* context, const unsigned char* bytes, uint32_t count) {
    HashingSink* h = static_cast<HashingSink*>(context);
    h->hashing = h->hashing && AddSha256(&h->hash, bytes, count);
    return h->hashing && h->sink(h->context, bytes, count);
}

int ReadDeltaContent(const PayloadView& record, const DeltaBase& base, ContentSink sink,
                     void* context, int* damaged) {
    *damaged = 0;
    HashingSink h = {sink, context, {}, 0};
    if (!record.delta || !StartSha256(&h.hash)) return 0;
    h.hashing = 1;
    int made = ApplyDelta(record.content, record.contentSize, record.baseSize, base.read,
                          base.context, record.fileSize, HashAndPass, &h, damaged);
    unsigned char digest[kSha256DigestSize];
    if (!made || !h.hashing) {
        AbandonSha256(&h.hash);
        return 0;
    }
    if (!FinishSha256(&h.hash, digest)) return 0;
    *damaged = memcmp(digest, record.madeHash, kHashSize) != 0;
    return !*damaged;
}
