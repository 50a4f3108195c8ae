// The build mode: packs the "Update" folder of the current directory, with
// the title and readme name from "title.txt", into "Update.exe" there.
#pragma once
#include <cstdint>
#include "base/path_text.h"
#include "package/package_format.h"
#include "platform/files.h"

struct PeUpdate;
struct ScanResult;

// What a build made, or why it failed.
struct BuildReport {
    PackageHeader header;           // count and total bytes of the files packed
    char title[kTextLimit + 1];     // from "title.txt", empty when none
    char readmeName[kTextLimit + 1];
    // What to tell the user when the build failed: empty for the failures
    // that end without a message; detail, when set, gets a box of its own.
    char failure[2 * kMaxBuildPath + 200];
    char detail[kMaxBuildPath];
};

// Told after each record and each chunk of a file that was packed: files
// and bytes so far, and of all (the bytes are the records' sizes).
typedef void (*BuildProgressHook)(void* context, uint32_t filesDone, uint32_t fileCount,
                                  uint64_t bytesDone, uint64_t bytesTotal);

// How a build runs beyond the build mode's own way (no options).
struct BuildOptions {
    // The code page of the names in the records: the names as listed are
    // converted to it, and a name it can't hold fails the build.
    // kPlatformCodePage keeps the names as listed, as the build mode does.
    uint32_t nameCodePage;
    BuildProgressHook progress;  // nullptr: none
    void* progressContext;
    // Nonzero: each file whose zlib stream is smaller than the file goes in
    // as a compressed record; the others, as ever, stored.
    int compress;
};

// Nonzero when the package was written into "Update.exe"; 0 on failure,
// with the report saying why.
int BuildPackage(BuildReport* report, const BuildOptions* options = nullptr);

// Ends the build directory's path (length bytes in path, a buffer of limit
// bytes) with one separator and gives its new length; 0 when the longest
// name the build writes there would not fit a path of limit bytes.
// isLeadByte tells the path's double-byte characters.
uint32_t EndBuildDirectory(char* path, uint32_t length, LeadBytePredicate isLeadByte,
                           uint32_t limit = kMaxPath);

// Whether the scan's files can make a package (scanned is the scan's
// result). 0 with the report saying why when they can't.
int CheckScanResult(int scanned, const ScanResult& scan, BuildReport* report);

// Packs the file folder + relativeName as record number index, under the
// name recordName. 0 on failure; report->failure is set when there is
// something to tell.
int AddPayloadFile(PeUpdate* update, const char* folder, const char* relativeName,
                   const char* recordName, uint32_t index, BuildReport* report);
