// The worker thread of the update. It installs all or nothing: after the
// checks, every record is written to a new file beside its target; only when
// all are complete are the originals set aside and the new files renamed
// into place, then the stamp; then the originals are deleted. A journal in
// the game folder records each step first, so that Cancel, a failure or a
// killed process can always be undone. Then it says so and opens the readme.
#pragma once
#include <cstdint>
#include "package/package_format.h"
#include "updater/install_failure.h"

// Writes the whole chunk; a short write is continued, and only a write that
// moves nothing fails, so a full disk can't pass for a written file.
int WriteWholeChunk(FileHandle file, const unsigned char* bytes, uint32_t count);

// Writes the record's content as the file target (the package tools' own
// extraction). 1 when it was written completely; 0 with failure telling why.
int WritePayloadContent(const char* target, const PayloadView& record, ExtractFailure* failure);

// 1 when record number index was written completely into its new file
// beside the target; 0 on any failure, with failure telling why.
int ExtractPayloadFile(uint32_t index, ExtractFailure* failure);

// The thread routine; the parameter is not used.
uint32_t UpdateWorker(void* parameter);

// Percentage of bytes done, truncated as the bar shows it, at most 100; 0
// for a total of 0 (an empty package).
int32_t ComputeProgress(uint32_t bytesDone, uint32_t totalBytes);
