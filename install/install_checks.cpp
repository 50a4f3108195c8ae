#include "install/install_checks.h"
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include "base/bytes.h"
#include "package/record_names.h"
#include "platform/code_pages.h"
#include "platform/sha256.h"
#include "platform/system.h"

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

int CheckRecord(const InstallSession* session, uint32_t index, ExtractFailure* failure) {
    char resourceName[kRecordNameSize];
    FormatRecordName(resourceName, index);
    const std::vector<PackageRecord>& records = session->package->list;
    if (index >= records.size() || !records[index].valid)
        return FailPackage(failure, resourceName, kDamaged);
    const char* name = records[index].view.name;
    RecordNameFault fault = JudgeRecordName(name, kPlatformCodePage);
    if (fault != kNameSound) return FailName(failure, name, DescribeNameFault(fault));
    // Each path must fit the program's, the new file's beside it too.
    if (session->folders.directory.size() + strlen(name) + kSuffixLength + 1 > kMaxPath)
        return FailFile(failure, name, DescribeFileFailure(kFailurePathTooLong));
    return 1;
}

static std::string UpperAscii(std::string text) {
    for (char& c : text) c = ToUpperAscii(c);
    return text;
}

static int IsAsciiName(const std::string& name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80) return 0;
    return 1;
}

// What one listing of a held folder tells: the names of its targets, those
// of them that stand there (upper-cased, by long or short name), and whether
// a name missing from the listing is surely missing: a name the code page
// can't hold, or any other beyond ASCII, might be one of ours under the
// system's case folding.
struct FolderTargets {
    std::string shown;  // the folder's path, for messages
    std::set<std::string> targets;
    std::set<std::string> standing;
    std::set<std::string> folders;  // of the standing ones, those that are folders
    int listed = 0;
    int plain = 1;
    std::string inTheWay;  // a name of ours that stands there
};

static int VisitEntry(void* context, const HeldEntry& held) {
    FolderTargets& f = *static_cast<FolderTargets*>(context);
    std::string name = UpperAscii(held.entry.name), alias = UpperAscii(held.shortName);
    f.plain = f.plain && !held.entry.nameLost && IsAsciiName(name);
    for (const std::string& standing : {name, alias}) {
        if (standing.empty() || !f.targets.count(standing)) continue;
        f.standing.insert(standing);
        if (held.entry.isFolder) f.folders.insert(standing);
    }
    size_t base = name.size() > kSuffixLength ? name.size() - kSuffixLength : 0;
    std::string suffix = name.substr(base);
    if ((suffix == UpperAscii(kNewFileSuffix) || suffix == UpperAscii(kOldFileSuffix)) &&
        f.targets.count(name.substr(0, base))) {
        f.inTheWay = held.entry.name;
        return 0;
    }
    return 1;
}

// The install makes its side files new and never deletes or overwrites a
// file it didn't make: one that already has the side name of a target
// stops it. One listing per folder: a lookup per name would cost more, as a
// name that isn't there is sought through the whole folder where the file
// system layer matches names without case (Wine). The same listing says
// which targets have an original.
static int CheckSideNames(std::map<FolderHandle, FolderTargets>* folders, ExtractFailure* failure) {
    for (auto& folder : *folders) {
        FolderTargets& f = folder.second;
        f.listed = ListHeldFolder(folder.first, VisitEntry, &f);
        if (!f.inTheWay.empty())
            return FailFile(failure, (f.shown + f.inTheWay).c_str(), kInTheWay);
    }
    return 1;
}

InstallTarget PlaceTarget(FolderHandle folder, const char* leaf) {
    InstallTarget t = InstallTarget();
    t.folder = folder;
    t.name = leaf;
    t.fresh = t.name + kNewFileSuffix;
    t.old = t.name + kOldFileSuffix;
    return t;
}

// The target of name, worked out once, and noted for its folder's listing.
static int AddTarget(InstallSession* session, const char* name,
                     std::map<FolderHandle, FolderTargets>* folders,
                     std::vector<InstallTarget>* targets, ExtractFailure* failure) {
    FolderHandle folder;
    const char* leaf;
    if (!HoldFolderOf(&session->folders, name, &folder, &leaf, failure)) return 0;
    InstallTarget t = PlaceTarget(folder, leaf);
    FolderTargets& f = (*folders)[t.folder];
    f.shown = session->folders.directory + std::string(name, leaf);
    f.targets.insert(UpperAscii(t.name));
    targets->push_back(t);
    return 1;
}

static int IsSurelyAbsent(const FolderTargets& f, const std::string& name) {
    std::string upper = UpperAscii(name);
    return f.listed && f.plain && IsAsciiName(upper) && !f.standing.count(upper);
}

// Each target that stands is one that may be replaced now, and no two names
// of the package (nor a name and the stamp, the updater's own file) lead to
// one file: a short 8.3 name or a folding the code page misses would
// otherwise make two records one file.
static int CheckStandingTargets(InstallSession* session,
                                const std::map<FolderHandle, FolderTargets>& folders,
                                std::vector<InstallTarget>* targets, ExtractFailure* failure) {
    std::map<std::pair<uint64_t, uint64_t>, size_t> seen;
    size_t stamp = targets->size() - 1;
    for (size_t n = 0; n < targets->size(); n++) {
        size_t i = (stamp + n) % targets->size();  // the stamp first, then the records in order
        InstallTarget& t = (*targets)[i];
        t.absent = IsSurelyAbsent(folders.at(t.folder), t.name);
        if (t.absent) continue;
        const FolderTargets& f = folders.at(t.folder);
        std::string shown = f.shown + t.name;
        if (f.folders.count(UpperAscii(t.name)))
            return FailFile(failure, shown.c_str(), "A folder has the name of this file");
        FileIdentity id;
        int standing = 0;
        if (!CanChangeFileIn(t.folder, t.name.c_str(), &standing, &id))
            return FailFileCall(failure, shown.c_str());
        if (!standing) continue;
        auto earlier = seen.emplace(std::make_pair(id.volume, id.file), i);
        if (earlier.second) continue;
        const char* name = (session->package->list)[i].view.name;
        return FailName(failure, name, earlier.first->second == stamp
                                           ? DescribeNameFault(kNameReserved)
                                           : kSameNameText);
    }
    return 1;
}

static int CheckTargets(InstallSession* session, uint64_t* needed,
                        std::vector<InstallTarget>* targets, ExtractFailure* failure) {
    const std::vector<PackageRecord>& records = session->package->list;
    uint32_t count = session->header->fileCount;
    // A header that counts more records than the package holds is damage.
    if (count > records.size()) return CheckRecord(session, static_cast<uint32_t>(records.size()), failure);
    targets->clear();
    std::map<FolderHandle, FolderTargets> folders;
    RecordNameSet nameSet = {kPlatformCodePage, {}, {}};
    for (uint32_t i = 0; i < count; i++) {
        if (!CheckRecord(session, i, failure)) return 0;
        const PayloadView& record = records[i].view;
        uint32_t earlier;
        if (!AddRecordName(&nameSet, record.name, i, &earlier))
            return FailName(failure, record.name, kSameNameText);
        if (!AddTarget(session, record.name, &folders, targets, failure)) return 0;
        // The content, and the journal's four lines about the file.
        *needed += record.fileSize + 4 * (record.nameLength + 130);
    }
    FileIdentity journal;
    if (GetFileIdentityIn(session->folders.root, kJournalFileName, &journal))
        return FailFile(failure, (session->folders.directory + kJournalFileName).c_str(), kInTheWay);
    return AddTarget(session, kStampFileName, &folders, targets, failure) &&
           CheckSideNames(&folders, failure) &&
           CheckStandingTargets(session, folders, targets, failure);
}

static int HasDeltas(const PackageRecords& package) {
    for (const PackageRecord& record : package.list)
        if (record.valid && record.view.delta) return 1;
    return 0;
}

// What a file of the game is: its size and SHA-256, when it could be read.
// A delta's target is hashed once, then compared with both its base and
// the file it makes.
struct FileSum {
    int read;
    uint64_t size;
    unsigned char hash[kHashSize];
};

static FileSum SumFileIn(FolderHandle folder, const char* name) {
    FileSum sum = {0, 0, {}};
    FileHandle file = OpenFileIn(folder, name);
    sum.read = file && HashOpenFile(file, &sum.size, sum.hash);
    if (file) CloseFile(file);
    return sum;
}

static int IsSum(const FileSum& sum, uint64_t size, const unsigned char* hash) {
    return sum.read && sum.size == size && memcmp(sum.hash, hash, kHashSize) == 0;
}

// Each delta's target must be the file it was made from (or already the
// file it makes: that record is then done), and each file the patch leaves
// as it is must be as it was: else nothing is written, and the files are
// named.
static int CheckAssumedFiles(InstallSession* session, std::vector<InstallTarget>* targets,
                             ExtractFailure* failure) {
    const PackageRecords* package = session->package;
    std::vector<std::string> others;
    for (size_t i = 0; i + 1 < targets->size(); i++) {
        const PayloadView& view = package->list[i].view;
        InstallTarget& t = (*targets)[i];
        if (!view.delta) continue;
        FileSum sum = SumFileIn(t.folder, t.name.c_str());
        t.done = IsSum(sum, view.fileSize, view.madeHash);
        if (!t.done && !IsSum(sum, view.baseSize, view.baseHash)) others.push_back(view.name);
    }
    for (const UnchangedFile& file : package->unchanged) {
        FolderHandle folder;
        const char* leaf;
        ExtractFailure missing;
        if (!HoldFolderOf(&session->folders, file.name.c_str(), &folder, &leaf, &missing) ||
            !IsSum(SumFileIn(folder, leaf), file.size, file.hash))
            others.push_back(file.name);
    }
    return others.empty() || FailOtherRelease(failure, others);
}

// The names of the files the patch leaves as they are obey the rule for
// record names, as a record's do.
static int CheckUnchangedNames(const InstallSession* session, ExtractFailure* failure) {
    if (session->package->unchangedDamaged)
        return FailPackage(failure, kUnchangedName, kDamaged);
    for (const UnchangedFile& file : session->package->unchanged) {
        RecordNameFault fault = JudgeRecordName(file.name.c_str(), kPlatformCodePage);
        if (fault != kNameSound) return FailName(failure, file.name.c_str(), DescribeNameFault(fault));
    }
    return 1;
}

int CheckInstall(InstallSession* session, std::vector<InstallTarget>* targets,
                 ExtractFailure* failure) {
    GameFolders& folders = session->folders;
    std::string directory = folders.directory;
    if (!HoldGameFolder(directory.c_str(), &folders, failure)) return 0;
    uint64_t needed = 4096, free = 0;  // the stamp and the journal's own lines
    if (!CheckUnchangedNames(session, failure) || !CheckTargets(session, &needed, targets, failure))
        return 0;
    if (!session->package->unchanged.empty() || HasDeltas(*session->package)) {
        // Hashing a large game takes a while: say so instead of seeming stuck.
        const ProgressSink& progress = session->progress;
        if (progress.stage) progress.stage(progress.context, "Checking installed files...");
        int same = CheckAssumedFiles(session, targets, failure);
        if (progress.stage) progress.stage(progress.context, nullptr);
        if (!same) return 0;
    }
    if (GetFreeDiskSpace(folders.directory.c_str(), &free) && free < needed)
        return FailRoom(failure, needed, free);
    return 1;
}
