#include "updater/install_checks.h"
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include "frame/bytes.h"
#include "platform/code_pages.h"
#include "platform/system.h"
#include "updater/package_info.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"

static const char kDamaged[] = "The update package is damaged";
static const char kInTheWay[] =
    "The updater makes a file of this name for itself, and another one is in the way: move it "
    "elsewhere";

// A name the updater refuses, in words for the box.
static int FailName(ExtractFailure* failure, const char* name, const char* fault) {
    char reason[sizeof failure->reason];
    snprintf(reason, sizeof reason, "The updater refuses this name: %s", fault);
    return FailPackage(failure, name, reason);
}

// A double-byte character's second byte 0x5C is no separator.
static int EndsInSeparator(const char* text, size_t length) {
    unsigned char last = GetLastSingleByte(text, length, IsAnsiLeadByte);
    return last == '\\' || last == '/';
}

int IsInsideFolder(const char* path, const char* root) {
    size_t n = strlen(root);
    while (n > 0 && EndsInSeparator(root, n)) n--;
    if (strncmp(path, root, n) != 0) return 0;
    return path[n] == 0 || path[n] == '\\' || path[n] == '/';
}

int CheckRecord(uint32_t index, ExtractFailure* failure) {
    char resourceName[kRecordNameSize];
    FormatRecordName(resourceName, index);
    if (index >= g_Records.size() || !g_Records[index].valid)
        return FailPackage(failure, resourceName, kDamaged);
    const char* name = g_Records[index].view.name;
    RecordNameFault fault = JudgeRecordName(name, kPlatformCodePage);
    if (fault != kNameSound) return FailName(failure, name, DescribeNameFault(fault));
    SidePaths paths;
    if (!MakeSidePaths(name, &paths))
        return FailFile(failure, name, DescribeFileFailure(kFailurePathTooLong));
    return 1;
}

std::string FolderOf(const char* path) {
    return std::string(path, MeasureFolder(path, strlen(path), IsAnsiLeadByte));
}

// The path of name in folder: a drive root already ends in its separator.
static std::string JoinPath(const std::string& folder, const char* name) {
    if (EndsInSeparator(folder.c_str(), folder.size())) return folder + name;
    return folder + "\\" + name;
}

// The folder of the target exists and, links resolved, lies inside the
// game directory (an elevated write must not follow a link elsewhere).
static int CheckFolder(const char* target, const char* root, ExtractFailure* failure) {
    std::string folder = FolderOf(target);
    char resolved[2 * kMaxPath];
    if (!ResolvePath(folder.c_str(), resolved, sizeof resolved))
        return FailFolder(failure, folder.c_str());
    if (!IsInsideFolder(resolved, root))
        return FailFile(failure, target, "Its folder points outside the game directory");
    return 1;
}

static std::string UpperAscii(std::string text) {
    for (char& c : text) c = ToUpperAscii(c);
    return text;
}

// The install makes its side files new and never deletes or overwrites a
// file it didn't make: one that already has the side name of a target, or
// the journal's, stops it. One listing per folder: a lookup per name would
// cost more, as a name that isn't there is sought through the whole folder
// where the file system layer matches names without case (Wine).
static int CheckSideNames(const std::map<std::string, std::set<std::string>>& targets,
                          ExtractFailure* failure) {
    const std::string kNew = UpperAscii(kNewFileSuffix), kOld = UpperAscii(kOldFileSuffix);
    for (const auto& folder : targets) {
        FolderEntry entry;
        SearchHandle search = FindFirstEntry(JoinPath(folder.first, "*.*").c_str(), &entry);
        for (int more = search != 0; more; more = FindNextEntry(search, &entry)) {
            std::string name = UpperAscii(entry.name);
            size_t base = name.size() > kSuffixLength ? name.size() - kSuffixLength : 0;
            std::string suffix = name.substr(base);
            if ((suffix == kNew || suffix == kOld) && folder.second.count(name.substr(0, base))) {
                CloseSearch(search);
                return FailFile(failure, JoinPath(folder.first, entry.name).c_str(), kInTheWay);
            }
        }
        if (search) CloseSearch(search);
    }
    return 1;
}

// The target's name in its folder, as the side-name check knows it.
static void AddTarget(const char* target, std::map<std::string, std::set<std::string>>* targets) {
    std::string folder = FolderOf(target);
    size_t start = folder.size() + (EndsInSeparator(folder.c_str(), folder.size()) ? 0 : 1);
    (*targets)[folder].insert(UpperAscii(target + start));
}

static int CheckTargets(ExtractFailure* failure, uint64_t* needed) {
    char root[2 * kMaxPath];
    if (!ResolvePath(g_InstallDir, root, sizeof root)) return FailFolder(failure, g_InstallDir);
    std::set<std::string> folders;
    std::map<std::string, std::set<std::string>> targets;
    RecordNameSet names = {kPlatformCodePage, {}, {}};
    for (uint32_t i = 0; i < g_PackageHeader.fileCount; i++) {
        if (!CheckRecord(i, failure)) return 0;
        const PayloadView& record = g_Records[i].view;
        uint32_t earlier;
        if (!AddRecordName(&names, record.name, i, &earlier))
            return FailName(failure, record.name, kSameNameText);
        char target[kMaxPath];
        MakeInstallPath(record.name, target);
        if (folders.insert(FolderOf(target)).second && !CheckFolder(target, root, failure))
            return 0;
        if (!CanReplaceFile(target)) return FailFileCall(failure, target);
        AddTarget(target, &targets);
        // The content, and the journal's three lines about the file.
        *needed += record.fileSize + 3 * (record.nameLength + 130);
    }
    char stamp[kMaxPath], journal[kMaxPath];
    MakeInstallPath(kStampFileName, stamp);
    MakeInstallPath(kJournalFileName, journal);
    if (!CanReplaceFile(stamp)) return FailFileCall(failure, stamp);
    if (PathExists(journal)) return FailFile(failure, journal, kInTheWay);
    AddTarget(stamp, &targets);
    return CheckSideNames(targets, failure);
}

int CheckInstall(ExtractFailure* failure) {
    uint64_t needed = 4096, free = 0;  // the stamp and the journal's own lines
    if (!CheckTargets(failure, &needed)) return 0;
    if (GetFreeDiskSpace(g_InstallDir, &free) && free < needed)
        return FailRoom(failure, needed, free);
    return 1;
}
