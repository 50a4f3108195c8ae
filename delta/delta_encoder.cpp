#include "delta/delta_encoder.h"
#include <memory>
#include <new>
#include "delta/delta_index.h"
#include "delta/delta_writer.h"

const int kDeltaEncoderPresent = 1;

// A new match replaces the current alignment only when it covers this many
// more bytes than the alignment already does: fewer, longer copies.
static const int64_t kMinGain = 8;
// A match this long is taken as it is, so that stretches that agree almost
// everywhere under two alignments can't make the walk quadratic.
static const int64_t kLongMatch = 1 << 12;
// Searches allowed: a floor, and one for every fourth new byte. Files that
// differ throughout need one for every byte (about a microsecond each on a
// large file) and are better sent compressed; the programs and libraries
// measured needed one for every 7th to 12th byte.
static const uint64_t kSearchFloor = 1 << 20;
static const uint64_t kBytesPerSearch = 4;

struct DeltaScan {
    const DeltaIndex* index;
    const unsigned char* old;
    int64_t oldSize;
    const unsigned char* fresh;
    int64_t freshSize;
    DeltaWriter* writer;
    DeltaEncodeReport* report;
    int64_t lastScan;    // where the bytes not yet written start in fresh
    int64_t lastPos;     // and their old position under the last alignment
    int64_t lastOffset;  // old position minus new position of that alignment
};

static int AgreesAt(const DeltaScan* scan, int64_t at, int64_t offset) {
    int64_t oldAt = at + offset;
    return oldAt >= 0 && oldAt < scan->oldSize && scan->old[oldAt] == scan->fresh[at];
}

// A copy reaches as far as scores best, an agreeing byte scoring this and
// every byte costing 1: a copy a third of whose bytes agree still pays
// (measured on real programs, sparse differences cost less than inserting).
static const int64_t kAgreedWeight = 3;

// How far the last alignment carries on past lastScan.
static int64_t ExtendForward(const DeltaScan* scan, int64_t end) {
    int64_t agreed = 0, best = 0, length = 0;
    for (int64_t i = 0; scan->lastScan + i < end && scan->lastPos + i < scan->oldSize;) {
        agreed += scan->old[scan->lastPos + i] == scan->fresh[scan->lastScan + i];
        i++;
        if (agreed * kAgreedWeight - i > best * kAgreedWeight - length) {
            best = agreed;
            length = i;
        }
    }
    return length;
}

// The same backwards from a new match at (end, pos).
static int64_t ExtendBackward(const DeltaScan* scan, int64_t end, int64_t pos) {
    if (end == scan->freshSize) return 0;
    int64_t agreed = 0, best = 0, length = 0;
    for (int64_t i = 1; end >= scan->lastScan + i && pos >= i; i++) {
        agreed += scan->old[pos - i] == scan->fresh[end - i];
        if (agreed * kAgreedWeight - i > best * kAgreedWeight - length) {
            best = agreed;
            length = i;
        }
    }
    return length;
}

// Where both extensions claim the same new bytes, splits them where the
// first alignment's agreements most outnumber the second's.
static void SplitOverlap(const DeltaScan* scan, int64_t end, int64_t pos, int64_t* forward,
                         int64_t* backward) {
    int64_t overlap = scan->lastScan + *forward - (end - *backward);
    if (overlap <= 0) return;
    int64_t score = 0, best = 0, keep = 0;
    for (int64_t i = 0; i < overlap; i++) {
        int64_t at = scan->lastScan + *forward - overlap + i;
        score += scan->fresh[at] == scan->old[scan->lastPos + *forward - overlap + i];
        score -= scan->fresh[end - *backward + i] == scan->old[pos - *backward + i];
        if (score > best) {
            best = score;
            keep = i + 1;
        }
    }
    *forward += keep - overlap;
    *backward -= keep;
}

// Writes the instruction that carries the last alignment forward, inserts
// what neither alignment covers, and moves to the new match at (end, pos).
static int Emit(DeltaScan* scan, int64_t end, int64_t pos) {
    int64_t forward = ExtendForward(scan, end);
    int64_t backward = ExtendBackward(scan, end, pos);
    SplitOverlap(scan, end, pos, &forward, &backward);
    if (end == scan->freshSize) pos = scan->lastPos + forward;  // no seek after the last
    int64_t insert = end - backward - (scan->lastScan + forward);
    int64_t seek = pos - backward - (scan->lastPos + forward);
    const unsigned char* fresh = scan->fresh + scan->lastScan;
    if (!WriteDeltaDifferences(scan->writer, fresh, scan->old + scan->lastPos, forward) ||
        !WriteDeltaInserts(scan->writer, fresh + forward, insert) ||
        !WriteDeltaInstruction(scan->writer, forward, insert, seek))
        return 0;
    scan->report->copied += forward;
    scan->report->inserted += insert;
    scan->report->instructions++;
    scan->lastScan = end - backward;
    scan->lastPos = pos - backward;
    scan->lastOffset = pos - end;
    return 1;
}

// Files large enough for the walk to take long are first sampled: at evenly
// spaced places of the new file, a stretch found in the old one. When few
// are, the files are unlike and the walk would only find that out slowly.
static const int64_t kSamples = 4096;
static const int64_t kSampleMatch = 16;

static int LooksAlike(DeltaScan* scan) {
    if (scan->freshSize < static_cast<int64_t>(kSearchFloor)) return 1;
    int64_t found = 0, pos;
    for (int64_t i = 0; i < kSamples; i++) {
        int64_t at = scan->freshSize / kSamples * i;
        // Only as far as the test needs: identical files match to their end.
        int64_t key = scan->freshSize - at < kSampleMatch ? scan->freshSize - at : kSampleMatch;
        found += FindLongestMatch(scan->index, scan->fresh + at, key, 0, &pos) >= kSampleMatch;
    }
    return found * 8 >= kSamples;
}

// Walks the new file: at each position, the longest match in the old file;
// a match that beats what the current alignment gives there closes the
// current stretch.
static int WalkNewFile(DeltaScan* scan) {
    uint64_t budget = kSearchFloor + static_cast<uint64_t>(scan->freshSize) / kBytesPerSearch;
    int64_t at = 0, length = 0, pos = 0;
    if (!LooksAlike(scan)) {
        scan->report->refusal = "the files differ too much for a delta to pay";
        return 0;
    }
    while (at < scan->freshSize) {
        int64_t agreed = 0;
        int64_t counted = at += length;
        for (; at < scan->freshSize; at++) {
            if (++scan->report->searches > budget) {
                scan->report->refusal = "the files differ too much for a delta to pay";
                return 0;
            }
            length = FindLongestMatch(scan->index, scan->fresh + at, scan->freshSize - at,
                                      at + scan->lastOffset, &pos);
            for (; counted < at + length; counted++) agreed += AgreesAt(scan, counted, scan->lastOffset);
            if ((length == agreed && length != 0) || length > agreed + kMinGain ||
                (length >= kLongMatch && length > agreed))
                break;
            agreed -= AgreesAt(scan, at, scan->lastOffset);
        }
        if ((length != agreed || at == scan->freshSize) && !Emit(scan, at, pos)) return 0;
    }
    return 1;
}

struct WriterEnder {
    void operator()(DeltaWriter* writer) const {
        EndDeltaWriter(writer);
        delete writer;
    }
};

int EncodeDelta(const unsigned char* old, size_t oldSize, const unsigned char* fresh,
                size_t freshSize, std::string* delta, DeltaEncodeReport* report) {
    *report = DeltaEncodeReport();
    report->refusal = "the files are too large for a delta";
    if (oldSize > kDeltaOldLimit || freshSize > kDeltaNewLimit) return 0;
    report->refusal = "no memory for the delta's search";
    std::unique_ptr<DeltaIndex> index(new (std::nothrow) DeltaIndex());
    std::unique_ptr<DeltaWriter, WriterEnder> writer(new (std::nothrow) DeltaWriter());
    if (!index || !writer || !BuildDeltaIndex(index.get(), old, oldSize) ||
        !StartDeltaWriter(writer.get()))
        return 0;
    DeltaScan scan = {index.get(), old, static_cast<int64_t>(oldSize), fresh,
                      static_cast<int64_t>(freshSize), writer.get(), report, 0, 0, 0};
    report->refusal = nullptr;
    if (!WalkNewFile(&scan)) {
        if (!report->refusal) report->refusal = "the delta's streams could not be compressed";
        return 0;
    }
    if (!FinishDeltaWriter(writer.get(), delta, report->streamSizes)) {
        report->refusal = "the delta's streams could not be compressed";
        return 0;
    }
    return 1;
}
