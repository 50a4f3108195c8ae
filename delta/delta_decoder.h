// A binary delta: what turns one file (the old one, already on the player's
// disk) into another (the new one), as copies from the old file with small
// byte differences and inserts of new bytes. The decoder reads the old file
// only through a callback, a chunk at a time, and hands the new file's bytes
// on in order, so its memory is small (under 400 KiB with zlib's seven
// inflate states) whatever the files' sizes: an old file of 4 GiB works in a
// 32-bit process.
//
// Delta layout, little-endian:
//   +0   4     "DLT2"
//   +4   7*u32 size in bytes of each stream, in the order below
//   +32  ...   the streams in that order, the last ending exactly at the
//              delta's end; each is one zlib stream (RFC 1950), or nothing
//              at all (size 0) when it holds no bytes
//
//   copies       copy counts          zero runs     gap pairs' z
//   insert counts                     run lengths   gap pairs' n
//   seeks        signed               differences   bytes
//                                     inserts       bytes
//
// Numbers are unsigned LEB128 varints (7 bits a byte, low group first, at
// most 64 bits); a signed one is zigzag-coded (0, -1, 1, -2, ... as 0, 1, 2,
// 3, ...). Like numbers go together: each stream deflates better alone.
//
// Instruction k is the k-th number of copies, insert counts and seeks, read
// in turn against an old-file position that starts at 0:
//   copy    c bytes of the new file are old[pos, pos + c) each plus (mod 256)
//           the next difference byte; the copy lies inside the old file
//   insert  i bytes of the new file come next from the inserts
//   seek    signed s: pos becomes pos + c + s, in [0, old size]
// The instructions make exactly the new file's size, then the streams end.
//
// The difference bytes of all copies, one sequence, come as gap pairs
// (z, n): z zero bytes, then n bytes taken from the differences ((0, 0) is
// not a pair). Zeros are what most of a copy's differences are, so they
// cost a number, not a byte each.
//
// Every stream must be used up exactly: a stream that is truncated, fails its
// check, has bytes after its end or left over, or pairs that outlast the
// copies make the delta damaged.
#pragma once
#include <cstddef>
#include <cstdint>

const unsigned char kDeltaTag[4] = {'D', 'L', 'T', '2'};
enum DeltaStreamIndex {
    kDeltaCopies, kDeltaInsertCounts, kDeltaSeeks, kDeltaZeroRuns, kDeltaRunLengths,
    kDeltaDifferences, kDeltaInserts, kDeltaStreamCount
};
const uint32_t kDeltaHeaderSize = 4 + 4 * kDeltaStreamCount;
static_assert(kDeltaHeaderSize == 32, "the streams start at +32");

// Reads count bytes of the old file at offset into buffer; gives the count
// read (less than count is a failure).
typedef uint32_t (*DeltaReadAt)(void* context, uint64_t offset, void* buffer, uint32_t count);
// Takes the next count bytes of the new file; 0 stops the decoding.
typedef int (*DeltaSink)(void* context, const unsigned char* bytes, uint32_t count);

// The largest chunk read from the old file or handed on at a time.
const uint32_t kDeltaChunk = 0x10000;

// Applies delta to the old file of oldSize bytes, handing exactly newSize
// bytes to sink. 1 when all went. 0 with *damaged 1 when the delta is
// damaged (see above), reaches outside the old file, makes more or fewer
// than newSize bytes or has numbers that overflow: nothing past the damage is
// handed on, and what was must be thrown away. 0 with *damaged 0 when the
// sink stopped, the old file could not be read, or memory ran out.
int ApplyDelta(const unsigned char* delta, size_t deltaSize, uint64_t oldSize,
               DeltaReadAt readOld, void* oldContext, uint32_t newSize, DeltaSink sink,
               void* sinkContext, int* damaged);
