// A record's file content, chunk by chunk: a stored record's bytes as they
// lie in the package, a compressed one's inflated into a small buffer. No
// whole file is ever held, and a compressed stream must give exactly the
// record's file size, end where the record ends and pass its check.
#pragma once
#include <cstdint>
#include "delta/delta_decoder.h"
#include "package/package_format.h"
#include "platform/files.h"

// The largest chunk handed on at a time.
const uint32_t kContentChunk = 0x10000;

// Takes the next count bytes of the content; 0 stops the reading.
typedef int (*ContentSink)(void* context, const unsigned char* bytes, uint32_t count);

// Hands the record's content to sink in order. 1 when all of it went;
// 0 when the sink stopped it (damaged 0) or the compressed stream is
// damaged: truncated, altered, longer or shorter than the file's size, or
// followed by other bytes (damaged 1). Chunks given before damage was found
// must be thrown away. A delta (ReadDeltaContent) gives damaged 1 here.
[[nodiscard]] int ReadRecordContent(const PayloadView& record, ContentSink sink, void* context, int* damaged);

// Where a delta's base, the installed file it applies to, is read from.
struct DeltaBase {
    DeltaReadAt read;
    void* context;
};

// The base read from the open file *file.
DeltaBase MakeFileBase(FileHandle* file);

// Hands the file a delta makes from base to sink in order, hashing it as it
// goes. 1 when all of it went and it has the record's size and SHA-256; 0
// with damaged 1 when the delta is damaged or makes another file (what went
// must be thrown away), 0 with damaged 0 when the sink stopped or the base
// could not be read.
[[nodiscard]] int ReadDeltaContent(const PayloadView& record, const DeltaBase& base,
                                   ContentSink sink, void* context, int* damaged);
