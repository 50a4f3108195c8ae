#include "delta/delta_index.h"
#include <divsufsort.h>
#include <cstdlib>
#include <cstring>
#include <new>

// Three bytes of prefix (a 64 MiB table) only where the old file is large
// enough for the table to save more search steps than it costs to fill.
static const size_t kLargeOld = 1 << 22;

static uint32_t PrefixKey(const DeltaIndex* index, int64_t at) {
    uint32_t key = 0;
    for (uint32_t i = 0; i < index->prefixBytes; i++)
        key = key << 8 | (at + i < index->oldSize ? index->old[at + i] : 0);
    return key;
}

int BuildDeltaIndex(DeltaIndex* index, const unsigned char* old, size_t oldSize) {
    if (oldSize > kDeltaIndexLimit) return 0;
    index->old = old;
    index->oldSize = static_cast<int64_t>(oldSize);
    index->prefixBytes = oldSize >= kLargeOld ? 3 : 2;
    uint32_t keys = 1u << (8 * index->prefixBytes);
    index->suffixes.reset(new (std::nothrow) int32_t[oldSize ? oldSize : 1]);
    index->buckets.reset(new (std::nothrow) uint32_t[keys + 1]());
    if (!index->suffixes || !index->buckets) return 0;
    if (oldSize && divsufsort(old, index->suffixes.get(), static_cast<int32_t>(oldSize)) != 0)
        return 0;
    // Suffixes shorter than the prefix count as padded with zeros: they sort
    // first among those of their padded prefix, so each bucket stays a range.
    for (int64_t at = 0; at < index->oldSize; at++) index->buckets[PrefixKey(index, at) + 1]++;
    for (uint32_t key = 0; key < keys; key++) index->buckets[key + 1] += index->buckets[key];
    return 1;
}

static int64_t CommonLength(const unsigned char* a, int64_t aSize, const unsigned char* b,
                            int64_t bSize, int64_t from) {
    int64_t limit = aSize < bSize ? aSize : bSize;
    while (from < limit && a[from] == b[from]) from++;
    return from;
}

// How many neighbours on each side are looked at, for matches up to how
// long (a long match is rarely ambiguous, and comparing it costs its length).
static const int64_t kNeighbours = 16;
static const int64_t kAmbiguousLength = 256;

// Suffixes in the sorted order, from first to last, that may share key's
// prefix; first > last when none does.
static void FindBucket(const DeltaIndex* index, const unsigned char* key, int64_t keySize,
                       int64_t* first, int64_t* last) {
    *first = 0;
    *last = index->oldSize - 1;
    if (keySize < index->prefixBytes) return;
    uint32_t prefix = 0;
    for (uint32_t i = 0; i < index->prefixBytes; i++) prefix = prefix << 8 | key[i];
    *first = index->buckets[prefix];
    *last = static_cast<int64_t>(index->buckets[prefix + 1]) - 1;
}

// Of the suffixes next to found in the sorted order that match key as far,
// the one that starts nearest preferred.
static int64_t PreferNearest(const DeltaIndex* index, const unsigned char* key, int64_t length,
                             int64_t found, int64_t preferred) {
    int64_t position = index->suffixes[found];
    for (int step = -1; step <= 1 && length <= kAmbiguousLength; step += 2) {
        for (int64_t j = found + step, n = 0; j >= 0 && j < index->oldSize && n < kNeighbours;
             j += step, n++) {
            int64_t other = index->suffixes[j];
            if (index->oldSize - other < length || memcmp(index->old + other, key, length) != 0) break;
            if (llabs(other - preferred) < llabs(position - preferred)) position = other;
        }
    }
    return position;
}

int64_t FindLongestMatch(const DeltaIndex* index, const unsigned char* key, int64_t keySize,
                         int64_t preferred, int64_t* position) {
    int64_t first, last;
    FindBucket(index, key, keySize, &first, &last);
    *position = 0;
    if (first > last) return 0;
    const int32_t* suffixes = index->suffixes.get();
    const unsigned char* old = index->old;
    int64_t oldSize = index->oldSize;
    // Bisect [first, last], knowing how much of key each end shares: every
    // suffix between them shares at least the smaller of the two.
    int64_t firstLength = CommonLength(old + suffixes[first], oldSize - suffixes[first], key, keySize, 0);
    int64_t lastLength = CommonLength(old + suffixes[last], oldSize - suffixes[last], key, keySize, 0);
    while (last - first > 1) {
        int64_t middle = first + (last - first) / 2;
        const unsigned char* suffix = old + suffixes[middle];
        int64_t suffixSize = oldSize - suffixes[middle];
        int64_t from = firstLength < lastLength ? firstLength : lastLength;
        int64_t length = CommonLength(suffix, suffixSize, key, keySize, from);
        int below = length == suffixSize || (length < keySize && suffix[length] < key[length]);
        (below ? first : last) = middle;
        (below ? firstLength : lastLength) = length;
    }
    int useFirst = firstLength >= lastLength;
    int64_t length = useFirst ? firstLength : lastLength;
    *position = PreferNearest(index, key, length, useFirst ? first : last, preferred);
    return length;
}
