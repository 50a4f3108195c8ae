#include "install/install_checks.h"
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include "base/bytes.h"
#include "platform/code_pages.h"
#include "platform/system.h"
#include "package/package_info.h"
#include "install/install_dir.h"

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

// What one listing of a folder tells: the names of its targets, those of
// them that stand there (upper-cased), and whether a name missing from the
// listing is surely missing: a name the code page can't hold, or any other
// beyond ASCII, might be one of ours under the system's case folding.
struct FolderTargets {
    std::set<std::string> targets;
    std::set<std::string> standing;
    int listed = 0;
    int plain = 1;
};

static int IsAsciiName(const std::string& name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80) return 0;
    return 1;
}

// The install makes its side files new and never deletes or overwrites a
// file it didn't make: one that already has the side name of a target, or
// the journal's, stops it. One listing per folder: a lookup per name would
// cost more, as a name that isn't there is sought through the whole folder
// where the file system layer matches names without case (Wine). The same
// listing says which targets have an original.
static int CheckSideNames(std::map<std::string, FolderTargets>* folders, ExtractFailure* failure) {
    const std::string kNew = UpperAscii(kNewFileSuffix), kOld = UpperAscii(kOldFileSuffix);
    for (auto& folder : *folders) {
        FolderEntry entry;
        FolderTargets& f = folder.second;
        SearchHandle search = FindFirstEntry(JoinPath(folder.first, "*.*").c_str(), &entry);
        f.listed = search != 0;
        for (int more = search != 0; more; more = FindNextEntry(search, &entry)) {
            std::string name = UpperAscii(entry.name);
            f.plain = f.plain && !entry.nameLost && IsAsciiName(name);
            if (f.targets.count(name)) f.standing.insert(name);
            size_t base = name.size() > kSuffixLength ? name.size() - kSuffixLength : 0;
            std::string suffix = name.substr(base);
            if ((suffix == kNew || suffix == kOld) && f.targets.count(name.substr(0, base))) {
                CloseSearch(search);
                return FailFile(failure, JoinPath(folder.first, entry.name).c_str(), kInTheWay);
            }
        }
        if (search) CloseSearch(search);
    }
    return 1;
}

// The target's name in its folder, as the side-name check knows it.
static std::string AddTarget(const char* target, std::map<std::string, FolderTargets>* folders) {
    std::string folder = FolderOf(target);
    size_t start = folder.size() + (EndsInSeparator(folder.c_str(), folder.size()) ? 0 : 1);
    std::string name = UpperAscii(target + start);
    (*folders)[folder].targets.insert(name);
    return name;
}

// 1 when the listing shows that nothing stands at target (named name).
static int IsSurelyAbsent(const std::map<std::string, FolderTargets>& folders, const char* target,
                          const std::string& name) {
    const FolderTargets& f = folders.at(FolderOf(target));
    return f.listed && f.plain && IsAsciiName(name) && !f.standing.count(name);
}

static int CheckTargets(ExtractFailure* failure, uint64_t* needed, std::vector<char>* absent) {
    char root[2 * kMaxPath];
    if (!ResolvePath(g_InstallDir, root, sizeof root)) return FailFolder(failure, g_InstallDir);
    std::map<std::string, FolderTargets> folders;
    std::vector<std::string> names(g_PackageHeader.fileCount);
    RecordNameSet nameSet = {kPlatformCodePage, {}, {}};
    char target[kMaxPath];
    for (uint32_t i = 0; i < g_PackageHeader.fileCount; i++) {
        if (!CheckRecord(i, failure)) return 0;
        const PayloadView& record = g_Records[i].view;
        uint32_t earlier;
        if (!AddRecordName(&nameSet, record.name, i, &earlier))
            return FailName(failure, record.name, kSameNameText);
        MakeInstallPath(record.name, target);
        if (!folders.count(FolderOf(target)) && !CheckFolder(target, root, failure)) return 0;
        names[i] = AddTarget(target, &folders);
        // The content, and the journal's three lines about the file.
        *needed += record.fileSize + 3 * (record.nameLength + 130);
    }
    char stamp[kMaxPath], journal[kMaxPath];
    MakeInstallPath(kStampFileName, stamp);
    MakeInstallPath(kJournalFileName, journal);
    if (!CanReplaceFile(stamp)) return FailFileCall(failure, stamp);
    if (PathExists(journal)) return FailFile(failure, journal, kInTheWay);
    AddTarget(stamp, &folders);
    if (!CheckSideNames(&folders, failure)) return 0;
    // A target the listing shows missing needs no lookup of its own.
    absent->assign(g_PackageHeader.fileCount, 0);
    for (uint32_t i = 0; i < g_PackageHeader.fileCount; i++) {
        MakeInstallPath(g_Records[i].view.name, target);
        (*absent)[i] = static_cast<char>(IsSurelyAbsent(folders, target, names[i]));
        if (!(*absent)[i] && !CanReplaceFile(target)) return FailFileCall(failure, target);
    }
    return 1;
}

int CheckInstall(ExtractFailure* failure, std::vector<char>* absent) {
    uint64_t needed = 4096, free = 0;  // the stamp and the journal's own lines
    if (!CheckTargets(failure, &needed, absent)) return 0;
    if (GetFreeDiskSpace(g_InstallDir, &free) && free < needed)
        return FailRoom(failure, needed, free);
    return 1;
}
