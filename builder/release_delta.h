// A build made from the release the players have ("orvanta-pack build
// --from OLD"): each file of the build is compared with OLD's file of its
// name. The same bytes: left out, listed in "UNCHANGED" with its size and
// SHA-256 for the updater to check. Changed: a delta against OLD's file
// when that is smaller than the file compressed on its own. New: sent
// whole, compressed where that helps.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "builder/package_writer.h"
#include "package/package_format.h"

enum ReleaseFileKind { kReleaseNew, kReleaseUnchanged, kReleaseChanged };

struct ReleasePlan {
    std::vector<int> kinds;                  // one per scanned file
    std::vector<uint64_t> sizes;             // the files' sizes
    std::vector<UnchangedFile> unchanged;    // under their record names
};

// Sorts the build's files (folder + names[i], their record names) by OLD's
// (oldFolder + names[i]). 0 with the report's cause when one can't be read.
[[nodiscard]] int PlanReleaseFiles(const std::string& oldFolder, const std::string& folder,
                                   const std::vector<std::string>& names,
                                   const std::vector<std::string>& recordNames,
                                   ReleasePlan* plan, BuildReport* report);

// Writes the changed file at path as a delta record against oldPath when
// that is smaller than the file compressed on its own. 1 when it did; 0
// with *whole 1 when the file is to be sent whole instead (the encoder
// declined, or the delta was no smaller), 0 with *whole 0 on failure.
[[nodiscard]] int AddDeltaFile(PeUpdate* update, const std::string& oldPath, const std::string& path,
                               const std::string& recordName, uint32_t index, BuildRun* run,
                               int* whole);
