#include "delta/delta_writer.h"
#include "base/bytes.h"

// Pending bytes are deflated a piece at a time: a stream never holds more
// than this much beside its packed form.
static const size_t kPendingLimit = 1 << 20;
// A run of at most this many zero differences between two others stays in
// the run as bytes instead of closing the pair (none: with zero runs and run
// lengths in streams of their own, a pair costs less than a zero byte).
static const uint64_t kMergedGap = 0;

static const int kStrategies[kDeltaStrategies] = {Z_DEFAULT_STRATEGY, Z_FILTERED};

int StartDeltaWriter(DeltaWriter* writer) {
    for (DeltaOutStream& stream : writer->streams) {
        for (int i = 0; i < kDeltaStrategies; i++) {
            stream.zlib[i] = z_stream();
            // memLevel 9: larger deflate blocks, a little smaller output.
            if (deflateInit2(&stream.zlib[i], Z_BEST_COMPRESSION, Z_DEFLATED, 15, 9,
                             kStrategies[i]) != Z_OK)
                return 0;
            stream.started[i] = 1;
        }
    }
    return 1;
}

void EndDeltaWriter(DeltaWriter* writer) {
    for (DeltaOutStream& stream : writer->streams) {
        for (int i = 0; i < kDeltaStrategies; i++) {
            if (stream.started[i]) deflateEnd(&stream.zlib[i]);
            stream.started[i] = 0;
        }
    }
}

static int DeflateInto(z_stream* zlib, std::string* packed, std::string* pending, int flush) {
    zlib->next_in = reinterpret_cast<unsigned char*>(&(*pending)[0]);
    zlib->avail_in = static_cast<uInt>(pending->size());
    unsigned char out[0x8000];
    int result;
    do {
        zlib->next_out = out;
        zlib->avail_out = sizeof out;
        result = deflate(zlib, flush);
        if (result == Z_STREAM_ERROR) return 0;
        packed->append(reinterpret_cast<char*>(out), sizeof out - zlib->avail_out);
    } while (zlib->avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    return 1;
}

static int DeflatePending(DeltaOutStream* stream, int flush) {
    for (int i = 0; i < kDeltaStrategies; i++)
        if (!DeflateInto(&stream->zlib[i], &stream->packed[i], &stream->pending, flush)) return 0;
    stream->pending.clear();
    return 1;
}

static int Append(DeltaOutStream* stream, const unsigned char* bytes, size_t count) {
    stream->total += count;
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
    uint64_t zigzag = seek < 0 ? (~static_cast<uint64_t>(seek) << 1) | 1 : static_cast<uint64_t>(seek) << 1;
    return AppendNumber(&writer->streams[kDeltaCopies], copy) &&
           AppendNumber(&writer->streams[kDeltaInsertCounts], insert) &&
           AppendNumber(&writer->streams[kDeltaSeeks], zigzag);
}

static int ClosePair(DeltaWriter* writer) {
    if (!AppendNumber(&writer->streams[kDeltaZeroRuns], writer->leadingZeros) ||
        !AppendNumber(&writer->streams[kDeltaRunLengths], writer->runBytes))
        return 0;
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
        bytes->pending.append(writer->trailingZeros, '\0');
        bytes->total += writer->trailingZeros;
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

// The smaller of the stream's packed forms; nothing for an empty stream.
static int FinishStream(DeltaOutStream* stream, std::string* packed) {
    if (!DeflatePending(stream, Z_FINISH)) return 0;
    int best = stream->packed[1].size() < stream->packed[0].size();
    if (stream->total) packed->swap(stream->packed[best]);
    for (std::string& form : stream->packed) form = std::string();
    return packed->size() <= UINT32_MAX;
}

int FinishDeltaWriter(DeltaWriter* writer, std::string* out, uint32_t sizes[kDeltaStreamCount]) {
    if (writer->runBytes && !ClosePair(writer)) return 0;
    if (writer->leadingZeros && !ClosePair(writer)) return 0;
    unsigned char header[kDeltaHeaderSize];
    for (uint32_t i = 0; i < sizeof kDeltaTag; i++) header[i] = kDeltaTag[i];
    std::string packed[kDeltaStreamCount];
    for (uint32_t i = 0; i < kDeltaStreamCount; i++) {
        if (!FinishStream(&writer->streams[i], &packed[i])) return 0;
        sizes[i] = static_cast<uint32_t>(packed[i].size());
        StoreU32(header + 4 + 4 * i, sizes[i]);
    }
    out->append(reinterpret_cast<char*>(header), sizeof header);
    for (const std::string& stream : packed) out->append(stream);
    return 1;
}
