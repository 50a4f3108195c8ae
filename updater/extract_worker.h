// The worker thread of the update: writes every record of the running
// package into the install directory, keeps the progress value current,
// leaves "Update.ver", says so and opens the readme.
#pragma once
#include <cstdint>
#include "package/package_format.h"
#include "platform/files.h"

const uint32_t kChunkSize = 0x10000;

// Why a record failed, for the message that lets the user retry.
struct ExtractFailure {
    char target[kMaxPath + 40];  // the file's path, or its name when it has none
    char reason[200];            // in plain words
};

// Writes the whole chunk; a short write is continued, and only a write that
// moves nothing fails, so a full disk can't pass for a written file.
int WriteWholeChunk(FileHandle file, const unsigned char* bytes, uint32_t count);

// Writes the record's content as the file target, chunk by chunk with the
// progress. 1 when it was written completely; 0 with failure telling why.
int WritePayloadContent(const char* target, const PayloadView& record, ExtractFailure* failure);

// 1 when record number index was written completely; 0 on any failure,
// with failure telling why.
int ExtractPayloadFile(uint32_t index, ExtractFailure* failure);

// The thread routine; the parameter is not used.
uint32_t UpdateWorker(void* parameter);

// Percentage of bytes done, truncated as the bar shows it, at most 100; 0
// for a total of 0 (an empty package).
int32_t ComputeProgress(uint32_t bytesDone, uint32_t totalBytes);

// Plain words for why a file could not be written.
const char* DescribeFileFailure(FileFailure failure);
