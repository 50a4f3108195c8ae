// Lists every file under the "Update" folder in package order: in each
// folder every subfolder is walked first (in the file system's order, its
// own subfolders first), then the folder's own files. Nothing is sorted.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "platform/platform.h"

struct ScanState {
    uint32_t baseLength;            // where relative names start in the path
    std::vector<std::string> names; // relative names, in package order
    uint32_t fileCount;
    uint32_t totalBytes;            // low 32 bits of each size, wrapping
    uint64_t recordBytes;           // the records' full size, for the image limit
    char failedPath[kMaxPath + 64]; // set when a path didn't fit the buffer
    char hugeFile[kMaxPath];        // the first file of 4 GiB or more
};

extern ScanState g_Scan;

// Scans the folder whose path is in the 260-byte buffer (no trailing '\').
// The buffer is extended in place. 0 when a path didn't fit the buffer.
int ScanUpdateFolder(char* path);
