#include "install/install_transaction.h"
#include <string>
#include <vector>
#include "install/install_checks.h"
#include "install/install_dir.h"
#include "install/install_journal.h"
#include "install/install_recovery.h"
#include "install/record_writer.h"
#include "package/package_info.h"
#include "platform/system.h"
#include "install/progress_state.h"

// One file of the install: a record, or the stamp last.
struct InstallItem {
    const char* name;
    const unsigned char* content;
    uint32_t size;
    FileIdentity fresh;     // its new file, once made
    FileIdentity original;  // the file it replaces, once announced
    int hasOriginal;
    int announced;  // the journal has its renames, flushed
    int setAside;   // its original is now name + kOldFileSuffix
    int placed;     // its new file is now in place
    int absent;     // the checks saw no original: none is looked up
    FileHandle open;  // its new file, held open from its making to its rename
    // A compressed record's stream (content), of storedSize bytes, that
    // inflates to size bytes.
    int compressed;
    uint32_t storedSize;
};

static InstallItem MakeItem(const char* name, const unsigned char* content, uint32_t size,
                            int compressed = 0, uint32_t storedSize = 0) {
    return InstallItem{name, content, size, {}, {}, 0, 0, 0, 0, 0, 0, compressed, storedSize};
}

static Journal journal;

// The item's content as a record's, for the writer.
static PayloadView ItemView(const InstallItem& item) {
    return PayloadView{item.name, 0, item.content, item.compressed ? item.storedSize : item.size,
                       item.size, item.compressed};
}

static int FailTooLong(ExtractFailure* failure, const char* name) {
    return FailFile(failure, name, DescribeFileFailure(kFailurePathTooLong));
}

// Makes the item's new file beside its target (new: never a file that was
// there, never through a link), journals it with its identity and writes
// it. A file that isn't whole goes again, so that Retry makes it anew. A
// file kept open is renamed through its handle: no second open, and no one
// can swap another file in under its side name meanwhile.
static int StageItem(InstallItem* item, int counted, int keepOpen, ExtractFailure* failure) {
    SidePaths paths;
    if (!MakeSidePaths(item->name, &paths)) return FailTooLong(failure, item->name);
    FileHandle file = CreateNewFile(paths.fresh);
    if (!file) return FailFileCall(failure, paths.fresh);
    int ok = GetOpenFileIdentity(file, &item->fresh) || FailFileCall(failure, paths.fresh);
    if (ok && !AddJournalEntry(&journal, kJournalNew, item->name, item->fresh))
        ok = FailFileCall(failure, kJournalFileName);
    ok = ok && WriteRecordContent(file, paths.fresh, ItemView(*item), counted, failure);
    if (ok && keepOpen) {
        item->open = file;
        return 1;
    }
    CloseFile(file);
    if (!ok) RemoveOwnFile(paths.fresh, &item->fresh);
    return ok;
}

static InstallItem RecordItem(uint32_t index) {
    const PayloadView& view = g_Records[index].view;
    return MakeItem(view.name, view.content, view.fileSize, view.compressed, view.contentSize);
}

int ExtractPayloadFile(uint32_t index, ExtractFailure* failure) {
    if (!CheckRecord(index, failure)) return 0;
    InstallItem item = RecordItem(index);
    return StageItem(&item, 1, 0, failure);
}

static void CloseItemFile(InstallItem* item) {
    if (item->open) CloseFile(item->open);
    item->open = 0;
}

// Renames the item's new file into place: through its handle when it is
// held open, else (or when that fails: the name then says why) by name.
static int PlaceItem(InstallItem* item, const SidePaths& p) {
    if (item->open && RenameOpenFile(item->open, p.target)) return 1;
    CloseItemFile(item);
    return MoveFileToNewName(p.fresh, p.target);
}

// Journals the renames of the items not yet announced (with the identity of
// the original each replaces) and flushes the journal once for them all,
// before the first of them: a power cut can't leave a renamed file the
// journal doesn't know.
static int AnnounceRenames(InstallItem* items, size_t count, ExtractFailure* failure) {
    for (size_t i = 0; i < count; i++) {
        InstallItem& item = items[i];
        if (item.announced) continue;
        SidePaths p;
        if (!MakeSidePaths(item.name, &p)) return FailTooLong(failure, item.name);
        item.hasOriginal = !item.absent && GetFileIdentity(p.target, &item.original);
        FileIdentity placed = item.fresh;
        placed.size = item.size;
        if ((item.hasOriginal &&
             !AddJournalEntry(&journal, kJournalSetAside, item.name, item.original)) ||
            !AddJournalEntry(&journal, kJournalPlaced, item.name, placed))
            return FailFileCall(failure, kJournalFileName);
        item.announced = 1;
    }
    return FlushJournal(&journal) || FailFileCall(failure, kJournalFileName);
}

// Sets the original aside and renames the new file into place, as
// announced. Done steps are kept, so Retry goes on where it stopped; a
// retry first announces again an original that changed meanwhile.
static int CommitItem(InstallItem* item, int retried, ExtractFailure* failure) {
    SidePaths p;
    if (!MakeSidePaths(item->name, &p)) return FailTooLong(failure, item->name);
    FileIdentity now;
    if (retried && !item->setAside) {
        int standing = GetFileIdentity(p.target, &now);
        item->announced = standing == item->hasOriginal &&
                          (!standing || IsSameFile(now, item->original));
        item->absent = 0;
        if (!AnnounceRenames(item, 1, failure)) return 0;
    }
    // Neither rename replaces a file: one put at either name meanwhile stops
    // it, and Retry looks again.
    if (!item->setAside && item->hasOriginal) {
        if (!MoveFileToNewName(p.target, p.old)) return FailFileCall(failure, p.target);
        item->setAside = 1;
    }
    if (!item->placed) {
        if (!PlaceItem(item, p)) return FailFileCall(failure, p.target);
        item->placed = 1;
    }
    CloseItemFile(item);
    return 1;
}

// Runs step until it succeeds, or the user cancels (0).
template <typename Step>
static int RetryUntilDone(Step step) {
    ExtractFailure failure;
    while (!step(&failure))
        if (!AskRetry(failure)) return 0;
    return 1;
}

// The renames of items, announced first in one batch.
static int CommitItems(InstallItem* items, size_t count) {
    if (!RetryUntilDone([&](ExtractFailure* failure) {
            return AnnounceRenames(items, count, failure);
        }))
        return 0;
    for (size_t i = 0; i < count; i++) {
        int retried = 0;
        if (!RetryUntilDone([&](ExtractFailure* failure) {
                return CommitItem(&items[i], retried++, failure);
            }))
            return 0;
    }
    return 1;
}

// New files held open until their renames: a batch is made, then its
// renames announced (one flush) and done, so that few handles are open.
const size_t kRenameBatch = 256;

static int StageRecords(const std::vector<char>& absent, std::vector<InstallItem>* items) {
    size_t first = 0;  // the first item not yet in place
    for (uint32_t i = 0; i < g_PackageHeader.fileCount; i++) {
        uint32_t bytesBefore = g_BytesDone;
        InstallItem item = RecordItem(i);
        item.absent = absent[i];
        int done = RetryUntilDone([&](ExtractFailure* failure) {
            g_BytesDone = bytesBefore;  // a retried file counts once
            SetProgress(ComputeProgress(bytesBefore, g_PackageHeader.totalBytes));
            return CheckRecord(i, failure) && StageItem(&item, 1, 1, failure);
        });
        if (!done) return 0;
        items->push_back(item);
        if (items->size() - first == kRenameBatch || i + 1 == g_PackageHeader.fileCount) {
            if (!CommitItems(items->data() + first, items->size() - first)) return 0;
            first = items->size();
        }
    }
    return 1;
}

// The stamp goes in like the records, but a stamp that can't be written is
// left out without a word, as it always was: the update itself is done.
static void PlaceStamp(std::vector<InstallItem>* items) {
    static unsigned char stamp[kStampSize];
    EncodeStamp(g_PackageHeader.buildTime, stamp);
    InstallItem item = MakeItem(kStampFileName, stamp, kStampSize);
    ExtractFailure ignored;
    if (StageItem(&item, 0, 0, &ignored) && AnnounceRenames(&item, 1, &ignored) &&
        CommitItem(&item, 0, &ignored)) {
        items->push_back(item);
        return;
    }
    std::vector<JournalEntry> stampEntries;
    for (const JournalEntry& e : journal.entries)
        if (e.name == kStampFileName) stampEntries.push_back(e);
    std::string failed;
    RecoverFromEntries(stampEntries, &failed);
}

// The commit is a step like the others: the install counts as done only
// once its line is on the disk.
static int CommitInstall(ExtractFailure* failure) {
    if (AddJournalEntry(&journal, kJournalCommitted, "", FileIdentity{}) && FlushJournal(&journal))
        return 1;
    FailFileCall(failure, kJournalFileName);
    if (journal.entries.back().kind == kJournalCommitted) journal.entries.pop_back();
    return 0;
}

// After a Cancel: every original back, every new file gone. A commit line
// that may have reached the file without the flush is revoked first.
static void RollBackInstall(int commitTried) {
    if (commitTried) AddJournalEntry(&journal, kJournalRolledBack, "", FileIdentity{});
    std::string failed;
    RecoveryOutcome outcome = RecoverFromEntries(journal.entries, &failed);
    if (outcome != kIncomplete) {
        EndJournal(&journal);
        return;
    }
    LeaveJournal(&journal);
    RecoverInterruptedInstall(g_UpdaterWindow);
}

// The set-aside originals, each while it is the file set aside. Only the
// items' own side names are looked at: a lookup of a name that isn't there
// costs a search of its whole folder where names match without case (Wine).
static int RemoveOriginals(const std::vector<InstallItem>& items) {
    int all = 1;
    for (const InstallItem& item : items) {
        SidePaths p;
        if (item.setAside && MakeSidePaths(item.name, &p))
            all = RemoveOwnFile(p.old, &item.original) && all;
    }
    return all;
}

int InstallPackage() {
    std::vector<char> absent;
    if (!RetryUntilDone([&](ExtractFailure* failure) { return CheckInstall(failure, &absent); }))
        return 0;
    if (!RetryUntilDone([](ExtractFailure* failure) {
            if (StartJournal(&journal, failure)) return 1;
            EndJournal(&journal);  // a journal that couldn't start leaves nothing
            return 0;
        }))
        return 0;
    std::vector<InstallItem> items;
    int done = StageRecords(absent, &items), commitTried = 0;
    if (done) {
        PlaceStamp(&items);
        commitTried = 1;
        done = RetryUntilDone(CommitInstall);
    }
    if (!done) {
        for (InstallItem& item : items) CloseItemFile(&item);  // open files can't be removed
        RollBackInstall(commitTried);
        return 0;
    }
    // The originals go; one that can't is left for the next start to remove.
    if (RemoveOriginals(items)) {
        EndJournal(&journal);
    } else {
        LeaveJournal(&journal);
    }
    return 1;
}
