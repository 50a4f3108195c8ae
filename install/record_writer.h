// Writing a record's content into a file: stored bytes as they are, a
// compressed stream inflated chunk by chunk and checked to its stated size.
#pragma once
#include <cstdint>
#include "install/install_failure.h"
#include "package/package_format.h"

// Writes the whole chunk; a short write is continued, and only a write that
// moves nothing fails, so a full disk can't pass for a written file.
[[nodiscard]] int WriteWholeChunk(FileHandle file, const unsigned char* bytes, uint32_t count);

// Told of each chunk written.
struct WrittenBytes {
    void (*count)(void* context, uint32_t bytes);
    void* context;
};

// Writes the record's content into file (at path, named in a failure),
// telling written of each chunk (nullptr: nobody); a delta is applied to
// base, the installed file open for reading. 1 when it was written
// completely; 0 with failure telling why (a damaged stream, or a delta that
// makes another file than it says, is a package fault).
[[nodiscard]] int WriteRecordContent(FileHandle file, const char* path, const PayloadView& view,
                                     FileHandle base, const WrittenBytes* written,
                                     ExtractFailure* failure);
