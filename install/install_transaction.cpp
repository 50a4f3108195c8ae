#include "install/install_transaction.h"
#include <string>
#include <vector>
#include "install/install_checks.h"
#include "install/install_recovery.h"
#include "install/record_writer.h"

namespace {

// One file of the install: a record, or the stamp last.
struct InstallItem {
    const char* name;        // as the journal names it
    const InstallTarget* at;
    PayloadView content;
    int counted;             // its bytes count on the bar
    FileIdentity fresh;      // its new file, once made
    FileIdentity original;   // the file it replaces, once announced
    int hasOriginal;
    int announced;  // the journal has its renames, flushed
    int setAside;   // its original is now its old side name
    int placed;     // its new file is now in place
    int absent;     // the checks saw no original: none is looked up
    FileHandle open;  // its new file, held open from its making to its rename
};

InstallItem MakeItem(const char* name, const InstallTarget* at, const PayloadView& content,
                     int counted) {
    return InstallItem{name, at, content, counted, {}, {}, 0, 0, 0, 0, at->absent, 0};
}

std::string Shown(const InstallSession* session, const InstallItem& item, const std::string& leaf) {
    std::string name = item.name;
    return session->folders.directory + name.substr(0, name.size() - item.at->name.size()) + leaf;
}

int FailCall(const InstallSession* session, const InstallItem& item, const std::string& leaf,
             ExtractFailure* failure) {
    return FailFileCall(failure, Shown(session, item, leaf).c_str());
}

int FailJournal(ExtractFailure* failure) {
    return FailFileCall(failure, kJournalFileName);
}

void CountChunk(void* context, uint32_t bytes) {
    CountInstalledBytes(static_cast<InstallSession*>(context), bytes);
}

void CloseItemFile(InstallItem* item) {
    if (item->open) CloseFile(item->open);
    item->open = 0;
}

// Makes the item's new file beside its target (new: never a file that was
// there, never through a link), journals it with its identity and writes
// it. A file that isn't whole goes again, so that Retry makes it anew. It
// stays open until its rename, done through its handle: no second open,
// and no one can swap another file in under its side name meanwhile.
int StageItem(InstallSession* session, InstallItem* item, ExtractFailure* failure) {
    const InstallTarget& at = *item->at;
    FileHandle file = CreateNewFileIn(at.folder, at.fresh.c_str());
    if (!file) return FailCall(session, *item, at.fresh, failure);
    int ok = GetOpenFileIdentity(file, &item->fresh) || FailCall(session, *item, at.fresh, failure);
    if (ok && !AddJournalEntry(&session->journal, kJournalNew, item->name, item->fresh))
        ok = FailJournal(failure);
    WrittenBytes written = {CountChunk, session};
    // A delta reads the installed file it applies to, which stays in place
    // until the new file is whole.
    FileHandle base = ok && item->content.delta ? OpenFileIn(at.folder, at.name.c_str()) : 0;
    if (item->content.delta && ok && !base) ok = FailCall(session, *item, at.name, failure);
    ok = ok && WriteRecordContent(file, Shown(session, *item, at.fresh).c_str(), item->content,
                                  base, item->counted ? &written : nullptr, failure);
    if (base) CloseFile(base);
    if (ok) {
        item->open = file;
        return 1;
    }
    CloseFile(file);
    // Journaled: a file that can't go now goes in the rollback or recovery.
    ExpectedFile made = {item->fresh, 0};
    (void)RemoveFileIn(at.folder, at.fresh.c_str(), &made);
    return 0;
}

// Journals, flushed before any of them is made, the new files of items: a
// process killed right after making one leaves a file recovery knows of.
int AnnounceMaking(InstallSession* session, InstallItem* items, size_t count,
                   ExtractFailure* failure) {
    for (size_t i = 0; i < count; i++)
        if (!AddJournalEntry(&session->journal, kJournalMaking, items[i].name, FileIdentity{}))
            return FailJournal(failure);
    return FlushJournal(&session->journal) || FailJournal(failure);
}

// Journals the renames of the items not yet announced (with the identity of
// the original each replaces) and flushes the journal once for them all,
// before the first of them: a power cut can't leave a renamed file the
// journal doesn't know.
int AnnounceRenames(InstallSession* session, InstallItem* items, size_t count,
                    ExtractFailure* failure) {
    for (size_t i = 0; i < count; i++) {
        InstallItem& item = items[i];
        if (item.announced) continue;
        item.hasOriginal =
            !item.absent && GetFileIdentityIn(item.at->folder, item.at->name.c_str(),
                                                  &item.original);
        FileIdentity placed = item.fresh;
        placed.size = item.content.fileSize;
        Journal* journal = &session->journal;
        if ((item.hasOriginal &&
             !AddJournalEntry(journal, kJournalSetAside, item.name, item.original)) ||
            !AddJournalEntry(journal, kJournalPlaced, item.name, placed))
            return FailJournal(failure);
        item.announced = 1;
    }
    return FlushJournal(&session->journal) || FailJournal(failure);
}

// A rename in the item's folder that didn't happen: the system's reason, or
// another program's change of the file the install expected there.
int FailMove(const InstallSession* session, const InstallItem& item, EntryResult result,
             ExtractFailure* failure) {
    if (result != kEntryNotOurs) return FailCall(session, item, item.at->name, failure);
    return FailFile(failure, Shown(session, item, item.at->name).c_str(),
                    "Another program changed this file while the update ran");
}

// Renames the item's new file into place: through its handle when it is
// held open, else (or when that fails: the name then says why) by name.
EntryResult PlaceItem(InstallItem* item) {
    const InstallTarget& at = *item->at;
    if (item->open && RenameOpenFileIn(item->open, at.folder, at.name.c_str())) return kEntryDone;
    CloseItemFile(item);
    ExpectedFile made = {item->fresh, 0};
    return MoveFileIn(at.folder, at.fresh.c_str(), at.name.c_str(), &made);
}

// Sets the original aside and renames the new file into place, as
// announced. Done steps are kept, so Retry goes on where it stopped; a
// retry first announces again an original that changed meanwhile.
int CommitItem(InstallSession* session, InstallItem* item, int retried, ExtractFailure* failure) {
    const InstallTarget& at = *item->at;
    if (retried && !item->setAside) {
        FileIdentity now;
        int standing = GetFileIdentityIn(at.folder, at.name.c_str(), &now);
        item->announced = standing == item->hasOriginal &&
                          (!standing || IsSameFile(now, item->original));
        item->absent = 0;
        if (!AnnounceRenames(session, item, 1, failure)) return 0;
    }
    // Neither rename replaces a file: one put at either name meanwhile stops
    // it, and Retry looks again.
    if (!item->setAside && item->hasOriginal) {
        ExpectedFile original = {item->original, 0};
        EntryResult moved = MoveFileIn(at.folder, at.name.c_str(), at.old.c_str(), &original);
        if (moved != kEntryDone) return FailMove(session, *item, moved, failure);
        item->setAside = 1;
    }
    if (!item->placed) {
        EntryResult placed = PlaceItem(item);
        if (placed != kEntryDone) return FailMove(session, *item, placed, failure);
        item->placed = 1;
    }
    CloseItemFile(item);
    return 1;
}

// Runs step until it succeeds, or the player cancels (0).
template <typename Step>
int RetryUntilDone(const InstallSession* session, Step step) {
    ExtractFailure failure;
    const InstallQuestions& q = session->questions;
    while (!step(&failure))
        if (!q.askRetry(q.context, failure)) return 0;
    return 1;
}

// The renames of items, announced first in one batch.
int CommitItems(InstallSession* session, InstallItem* items, size_t count) {
    if (!RetryUntilDone(session, [&](ExtractFailure* failure) {
            return AnnounceRenames(session, items, count, failure);
        }))
        return 0;
    for (size_t i = 0; i < count; i++) {
        int retried = 0;
        if (!RetryUntilDone(session, [&](ExtractFailure* failure) {
                return CommitItem(session, &items[i], retried++, failure);
            }))
            return 0;
    }
    return 1;
}

// New files held open until their renames: a batch is announced, made,
// then its renames announced (one flush each) and done, so that few
// handles are open.
const size_t kRenameBatch = 256;

int StageBatch(InstallSession* session, InstallItem* items, size_t count) {
    if (!RetryUntilDone(session, [&](ExtractFailure* failure) {
            return AnnounceMaking(session, items, count, failure);
        }))
        return 0;
    for (size_t i = 0; i < count; i++) {
        uint32_t bytesBefore = session->bytesDone;
        if (!RetryUntilDone(session, [&](ExtractFailure* failure) {
                SetInstalledBytes(session, bytesBefore);  // a retried file counts once
                return StageItem(session, &items[i], failure);
            }))
            return 0;
    }
    return CommitItems(session, items, count);
}

int StageRecords(InstallSession* session, const std::vector<InstallTarget>& targets,
                 std::vector<InstallItem>* items) {
    uint32_t count = session->header->fileCount;
    for (uint32_t i = 0; i < count; i++) {
        const PayloadView& view = session->package->list[i].view;
        // A file that already is what its delta makes counts as written.
        if (targets[i].done) CountInstalledBytes(session, view.fileSize);
        else items->push_back(MakeItem(view.name, &targets[i], view, 1));
    }
    for (size_t first = 0; first < items->size(); first += kRenameBatch) {
        size_t n = items->size() - first < kRenameBatch ? items->size() - first : kRenameBatch;
        if (!StageBatch(session, items->data() + first, n)) return 0;
    }
    return 1;
}

// The stamp goes in like the records, but a stamp that can't be written is
// left out without a word, as it always was: the update itself is done.
void PlaceStamp(InstallSession* session, const InstallTarget* at, std::vector<InstallItem>* items) {
    unsigned char stamp[kStampSize];
    EncodeStamp(session->header->buildTime, stamp);
    PayloadView content = PayloadView();
    content.name = kStampFileName;
    content.content = stamp;
    content.contentSize = content.fileSize = kStampSize;
    InstallItem item = MakeItem(kStampFileName, at, content, 0);
    ExtractFailure ignored;
    if (AnnounceMaking(session, &item, 1, &ignored) && StageItem(session, &item, &ignored) &&
        AnnounceRenames(session, &item, 1, &ignored) && CommitItem(session, &item, 0, &ignored)) {
        items->push_back(item);
        return;
    }
    CloseItemFile(&item);
    std::vector<JournalEntry> stampEntries;
    for (const JournalEntry& e : session->journal.entries)
        if (e.name == kStampFileName) stampEntries.push_back(e);
    std::string failed;
    RecoverFromEntries(&session->folders, stampEntries, &failed);
}

// The commit is a step like the others: the install counts as done only
// once its line is on the disk.
int CommitInstall(InstallSession* session, ExtractFailure* failure) {
    Journal* journal = &session->journal;
    if (AddJournalEntry(journal, kJournalCommitted, "", FileIdentity{}) && FlushJournal(journal))
        return 1;
    FailJournal(failure);
    if (journal->entries.back().kind == kJournalCommitted) journal->entries.pop_back();
    return 0;
}

// After a Cancel: every original back, every new file gone. A commit line
// that may have reached the file without the flush is revoked first.
void RollBackInstall(InstallSession* session, int commitTried) {
    Journal* journal = &session->journal;
    // Written for the next start's sake: the entries held here never kept a
    // commit that didn't reach the disk.
    if (commitTried) (void)AddJournalEntry(journal, kJournalRolledBack, "", FileIdentity{});
    std::string failed;
    RecoveryOutcome outcome = RecoverFromEntries(&session->folders, journal->entries, &failed);
    if (outcome != kIncomplete) {
        EndJournal(journal, &session->folders);
        return;
    }
    LeaveJournal(journal);
    (void)RecoverHeldFolder(&session->folders, &session->questions);  // it tells the player
}

// The set-aside originals, each while it is the file set aside. Only the
// items' own side names are looked at: a lookup of a name that isn't there
// costs a search of its whole folder where names match without case (Wine).
int RemoveOriginals(const std::vector<InstallItem>& items) {
    int all = 1;
    for (const InstallItem& item : items) {
        ExpectedFile original = {item.original, 0};
        if (item.setAside)
            all = RemoveFileIn(item.at->folder, item.at->old.c_str(), &original) != kEntryFailed &&
                  all;
    }
    return all;
}

int StartInstallJournal(InstallSession* session, ExtractFailure* failure) {
    if (StartJournal(&session->journal, &session->folders, failure)) return 1;
    EndJournal(&session->journal, &session->folders);  // a journal that couldn't start leaves nothing
    return 0;
}

// Writes every file, the stamp and the commit; 0 after a Cancel, with the
// game put back.
int WriteEverything(InstallSession* session, const std::vector<InstallTarget>& targets) {
    std::vector<InstallItem> items;
    int done = StageRecords(session, targets, &items), commitTried = 0;
    if (done) {
        PlaceStamp(session, &targets.back(), &items);
        commitTried = 1;
        done = RetryUntilDone(session, [&](ExtractFailure* failure) {
            return CommitInstall(session, failure);
        });
    }
    if (!done) {
        for (InstallItem& item : items) CloseItemFile(&item);  // open files can't be removed
        RollBackInstall(session, commitTried);
        return 0;
    }
    // The originals go; one that can't is left for the next start to remove.
    if (RemoveOriginals(items)) EndJournal(&session->journal, &session->folders);
    else LeaveJournal(&session->journal);
    return 1;
}

}  // namespace

int InstallPackage(InstallSession* session) {
    std::vector<InstallTarget> targets;
    int done = RetryUntilDone(session, [&](ExtractFailure* failure) {
                   return CheckInstall(session, &targets, failure);
               }) &&
               RetryUntilDone(session, [&](ExtractFailure* failure) {
                   return StartInstallJournal(session, failure);
               }) &&
               WriteEverything(session, targets);
    ReleaseGameFolders(&session->folders);
    return done;
}
