// Lists every file under the "Update" folder in package order: in each
// folder every subfolder is walked first (in the file system's order, its
// own subfolders first), then the folder's own files. Nothing is sorted.
// Folders whose names begin with '.' are skipped; files are all listed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ScanResult {
    std::vector<std::string> names;  // relative to the folder, in package order
    uint32_t totalBytes;             // low 32 bits of each size, wrapping
    uint64_t recordBytes;            // the records' full size, for the image limit
    std::string tooLongPath;         // set when a path didn't fit 259 characters
    std::string lostNamePath;        // set, as listed, at a name the code page can't hold
    std::string hugeFile;            // the first file of 4 GiB or more
};

// Scans the folder at path (no trailing '\'). 0 when a path didn't fit,
// with tooLongPath naming it, or a name the ANSI code page can't hold was
// met, with lostNamePath naming it; a missing or empty folder lists nothing.
[[nodiscard]] int ScanUpdateFolder(const char* path, ScanResult* result);

// 1 when two folder identities (from GetFolderIdentity) are the same folder.
// An identity whose file id is 0 (all zeros included) is unknown and matches
// no folder, itself included.
int IsSameFolder(const uint64_t a[2], const uint64_t b[2]);
