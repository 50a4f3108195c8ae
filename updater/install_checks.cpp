#include "updater/install_checks.h"
#include <cstring>
#include <set>
#include <string>
#include "frame/bytes.h"
#include "updater/package_info.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"

static const char kDamaged[] = "The update package is damaged";
static const char kTwice[] = "Another file of this update has the same name";
static const char kOutside[] = "Its name points outside the game directory";

int IsInsideFolder(const char* path, const char* root) {
    size_t n = strlen(root);
    while (n > 0 && (root[n - 1] == '\\' || root[n - 1] == '/')) n--;
    if (strncmp(path, root, n) != 0) return 0;
    return path[n] == 0 || path[n] == '\\' || path[n] == '/';
}

int CheckRecord(uint32_t index, ExtractFailure* failure) {
    char resourceName[kRecordNameSize];
    FormatRecordName(resourceName, index);
    if (index >= g_Records.size() || !g_Records[index].valid)
        return FailFile(failure, resourceName, kDamaged);
    const char* name = g_Records[index].view.name;
    if (!IsSafeRelativeName(name)) return FailFile(failure, name, kOutside);
    if (IsReservedInstallName(name))
        return FailFile(failure, name, "Its name is one the updater keeps for its own files");
    SidePaths paths;
    if (!MakeSidePaths(name, &paths))
        return FailFile(failure, name, DescribeFileFailure(kFailurePathTooLong));
    return 1;
}

// The path up to its last separator.
std::string FolderOf(const char* path) {
    const char* end = path + strlen(path);
    while (end > path && end[-1] != '\\' && end[-1] != '/') end--;
    return std::string(path, end > path ? end - 1 : path);
}

// A name as the file system compares it: one separator, no case.
static std::string TargetKey(const char* name) {
    std::string key(name);
    for (char& c : key) c = c == '/' ? '\\' : ToUpperAscii(c);
    return key;
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

// The install makes its side files new and never deletes or overwrites a
// file it didn't make: one that already has such a name stops it.
static int CheckNotInTheWay(const char* path, ExtractFailure* failure) {
    if (!PathExists(path)) return 1;
    return FailFile(failure, path,
                    "The updater makes a file of this name for itself, and another one is in the "
                    "way: move it elsewhere");
}

static int CheckTargets(ExtractFailure* failure, uint64_t* needed) {
    char root[2 * kMaxPath];
    if (!ResolvePath(g_InstallDir, root, sizeof root)) return FailFolder(failure, g_InstallDir);
    std::set<std::string> folders, names;
    for (uint32_t i = 0; i < g_PackageHeader.fileCount; i++) {
        if (!CheckRecord(i, failure)) return 0;
        const PayloadView& record = g_Records[i].view;
        if (!names.insert(TargetKey(record.name)).second)
            return FailFile(failure, record.name, kTwice);
        char target[kMaxPath];
        MakeInstallPath(record.name, target);
        if (folders.insert(FolderOf(target)).second && !CheckFolder(target, root, failure))
            return 0;
        if (!CanReplaceFile(target)) return FailFileCall(failure, target);
        SidePaths side;
        MakeSidePaths(record.name, &side);
        if (!CheckNotInTheWay(side.fresh, failure) || !CheckNotInTheWay(side.old, failure)) return 0;
        // The content, and the journal's three lines about the file.
        *needed += record.contentSize + 3 * (record.nameLength + 130);
    }
    SidePaths stamp;
    char journal[kMaxPath];
    MakeSidePaths(kStampFileName, &stamp);
    MakeInstallPath(kJournalFileName, journal);
    if (!CanReplaceFile(stamp.target)) return FailFileCall(failure, stamp.target);
    return CheckNotInTheWay(stamp.fresh, failure) && CheckNotInTheWay(stamp.old, failure) &&
           CheckNotInTheWay(journal, failure);
}

int CheckInstall(ExtractFailure* failure) {
    uint64_t needed = 4096, free = 0;  // the stamp and the journal's own lines
    if (!CheckTargets(failure, &needed)) return 0;
    if (GetFreeDiskSpace(g_InstallDir, &free) && free < needed)
        return FailRoom(failure, needed, free);
    return 1;
}
