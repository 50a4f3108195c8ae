#include "updater/install_checks.h"
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include "platform/code_pages.h"
#include "platform/system.h"
#include "updater/package_info.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"

static const char kDamaged[] = "The update package is damaged";

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

// The folder of the path; a file at the top of a drive has its root.
static std::string FolderOf(const char* path) {
    return std::string(path, MeasureFolder(path, strlen(path), IsAnsiLeadByte));
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

static int CheckTargets(ExtractFailure* failure, uint64_t* needed) {
    char root[2 * kMaxPath];
    if (!ResolvePath(g_InstallDir, root, sizeof root)) return FailFolder(failure, g_InstallDir);
    std::set<std::string> folders;
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
        // The content, and the journal's three lines about the file.
        *needed += record.contentSize + 3 * (record.nameLength + 32);
    }
    char stamp[kMaxPath];
    MakeInstallPath(kStampFileName, stamp);
    return CanReplaceFile(stamp) || FailFileCall(failure, stamp);
}

int CheckInstall(ExtractFailure* failure) {
    uint64_t needed = 4096, free = 0;  // the stamp and the journal's own lines
    if (!CheckTargets(failure, &needed)) return 0;
    if (GetFreeDiskSpace(g_InstallDir, &free) && free < needed)
        return FailRoom(failure, needed, free);
    return 1;
}
