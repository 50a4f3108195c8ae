// The build: packs the "Update" folder of a build directory, with the title
// and readme name from "title.txt", into "Update.exe" there.
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
    // For the failures that end without a message: the file and the
    // system's reason, for a tool that says more than the build mode.
    char cause[kMaxBuildPath + 300];
    // A build from a release: files left out as unchanged, files sent as
    // deltas (the deltas' bytes, and the files' they make).
    uint32_t unchangedFiles;
    uint32_t deltaFiles;
    uint64_t deltaBytes;
    uint64_t deltaFileBytes;
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
    // Nonzero: each file whose zlib stream is smaller than the file goes in
    // as a compressed record; the others, as ever, stored.
    int compress;
    // With compress, what becomes of a file whose bytes repeat an earlier
    // one's: sent whole (the build mode's way), sent once with its other
    // names pointing to it (into an update program that names "same" in
    // its FORMATS), or sent whole with a note to the reporter.
    int repeats;
    // The folder of the release the players have (nullptr: none): a file
    // the same there is left out, a changed one sent as a delta where that
    // is smaller. Implies compress.
    const char* from;
};
const int kRepeatsWhole = 0, kRepeatsOnce = 1, kRepeatsWholeNoted = 2;

// Hears what the person running a build should know though the build goes
// on: one line of text, naming the file.
struct BuildReporter {
    void (*warn)(void* context, const char* text);  // nullptr: nobody hears
    void* context;
};

// One build: the build directory (with or without its last separator),
// how to build, and who is told of it.
struct BuildRequest {
    const char* folder;
    BuildOptions options;
    BuildProgressHook progress;  // nullptr: none
    void* progressContext;
    BuildReporter reporter;
};

// The build mode's request: that folder, no options, nothing told.
BuildRequest MakeBuildRequest(const char* folder);

// Nonzero when the package was written into "Update.exe" of the request's
// folder; 0 on failure, with the report saying why.
[[nodiscard]] int BuildPackage(const BuildRequest* request, BuildReport* report);

// The message of a build that succeeded.
void DescribeBuiltPackage(const BuildReport& report, char* text, uint32_t size);

// One build under way, passed down through the writer.
struct BuildRun {
    const BuildRequest* request;
    BuildReport* report;
    uint32_t filesDone;
    uint32_t fileCount;
    uint64_t bytesDone;
    uint64_t bytesTotal;
};

// Ends the build directory's path (length bytes in path, a buffer of limit
// bytes) with one separator and gives its new length; 0 when the longest
// name the build writes there would not fit a path of limit bytes.
// isLeadByte tells the path's double-byte characters.
uint32_t EndBuildDirectory(char* path, uint32_t length, LeadBytePredicate isLeadByte,
                           uint32_t limit = kMaxPath);

// Whether the scan's files can make a package (scanned is the scan's
// result). 0 with the report saying why when they can't.
[[nodiscard]] int CheckScanResult(int scanned, const ScanResult& scan, BuildReport* report);

// Packs the file at path as record number index, under the name
// recordName. 0 on failure; the run's report->failure is set when there is
// something to tell the build mode's user, its cause always.
[[nodiscard]] int AddPayloadFile(PeUpdate* update, const char* path, const char* recordName, uint32_t index,
                   BuildRun* run);
