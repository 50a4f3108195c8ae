// The worker thread of the update: writes every record of the running
// package into the install directory, keeps the progress value current,
// leaves "Update.ver", says so and opens the readme.
#pragma once
#include <cstdint>

const uint32_t kChunkSize = 0x10000;

// Why the last record failed, for the message that lets the user retry.
struct ExtractFailure {
    char target[300];     // the file's path, or its name when it has none
    uint32_t errorCode;   // the system's error, 0 when the package is at fault
    const char* reason;   // plain words when the system has none to give
};
extern ExtractFailure g_ExtractFailure;

// 1 when record number index was written completely; 0 on any failure,
// with g_ExtractFailure telling why.
int ExtractPayloadFile(uint32_t index);

// The thread routine; the parameter is not used.
uint32_t UpdateWorker(void* parameter);

// Percentage of bytes done, truncated as the bar shows it; 0 for a total
// of 0 (an empty package).
int32_t ComputeProgress(uint32_t bytesDone, uint32_t totalBytes);

// Plain words for a system error met while writing a file.
void DescribeWriteError(uint32_t code, char* text, uint32_t size);
