#include "delta/delta_decoder.h"
#include <cstring>
#include <memory>
#include <new>
#include "base/bytes.h"
#include "delta/delta_stream.h"

struct DeltaDecoder {
    DeltaStream streams[kDeltaStreamCount];
    uint64_t oldSize;
    uint64_t oldAt;
    DeltaReadAt readOld;
    void* oldContext;
    uint32_t newLeft;       // bytes of the new file still to make
    uint64_t zerosLeft;     // of the current gap pair
    uint64_t differencesLeft;
    DeltaSink sink;
    void* sinkContext;
    int damaged;            // the delta's own fault, beyond its streams'
    unsigned char chunk[kDeltaChunk];
};

// Ends every started stream on every path.
struct DecoderEnder {
    void operator()(DeltaDecoder* decoder) const {
        for (DeltaStream& stream : decoder->streams) EndDeltaStream(&stream);
        delete decoder;
    }
};

static int IsDamaged(const DeltaDecoder* decoder) {
    int damaged = decoder->damaged;
    for (const DeltaStream& stream : decoder->streams) damaged |= stream.damaged;
    return damaged;
}

static int StartStreams(DeltaDecoder* decoder, const unsigned char* delta, size_t deltaSize) {
    if (deltaSize < kDeltaHeaderSize || memcmp(delta, kDeltaTag, sizeof kDeltaTag) != 0) {
        decoder->damaged = 1;
        return 0;
    }
    uint64_t at = kDeltaHeaderSize;
    for (uint32_t i = 0; i < kDeltaStreamCount; i++) {
        uint32_t size = LoadU32(delta + 4 + 4 * i);
        if (size > deltaSize - at) {
            decoder->damaged = 1;
            return 0;
        }
        if (!StartDeltaStream(&decoder->streams[i], delta + at, size)) return 0;
        at += size;
    }
    decoder->damaged = at != deltaSize;
    return !decoder->damaged;
}

// Adds the next count difference bytes to bytes, reading gap pairs as needed.
static int AddDifferences(DeltaDecoder* decoder, unsigned char* bytes, uint32_t count) {
    DeltaStream* differences = &decoder->streams[kDeltaDifferences];
    while (count) {
        if (decoder->zerosLeft) {
            uint32_t skip = decoder->zerosLeft < count ? static_cast<uint32_t>(decoder->zerosLeft) : count;
            decoder->zerosLeft -= skip;
            bytes += skip;
            count -= skip;
        } else if (decoder->differencesLeft) {
            if (!RefillDeltaStream(differences)) return 0;
            uint32_t piece = differences->end - differences->at;
            if (piece > count) piece = count;
            if (piece > decoder->differencesLeft) piece = static_cast<uint32_t>(decoder->differencesLeft);
            for (uint32_t i = 0; i < piece; i++) bytes[i] += differences->buffer[differences->at + i];
            differences->at += piece;
            decoder->differencesLeft -= piece;
            bytes += piece;
            count -= piece;
        } else {
            if (!ReadDeltaNumber(&decoder->streams[kDeltaZeroRuns], &decoder->zerosLeft) ||
                !ReadDeltaNumber(&decoder->streams[kDeltaRunLengths], &decoder->differencesLeft))
                return 0;
            if (!decoder->zerosLeft && !decoder->differencesLeft) decoder->damaged = 1;
            if (decoder->damaged) return 0;
        }
    }
    return 1;
}

static int Copy(DeltaDecoder* decoder, uint64_t count) {
    while (count) {
        uint32_t piece = count < kDeltaChunk ? static_cast<uint32_t>(count) : kDeltaChunk;
        if (decoder->readOld(decoder->oldContext, decoder->oldAt, decoder->chunk, piece) != piece)
            return 0;
        if (!AddDifferences(decoder, decoder->chunk, piece)) return 0;
        if (!decoder->sink(decoder->sinkContext, decoder->chunk, piece)) return 0;
        decoder->oldAt += piece;
        count -= piece;
    }
    return 1;
}

static int Insert(DeltaDecoder* decoder, uint64_t count) {
    while (count) {
        uint32_t piece = count < kDeltaChunk ? static_cast<uint32_t>(count) : kDeltaChunk;
        if (!ReadDeltaBytes(&decoder->streams[kDeltaInserts], decoder->chunk, piece)) return 0;
        if (!decoder->sink(decoder->sinkContext, decoder->chunk, piece)) return 0;
        count -= piece;
    }
    return 1;
}

// The old position after the copy and the seek, when it stays in the file.
static int Seek(const DeltaDecoder* decoder, uint64_t copy, uint64_t zigzag, uint64_t* oldAt) {
    uint64_t at = decoder->oldAt + copy;
    uint64_t distance = (zigzag >> 1) + (zigzag & 1);  // |s|, without overflow
    if (zigzag & 1) {
        if (distance > at) return 0;
        *oldAt = at - distance;
    } else {
        if (distance > decoder->oldSize - at) return 0;
        *oldAt = at + distance;
    }
    return 1;
}

// Reads and checks one instruction, then makes its bytes.
static int RunInstruction(DeltaDecoder* decoder) {
    uint64_t copy, insert, seek, oldAt;
    if (!ReadDeltaNumber(&decoder->streams[kDeltaCopies], &copy) ||
        !ReadDeltaNumber(&decoder->streams[kDeltaInsertCounts], &insert) ||
        !ReadDeltaNumber(&decoder->streams[kDeltaSeeks], &seek))
        return 0;
    int sound = copy <= decoder->oldSize - decoder->oldAt && copy <= decoder->newLeft &&
                insert <= decoder->newLeft - copy && Seek(decoder, copy, seek, &oldAt);
    decoder->damaged = !sound;
    if (!sound || !Copy(decoder, copy) || !Insert(decoder, insert)) return 0;
    decoder->newLeft -= static_cast<uint32_t>(copy + insert);
    decoder->oldAt = oldAt;
    return 1;
}

static int FinishStreams(DeltaDecoder* decoder) {
    if (decoder->zerosLeft || decoder->differencesLeft) decoder->damaged = 1;
    for (DeltaStream& stream : decoder->streams)
        if (!decoder->damaged && !FinishDeltaStream(&stream)) return 0;
    return !decoder->damaged;
}

int ApplyDelta(const unsigned char* delta, size_t deltaSize, uint64_t oldSize,
               DeltaReadAt readOld, void* oldContext, uint32_t newSize, DeltaSink sink,
               void* sinkContext, int* damaged) {
    *damaged = 0;
    std::unique_ptr<DeltaDecoder, DecoderEnder> decoder(new (std::nothrow) DeltaDecoder());
    if (!decoder) return 0;
    decoder->oldSize = oldSize;
    decoder->readOld = readOld;
    decoder->oldContext = oldContext;
    decoder->newLeft = newSize;
    decoder->sink = sink;
    decoder->sinkContext = sinkContext;
    int done = StartStreams(decoder.get(), delta, deltaSize);
    while (done && decoder->newLeft) done = RunInstruction(decoder.get());
    done = done && FinishStreams(decoder.get());
    *damaged = IsDamaged(decoder.get());
    return done;
}
