#include "package/record_content.h"
#include "platform/sha256.h"
#include <cstring>
#include <memory>
#include <new>
#include <vector>
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
    // A delta's bytes are no file's content: it needs its base.
    *damaged = record.delta != 0;
    if (record.delta) return 0;
    if (!record.compressed) return ReadStored(record, sink, context);
    return ReadCompressed(record, sink, context, damaged);
}

// A delta makes its file in pieces as small as one instruction's copy or
// insert: they gather into chunks before they are hashed and handed on,
// since each call into the system (most under Wine) costs far more than the
// bytes it moves.

// The made file on its way to the sink: gathered, then hashed as it passes.
struct MadeFile {
    ContentSink sink;
    void* context;
    Sha256State hash;
    int hashing;
    std::vector<unsigned char> pending;
};

static int PassMade(MadeFile* m) {
    uint32_t n = static_cast<uint32_t>(m->pending.size());
    m->hashing = m->hashing && AddSha256(&m->hash, m->pending.data(), n);
    int passed = m->hashing && (n == 0 || m->sink(m->context, m->pending.data(), n));
    m->pending.clear();
    return passed;
}

static int GatherMade(void* context, const unsigned char* bytes, uint32_t count) {
    MadeFile* m = static_cast<MadeFile*>(context);
    if (m->pending.size() + count > kContentChunk && !PassMade(m)) return 0;
    m->pending.insert(m->pending.end(), bytes, bytes + count);
    return 1;
}

// The base, read through aligned blocks of it kept in memory, up to 16 MiB
// whatever its size: a delta's copies go on near where earlier ones were,
// in several places of the base at once (a program's code and data), and
// each read of the system costs far more than the bytes it moves (0.1 ms
// under Wine). The 19 MB libvips DLL of the real release pair reads 5,700
// blocks of 16 KiB through 4 MiB, 294 of 64 KiB through 16 MiB.
const uint32_t kBaseBlock = 1 << 16;
const size_t kBaseBlocks = 256;

struct BaseBlocks {
    DeltaBase base;
    size_t count;                  // blocks in use: fewer for a small base
    uint64_t start[kBaseBlocks];   // each block's offset in the base
    uint32_t size[kBaseBlocks];    // bytes held (0: none yet)
    uint64_t used[kBaseBlocks];    // when last used
    uint64_t clock;
    std::unique_ptr<unsigned char[]> bytes;
};

// The block that holds offset, read in when none does.
static int FindBlock(BaseBlocks* b, uint64_t offset, size_t* found) {
    uint64_t start = offset / kBaseBlock * kBaseBlock;
    size_t oldest = 0;
    for (size_t i = 0; i < b->count; i++) {
        if (b->size[i] && b->start[i] == start) {
            *found = i;
            b->used[i] = ++b->clock;
            return 1;
        }
        if (b->used[i] < b->used[oldest]) oldest = i;
    }
    unsigned char* block = b->bytes.get() + oldest * kBaseBlock;
    b->size[oldest] = b->base.read(b->base.context, start, block, kBaseBlock);
    b->start[oldest] = start;
    b->used[oldest] = ++b->clock;
    *found = oldest;
    return offset - start < b->size[oldest];
}

static uint32_t ReadThroughBlocks(void* context, uint64_t offset, void* buffer, uint32_t count) {
    BaseBlocks* b = static_cast<BaseBlocks*>(context);
    unsigned char* out = static_cast<unsigned char*>(buffer);
    for (uint32_t done = 0; done < count;) {
        size_t i;
        uint64_t at = offset + done;
        if (!FindBlock(b, at, &i)) return done;  // the base ends short: the decoder fails
        uint32_t from = static_cast<uint32_t>(at - b->start[i]);
        uint32_t n = b->size[i] - from < count - done ? b->size[i] - from : count - done;
        memcpy(out + done, b->bytes.get() + i * kBaseBlock + from, n);
        done += n;
    }
    return count;
}

int ReadDeltaContent(const PayloadView& record, const DeltaBase& base, ContentSink sink,
                     void* context, int* damaged) {
    *damaged = 0;
    MadeFile m = {sink, context, {}, 0, {}};
    if (!record.delta || !StartSha256(&m.hash)) return 0;
    m.hashing = 1;
    m.pending.reserve(kContentChunk);
    BaseBlocks blocks = {base, kBaseBlocks, {}, {}, {}, 0, nullptr};
    if (record.baseSize / kBaseBlock < kBaseBlocks)
        blocks.count = static_cast<size_t>(record.baseSize / kBaseBlock) + 1;
    blocks.bytes.reset(new (std::nothrow) unsigned char[blocks.count * kBaseBlock]);
    if (!blocks.bytes) return 0;
    int made = ApplyDelta(record.content, record.contentSize, record.baseSize, ReadThroughBlocks,
                          &blocks, record.fileSize, GatherMade, &m, damaged) &&
               PassMade(&m);
    unsigned char digest[kSha256DigestSize];
    if (!made || !m.hashing) {
        AbandonSha256(&m.hash);
        return 0;
    }
    if (!FinishSha256(&m.hash, digest)) return 0;
    *damaged = memcmp(digest, record.madeHash, kHashSize) != 0;
    return !*damaged;
}

static uint32_t ReadFileBase(void* context, uint64_t offset, void* buffer, uint32_t count) {
    return ReadBlockAt(*static_cast<FileHandle*>(context), offset, buffer, count);
}

DeltaBase MakeFileBase(FileHandle* file) { return DeltaBase{ReadFileBase, file}; }
