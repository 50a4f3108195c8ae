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
// Loads HEADER (exactly 16 bytes), TITLE and, only when there is a title,
// README. 0 when the package is unusable.
[[nodiscard]] int LoadPackageInfo();

// The records FILE000 up to count, ending early at the first one that is
// missing (nothing is set aside for a count the package doesn't back), a
// repeated file's taking the content of the earlier record it names (valid
// only when that is a valid stored or compressed record before it: not a
// delta), and
// the longest name of a valid one, so that a directory can be checked
// against every path it will hold before anything is written.
struct PackageRecords {
    std::vector<PackageRecord> list;
    uint32_t longestName = 0;
    // The files a patch made with --from leaves as they are ("UNCHANGED"),
    // and whether that list is damaged.
    std::vector<UnchangedFile> unchanged;
    int unchangedDamaged = 0;
};
void LoadPackageRecords(uint32_t count, PackageRecords* records);
