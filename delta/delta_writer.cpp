#include "delta/delta_writer.h"
#include "base/bytes.h"

// Pending bytes are deflated a piece at a time: a stream never holds more
// than this much beside its packed form.
static const size_t kPendingLimit = 1 << 20;
// A run of at most this many zero differences between two others stays in
// the run as bytes: cheaper than closing the pair and opening another.
static const uint64_t kMergedGap = 1;

int StartDeltaWriter(DeltaWriter* writer) {
    for (DeltaOutStream& stream : writer->streams) {
        stream.zlib = z_stream();
        // memLevel 9: larger deflate blocks, a little smaller output.
        if (deflateInit2(&stream.zlib, Z_BEST_COMPRESSION, Z_DEFLATED, 15, 9,
                         Z_DEFAULT_STRATEGY) != Z_OK)
            return 0;
        stream.started = 1;
    }
    return 1;
}

void EndDeltaWriter(DeltaWriter* writer) {
    for (DeltaOutStream& stream : writer->streams) {
        if (stream.started) deflateEnd(&stream.zlib);
        stream.started = 0;
    }
}

static int DeflatePending(DeltaOutStream* stream, int flush) {
    stream->zlib.next_in = reinterpret_cast<unsigned char*>(&stream->pending[0]);
    stream->zlib.avail_in = static_cast<uInt>(stream->pending.size());
    unsigned char out[0x8000];
    int result;
    do {
        stream->zlib.next_out = out;
        stream->zlib.avail_out = sizeof out;
        result = deflate(&stream->zlib, flush);
        if (result == Z_STREAM_ERROR) return 0;
        stream->packed.append(reinterpret_cast<char*>(out), sizeof out - stream->zlib.avail_out);
    } while (stream->zlib.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    stream->pending.clear();
    return 1;
}

static int Append(DeltaOutStream* stream, const unsigned char* bytes, size_t count) {
    stream->pending.append(reinterpret_cast<const char*>(bytes), count);
    return stream->pending.size() < kPendingLimit || DeflatePending(stream, Z_NO_FLUSH);
}

static int AppendNumber(DeltaOutStream* stream, uint64_t value) {
    unsigned char bytes[10];
    size_t count = 0;
    while (value >= 0x80) {
        bytes[count++] = static_cast<unsigned char>(value | 0x80);
        value >>= 7;
    }
    bytes[count++] = static_cast<unsigned char>(value);
    return Append(stream, bytes, count);
}

int WriteDeltaInstruction(DeltaWriter* writer, uint64_t copy, uint64_t insert, int64_t seek) {
    DeltaOutStream* stream = &writer->streams[kDeltaInstructions];
    uint64_t zigzag = seek < 0 ? (~static_cast<uint64_t>(seek) << 1) | 1 : static_cast<uint64_t>(seek) << 1;
    return AppendNumber(stream, copy) && AppendNumber(stream, insert) && AppendNumber(stream, zigzag);
}

static int ClosePair(DeltaWriter* writer) {
    DeltaOutStream* gaps = &writer->streams[kDeltaGaps];
    if (!AppendNumber(gaps, writer->leadingZeros) || !AppendNumber(gaps, writer->runBytes)) return 0;
    writer->pairs++;
    writer->leadingZeros = writer->trailingZeros;
    writer->trailingZeros = writer->runBytes = 0;
    return 1;
}

static int AddDifference(DeltaWriter* writer, unsigned char difference) {
    DeltaOutStream* bytes = &writer->streams[kDeltaDifferences];
    if (writer->runBytes && writer->trailingZeros > kMergedGap && !ClosePair(writer)) return 0;
    if (writer->runBytes) {
        writer->runBytes += writer->trailingZeros;
        writer->streams[kDeltaDifferences].pending.append(writer->trailingZeros, '\0');
        writer->trailingZeros = 0;
    }
    writer->runBytes++;
    return Append(bytes, &difference, 1);
}

int WriteDeltaDifferences(DeltaWriter* writer, const unsigned char* fresh,
                          const unsigned char* old, size_t count) {
    for (size_t i = 0; i < count; i++) {
        unsigned char difference = static_cast<unsigned char>(fresh[i] - old[i]);
        if (difference) {
            if (!AddDifference(writer, difference)) return 0;
        } else if (writer->runBytes) {
            writer->trailingZeros++;
        } else {
            writer->leadingZeros++;
        }
    }
    return 1;
}

int WriteDeltaInserts(DeltaWriter* writer, const unsigned char* bytes, size_t count) {
    return Append(&writer->streams[kDeltaInserts], bytes, count);
}

int FinishDeltaWriter(DeltaWriter* writer, std::string* out) {
    if (writer->runBytes && !ClosePair(writer)) return 0;
    if (writer->leadingZeros && !ClosePair(writer)) return 0;
    unsigned char header[kDeltaHeaderSize];
    for (uint32_t i = 0; i < sizeof kDeltaTag; i++) header[i] = kDeltaTag[i];
    for (uint32_t i = 0; i < kDeltaStreamCount; i++) {
        DeltaOutStream* stream = &writer->streams[i];
        if (!DeflatePending(stream, Z_FINISH) || stream->packed.size() > UINT32_MAX) return 0;
        StoreU32(header + 4 + 4 * i, static_cast<uint32_t>(stream->packed.size()));
    }
    out->append(reinterpret_cast<char*>(header), sizeof header);
    for (DeltaOutStream& stream : writer->streams) {
        out->append(stream.packed);
        stream.packed = std::string();
    }
    return 1;
}
