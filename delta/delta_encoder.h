// Makes a delta (layout in delta_decoder.h) from two files held in memory:
// the old file's suffixes are sorted, then the new file is walked for the
// longest stretches found in the old one, extended both ways over nearby
// bytes that differ a little (a recompiled program's shifted addresses),
// whose differences then cost little. Native builds only: the packer makes
// deltas, the updater only applies them. The same files make the same delta.
//
// Cost: the sort takes 4 bytes of memory per old byte beside both files,
// plus a 64 MiB table for old files from 4 MiB up.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "delta/delta_decoder.h"

struct DeltaEncodeReport {
    uint64_t copied;        // bytes of the new file made from the old one
    uint64_t inserted;      // bytes sent as they are
    uint64_t instructions;
    uint64_t searches;      // lookups in the old file's suffixes
    uint32_t streamSizes[kDeltaStreamCount];
    const char* refusal;    // why no delta was made, when none was
};

// The largest old file the encoder takes (its suffix sorter's limit), and the
// largest new one (its size is a 32-bit field).
const size_t kDeltaOldLimit = 0x7FFFFFFF;
const size_t kDeltaNewLimit = 0xFFFFFFFF;

// 1 where this build can encode (natively); 0 in the Windows builds.
extern const int kDeltaEncoderPresent;

// Appends the delta that turns old into fresh to *delta. 0 with
// report->refusal set when the encoder declines: a file beyond its limits,
// no memory for the sort, or files so unlike each other that the search
// would take far longer than compressing (the caller then sends the file
// compressed on its own).
int EncodeDelta(const unsigned char* old, size_t oldSize, const unsigned char* fresh,
                size_t freshSize, std::string* delta, DeltaEncodeReport* report);
