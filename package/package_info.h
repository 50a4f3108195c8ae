// The package of the program's own image, read once at start: the header,
// title, readme name and a view of every record.
#pragma once
#include <cstdint>
#include <vector>
#include "package/package_format.h"

// One "FILEnnn" resource as found at start. A damaged one fails when its
// turn comes, as a missing one does.
struct PackageRecord {
    int valid;          // it parses as a record
    PayloadView view;   // points into the image, which stays mapped
};

extern PackageHeader g_PackageHeader;
extern char g_Title[kTextLimit + 1];
extern char g_ReadmeName[kTextLimit + 1];
// The records FILE000 up to the header's count, ending early at the first
// one that is missing.
extern std::vector<PackageRecord> g_Records;
// The longest name of a valid record, so that a directory can be checked
// against every path it will hold before anything is written.
extern uint32_t g_LongestRecordName;

// Loads HEADER (exactly 16 bytes), TITLE and, only when there is a title,
// README, then the records. 0 when the package is unusable.
int LoadPackageInfo();
