// The old file's suffixes in sorted order (libdivsufsort), with a table of
// where each 2- or 3-byte prefix starts, to find the longest stretch of the
// old file that a stretch of the new one begins with.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// The suffix sorter counts in 32-bit signed numbers.
const size_t kDeltaIndexLimit = 0x7FFFFFFF;

struct DeltaIndex {
    const unsigned char* old;
    int64_t oldSize;
    std::unique_ptr<int32_t[]> suffixes;   // oldSize entries
    std::unique_ptr<uint32_t[]> buckets;   // 256^prefixBytes + 1 entries
    uint32_t prefixBytes;
};

// 0 when old is larger than kDeltaIndexLimit or memory runs out.
int BuildDeltaIndex(DeltaIndex* index, const unsigned char* old, size_t oldSize);

// The length of the longest prefix of key[0, keySize) found in the old file
// (0 when it shares not even the bucket's prefix), and where it starts: of
// equally long matches next to each other in the sorted order, the one
// nearest preferred (where the current alignment would read), so that seeks
// stay short.
int64_t FindLongestMatch(const DeltaIndex* index, const unsigned char* key, int64_t keySize,
                         int64_t preferred, int64_t* position);
