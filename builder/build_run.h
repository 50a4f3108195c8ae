// What a build tells as it runs, shared by the writer's files: progress,
// and failures with the messages the build mode shows or the causes it
// keeps to itself.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "builder/package_writer.h"

// The update executable maps its whole image into a 32-bit address space;
// past this size Windows can't start it at all, so such a build would
// succeed and ship a patch that never runs.
const uint64_t kMaxPackageBytes = 1792ull << 20;

// Sets the report's failure: what, then the path as this platform spells
// it after an empty line. Gives 0.
int FailBuild(BuildReport* report, const char* what, const char* path = nullptr);
// newBytes of new records, and keptBytes of the target's package that the
// build leaves in place, are more than an update executable can carry.
int FailTooLarge(BuildReport* report, uint64_t newBytes, uint64_t keptBytes);
int FailHugeFile(BuildReport* report, const char* path);
// Sets the report's cause: the file at path, what went wrong with it and
// why (the system's reason for the last file call that failed, in the
// second form). Give 0.
int ExplainFile(BuildReport* report, const char* path, const char* what, const char* why);
int ExplainFileCall(BuildReport* report, const char* path, const char* what);

// Adds bytes to those done and tells the request's progress hook.
void TellProgress(BuildRun* run, uint64_t bytes);

// The names the records carry, converted to the code page the updater will
// use. 0 when one can't be written in it, or no longer fits a path.
[[nodiscard]] int ConvertNames(const ScanResult& scan, const char* folder, uint32_t codePage,
                 std::vector<std::string>* names, BuildReport* report);
// The names as the updater will judge them: each by the rule for record
// names, and each against the others as Windows compares them. 0 when the
// updater would refuse one, with the report naming the files. A name shaped
// like a short name is told to the request's reporter.
[[nodiscard]] int CheckRecordNames(const ScanResult& scan, const char* folder, const BuildRequest* request,
                     const std::vector<std::string>& names, BuildReport* report);
