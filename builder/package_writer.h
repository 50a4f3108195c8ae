// The build mode: packs the "Update" folder of the current directory, with
// the title and readme name from "title.txt", into "Update.exe" there.
#pragma once
#include <cstdint>
#include "frame/path_text.h"
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
    char failure[2 * kMaxPath + 200];
    char detail[kMaxPath];
};

// Nonzero when the package was written into "Update.exe"; 0 on failure,
// with the report saying why.
int BuildPackage(BuildReport* report);

// Ends the build directory's path (length bytes in path, a kMaxPath buffer)
// with one separator and gives its new length; 0 when the longest name the
// build writes there would not fit a path. isLeadByte tells the path's
// double-byte characters.
uint32_t EndBuildDirectory(char* path, uint32_t length, LeadBytePredicate isLeadByte);

// Whether the scan's files can make a package (scanned is the scan's
// result). 0 with the report saying why when they can't.
int CheckScanResult(int scanned, const ScanResult& scan, BuildReport* report);

// Packs the file folder + relativeName as record number index. 0 on
// failure; report->failure is set when there is something to tell.
int AddPayloadFile(PeUpdate* update, const char* folder, const char* relativeName,
                   uint32_t index, BuildReport* report);
