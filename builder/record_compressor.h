// Compression of a file's content for a compressed record: a reader that
// gives the zlib stream of a file as the resource writer pulls it, so the
// file is never held whole.
#pragma once
#include <cstdint>
#include <memory>
#include "platform/files.h"

struct RecordCompressor;
struct RecordCompressorEnd {
    void operator()(RecordCompressor* compressor) const;
};
typedef std::unique_ptr<RecordCompressor, RecordCompressorEnd> CompressorHandle;

// A compressor over the open file (which the caller keeps and closes).
// Empty when zlib can't start.
CompressorHandle StartRecordCompressor(FileHandle file);

// A PeReadFunction: the next bytes of the stream into buffer; 0 at its end
// or when the file can't be read.
uint32_t ReadCompressedBytes(void* compressor, void* buffer, uint32_t count);

// 1 when the whole stream was given: the file read to its end, inputBytes
// in all, and outputBytes of stream.
[[nodiscard]] int FinishedCompressing(const RecordCompressor* compressor, uint64_t* inputBytes,
                        uint64_t* outputBytes);
