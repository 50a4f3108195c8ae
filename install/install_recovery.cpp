#include "install/install_recovery.h"
#include <cstdio>
#include <cstring>
#include <map>
#include "install/install_checks.h"
#include "platform/protected_store.h"

namespace {

// What the entries say of one name: the identities of its new file, of its
// set-aside original, and of the new file once placed (with its full size).
struct NameRecord {
    const FileIdentity* fresh = nullptr;
    const FileIdentity* original = nullptr;
    const FileIdentity* placed = nullptr;
    int making = 0;  // its new file was announced before it was made
};

ExpectedFile Expect(const FileIdentity& identity, int sized) { return ExpectedFile{identity, sized}; }

int Holds(const InstallTarget& p, const std::string& name, const FileIdentity& identity) {
    FileIdentity found;
    return GetFileIdentityIn(p.folder, name.c_str(), &found) && IsSameFile(found, identity);
}

// Our new file beside the target goes: the one recorded, or, announced
// only, whatever plain file has the name (the install's own name).
int RemoveFresh(const InstallTarget& p, const NameRecord& r) {
    if (!r.fresh && !r.making) return 1;
    ExpectedFile fresh = r.fresh ? Expect(*r.fresh, 0) : ExpectedFile();
    return RemoveFileIn(p.folder, p.fresh.c_str(), r.fresh ? &fresh : nullptr) != kEntryFailed;
}

// Puts one name back: its original returns where our placed file stood or
// nothing stands (never over a file of someone else's: that fails); a new
// file that had no original is removed while it is still the one we placed.
int RollBackName(const InstallTarget& p, const NameRecord& r) {
    int ok = 1;
    if (r.original && Holds(p, p.old, *r.original)) {
        ExpectedFile fresh = r.fresh ? Expect(*r.fresh, 0) : ExpectedFile();
        if (r.fresh) ok = RemoveFileIn(p.folder, p.name.c_str(), &fresh) != kEntryFailed;
        ExpectedFile original = Expect(*r.original, 0);
        ok = ok && MoveFileIn(p.folder, p.old.c_str(), p.name.c_str(), &original) == kEntryDone;
    } else if (!r.original && r.placed) {
        ExpectedFile placed = Expect(*r.placed, 1);
        ok = RemoveFileIn(p.folder, p.name.c_str(), &placed) != kEntryFailed;
    }
    return RemoveFresh(p, r) && ok;
}

int FinishName(const InstallTarget& p, const NameRecord& r) {
    ExpectedFile original = r.original ? Expect(*r.original, 0) : ExpectedFile();
    int ok = !r.original || RemoveFileIn(p.folder, p.old.c_str(), &original) != kEntryFailed;
    return RemoveFresh(p, r) && ok;
}

std::map<std::string, NameRecord> ReadNames(const std::vector<JournalEntry>& entries,
                                            int* committed) {
    std::map<std::string, NameRecord> names;
    for (const JournalEntry& e : entries) {
        if (e.kind == kJournalCommitted || e.kind == kJournalRolledBack)
            *committed = e.kind == kJournalCommitted;
        if (!strchr("ANOP", e.kind)) continue;
        NameRecord& r = names[e.name];
        if (e.kind == kJournalMaking) r.making = 1;
        if (e.kind == kJournalNew) r.fresh = &e.identity;
        if (e.kind == kJournalSetAside) r.original = &e.identity;
        if (e.kind == kJournalPlaced) r.placed = &e.identity;
    }
    return names;
}

}  // namespace

RecoveryOutcome RecoverFromEntries(GameFolders* folders, const std::vector<JournalEntry>& entries,
                                   std::string* failedName) {
    int committed = 0;
    std::map<std::string, NameRecord> names = ReadNames(entries, &committed);
    if (names.empty()) return kNothingToRecover;
    for (const auto& name : names) {
        FolderHandle folder;
        const char* leaf;
        ExtractFailure ignored;
        // A folder that is gone, or now leads out of the game, is left alone.
        if (!HoldFolderOf(folders, name.first.c_str(), &folder, &leaf, &ignored)) continue;
        InstallTarget p = PlaceTarget(folder, leaf);
        int done = committed ? FinishName(p, name.second) : RollBackName(p, name.second);
        if (!done && failedName->empty()) *failedName = name.first;
    }
    if (!failedName->empty()) return kIncomplete;
    return committed ? kFinished : kRolledBack;
}

static void TellOutcome(const GameFolders& folders, const InstallQuestions* questions,
                        RecoveryOutcome outcome, const std::string& failed) {
    char text[2 * kMaxPath + 400];
    if (outcome == kIncomplete) {
        snprintf(text, sizeof text,
                 "An earlier update of Orvanta was interrupted, and its files could not all be "
                 "put back:\n%s%s\n\nClose the game and any program that uses its files, then "
                 "start the update again.",
                 folders.directory.c_str(), failed.c_str());
        questions->tell(questions->context, text, "Error");
        return;
    }
    questions->tell(questions->context,
                    outcome == kFinished
                        ? "An earlier update of Orvanta was interrupted after all its files were "
                          "in place. Its last steps have now been finished."
                        : "An earlier update of Orvanta was interrupted before it was finished. "
                          "The game's files were put back as they were before it.",
                    "Update interrupted");
}

int RecoverHeldFolder(GameFolders* folders, const InstallQuestions* questions) {
    Journal journal;
    if (!ReadJournal(&journal, folders)) return 1;
    std::string failed;
    RecoveryOutcome outcome = RecoverFromEntries(folders, journal.entries, &failed);
    if (outcome != kIncomplete) EndJournal(&journal, folders);
    if (outcome != kNothingToRecover) TellOutcome(*folders, questions, outcome, failed);
    return outcome != kIncomplete;
}

static int LockGameFolder(const GameFolders& folders, FolderLock* lock,
                          const InstallQuestions* questions) {
    LockHandle taken = TakeLock(("OrvantaUpdate-" + TagFolder(folders.rootPath)).c_str());
    if (!taken) {
        char text[kMaxPath + 200];
        snprintf(text, sizeof text,
                 "Another update of Orvanta is running for the game in\n%s\n\nLet it finish, "
                 "then start this update again.",
                 folders.directory.c_str());
        questions->tell(questions->context, text, "Error");
        return 0;
    }
    ReleaseLock(lock->handle);
    lock->handle = taken;
    lock->folder = folders.rootPath;
    return 1;
}

int RecoverInterruptedInstall(const char* directory, FolderLock* lock,
                              const InstallQuestions* questions) {
    GameFolders folders;
    ExtractFailure ignored;
    // A folder that doesn't exist has nothing to guard.
    if (!HoldGameFolder(directory, &folders, &ignored)) return 1;
    int ok = (lock->handle && lock->folder == folders.rootPath) ||
             (LockGameFolder(folders, lock, questions) && RecoverHeldFolder(&folders, questions));
    ReleaseGameFolders(&folders);
    return ok;
}
