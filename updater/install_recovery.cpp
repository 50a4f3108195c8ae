#include "updater/install_recovery.h"
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include "updater/progress_state.h"
#include "updater/update_checks.h"

namespace {

uint64_t SizeOf(const char* path) {
    FileHandle file = OpenForRead(path);
    if (!file) return ~0ull;
    uint64_t size = GetFileSize64(file);
    CloseFile(file);
    return size;
}

int RemoveIfThere(const char* path) {
    if (!PathExists(path)) return 1;
    MakeFileWritable(path);
    return RemoveFile(path);
}

// Puts one name back: its original returns over whatever stands there; a
// file that had none is removed while it is still the one we placed. A name
// too long to write beside in this directory was never ours: nothing to do.
int RollBackName(const std::string& name, int setAside, const JournalEntry* placed) {
    SidePaths p;
    if (!MakeSidePaths(name.c_str(), &p)) return 1;
    int ok = 1;
    if (setAside && PathExists(p.old)) {
        ok = MoveFileOver(p.old, p.target);
    } else if (!setAside && placed && !PathExists(p.fresh) && SizeOf(p.target) == placed->size) {
        ok = RemoveIfThere(p.target);
    }
    return RemoveIfThere(p.fresh) && ok;
}

int FinishName(const std::string& name) {
    SidePaths p;
    return !MakeSidePaths(name.c_str(), &p) || (RemoveIfThere(p.old) && RemoveIfThere(p.fresh));
}

}  // namespace

RecoveryOutcome RecoverFromEntries(const std::vector<JournalEntry>& entries,
                                   std::string* failedPath) {
    if (entries.empty()) return kNothingToRecover;
    std::set<std::string> names, setAside;
    std::map<std::string, const JournalEntry*> lastPlaced;
    int committed = 0;
    for (const JournalEntry& e : entries) {
        if (e.kind == kJournalCommitted) committed = 1;
        if (e.kind == kJournalSetAside) setAside.insert(e.name);
        if (e.kind == kJournalPlaced) lastPlaced[e.name] = &e;
        if (e.kind != kJournalCommitted) names.insert(e.name);
    }
    for (const std::string& name : names) {
        auto placed = lastPlaced.find(name);
        const JournalEntry* last = placed == lastPlaced.end() ? nullptr : placed->second;
        int done = committed ? FinishName(name) : RollBackName(name, setAside.count(name), last);
        if (!done && failedPath->empty()) *failedPath = name;
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

int RecoverInterruptedInstall(WindowHandle owner) {
    std::vector<JournalEntry> entries;
    if (!ReadJournal(&entries)) return 1;
    std::string failed;
    RecoveryOutcome outcome = RecoverFromEntries(entries, &failed);
    if (outcome != kIncomplete) {
        Journal journal = {0, {}, 0};
        EndJournal(&journal);
    }
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
