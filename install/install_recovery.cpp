#include "install/install_recovery.h"
#include <cstdio>
#include <cstring>
#include <map>
#include "platform/protected_store.h"
#include "install/install_checks.h"
#include "install/install_dir.h"

namespace {

// What the entries say of one name: the identities of its new file, of its
// set-aside original, and of the new file once placed (with its full size).
struct NameRecord {
    const FileIdentity* fresh = nullptr;
    const FileIdentity* original = nullptr;
    const FileIdentity* placed = nullptr;
};

// 1 when the name itself (not what a link leads to) is the recorded file.
int Holds(const char* path, const FileIdentity* identity, int sized) {
    FileIdentity found;
    return identity && GetFileIdentity(path, &found) && IsSameFile(found, *identity) &&
           (!sized || found.size == identity->size);
}

// Puts one name back: its original returns over our new file or where
// nothing stands (never over a file of someone else's: that fails); a new
// file that had no original is removed while it is still the one we placed.
int RollBackName(const SidePaths& p, const NameRecord& r) {
    int ok = 1;
    if (Holds(p.old, r.original, 0)) {
        FileIdentity standing;
        ok = (!GetFileIdentity(p.target, &standing) || Holds(p.target, r.fresh, 0)) &&
             MoveFileOver(p.old, p.target);
    } else if (!r.original) {
        ok = RemoveOwnFile(p.target, r.placed, 1);
    }
    return RemoveOwnFile(p.fresh, r.fresh) && ok;
}

int FinishName(const SidePaths& p, const NameRecord& r) {
    return RemoveOwnFile(p.old, r.original) && RemoveOwnFile(p.fresh, r.fresh);
}

// 1 when the folder of target, links resolved, lies inside the game folder.
int IsInsideGame(const char* target, const char* root, std::map<std::string, int>* known) {
    std::string folder = FolderOf(target);
    auto found = known->find(folder);
    if (found != known->end()) return found->second;
    char resolved[2 * kMaxPath];
    int inside = ResolvePath(folder.c_str(), resolved, sizeof resolved) &&
                 IsInsideFolder(resolved, root);
    (*known)[folder] = inside;
    return inside;
}

}  // namespace

int RemoveOwnFile(const char* path, const FileIdentity* identity, int sized) {
    if (!Holds(path, identity, sized)) return 1;
    MakeFileWritable(path);
    return RemoveFile(path);
}

RecoveryOutcome RecoverFromEntries(const std::vector<JournalEntry>& entries,
                                   std::string* failedPath) {
    std::map<std::string, NameRecord> names;
    int committed = 0;
    for (const JournalEntry& e : entries) {
        if (e.kind == kJournalCommitted || e.kind == kJournalRolledBack)
            committed = e.kind == kJournalCommitted;
        NameRecord& r = strchr("NOP", e.kind) ? names[e.name] : names[""];
        if (e.kind == kJournalNew) r.fresh = &e.identity;
        if (e.kind == kJournalSetAside) r.original = &e.identity;
        if (e.kind == kJournalPlaced) r.placed = &e.identity;
    }
    names.erase("");
    if (names.empty()) return kNothingToRecover;
    char root[2 * kMaxPath];
    std::map<std::string, int> folders;
    int rooted = ResolvePath(g_InstallDir, root, sizeof root);
    for (const auto& name : names) {
        SidePaths p;
        // A name too long to write beside in this folder was never ours; one
        // whose folder now leads out of the game is left alone.
        if (!rooted || !MakeSidePaths(name.first.c_str(), &p) ||
            !IsInsideGame(p.target, root, &folders))
            continue;
        int done = committed ? FinishName(p, name.second) : RollBackName(p, name.second);
        if (!done && failedPath->empty()) *failedPath = name.first;
    }
    if (!failedPath->empty()) return kIncomplete;
    return committed ? kFinished : kRolledBack;
}

static void TellOutcome(WindowHandle owner, RecoveryOutcome outcome, const std::string& failed) {
    char text[kMaxPath + 400];
    if (outcome == kIncomplete) {
        snprintf(text, sizeof text,
                 "An earlier update of Orvanta was interrupted, and its files could not all be "
                 "put back:\n%s%s\n\nClose the game and any program that uses its files, then "
                 "start the update again.",
                 g_InstallDir, failed.c_str());
        ShowMessage(owner, text, "Error", kButtonsOk);
        return;
    }
    ShowMessage(owner,
                outcome == kFinished
                    ? "An earlier update of Orvanta was interrupted after all its files were in "
                      "place. Its last steps have now been finished."
                    : "An earlier update of Orvanta was interrupted before it was finished. "
                      "The game's files were put back as they were before it.",
                "Update interrupted", kButtonsOk);
}

// 1 also when the folder doesn't exist: there is nothing to guard.
static int LockInstallFolder(WindowHandle owner) {
    // Held until the process ends or works on another folder.
    static LockHandle held = 0;
    static std::string heldFolder;
    std::string folder;
    if (!ResolveInstallFolder(&folder) || (held && folder == heldFolder)) return 1;
    LockHandle lock = TakeLock(("OrvantaUpdate-" + TagFolder(folder)).c_str());
    if (!lock) {
        char text[kMaxPath + 200];
        snprintf(text, sizeof text,
                 "Another update of Orvanta is running for the game in\n%s\n\nLet it finish, "
                 "then start this update again.",
                 g_InstallDir);
        ShowMessage(owner, text, "Error", kButtonsOk);
        return 0;
    }
    ReleaseLock(held);
    held = lock;
    heldFolder = folder;
    return 1;
}

int RecoverInterruptedInstall(WindowHandle owner) {
    if (!LockInstallFolder(owner)) return 0;
    Journal journal;
    if (!ReadJournal(&journal)) return 1;
    std::string failed;
    RecoveryOutcome outcome = RecoverFromEntries(journal.entries, &failed);
    if (outcome != kIncomplete) EndJournal(&journal);
    if (outcome != kNothingToRecover) TellOutcome(owner, outcome, failed);
    return outcome != kIncomplete;
}

int RecoverInterruptedInstallAt(const char* directory, WindowHandle owner) {
    char saved[kMaxPath];
    uint32_t savedLength = g_InstallDirLength;
    memcpy(saved, g_InstallDir, sizeof saved);
    int ok = !SetInstallDir(directory, 0, IsAnsiLeadByte) || RecoverInterruptedInstall(owner);
    memcpy(g_InstallDir, saved, sizeof saved);
    g_InstallDirLength = savedLength;
    return ok;
}
