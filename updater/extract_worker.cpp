#include "updater/extract_worker.h"
#include <string>
#include <vector>
#include "package/record_content.h"
#include "platform/system.h"
#include "updater/install_checks.h"
#include "updater/install_journal.h"
#include "updater/install_recovery.h"
#include "updater/package_info.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"

// One file of the install: a record, or the stamp last.
struct InstallItem {
    const char* name;
    const unsigned char* content;
    uint32_t size;
    int setAside;  // its original is now name + kOldFileSuffix
    int placed;    // its new file is now in place
    // A compressed record's stream (content), of storedSize bytes, that
    // inflates to size bytes.
    int compressed = 0;
    uint32_t storedSize = 0;
};

static Journal journal;

int32_t ComputeProgress(uint32_t bytesDone, uint32_t totalBytes) {
    if (totalBytes == 0) return 0;
    // volatile makes the x87 unit round the quotient and the product to
    // double each, as SSE does: 29 of 100 gives 28 on every build.
    volatile double share = static_cast<double>(bytesDone) / static_cast<double>(totalBytes);
    volatile double percent = share * 100.0;
    // More bytes than the header's total (a damaged header, or a file that
    // grew between scan and pack) must not overflow the conversion.
    if (percent >= 100.0) return 100;
    return static_cast<int32_t>(percent);
}

static void SetProgress(int32_t progress) {
    if (progress == g_Progress) return;
    g_Progress = progress;
    WakeWindow(g_UpdaterWindow);
}

static void AddProgress(uint32_t chunk) {
    g_BytesDone = g_BytesDone + chunk;
    SetProgress(ComputeProgress(g_BytesDone, g_PackageHeader.totalBytes));
}

int WriteWholeChunk(FileHandle file, const unsigned char* bytes, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        uint32_t n = WriteBlock(file, bytes + done, count - done);
        if (n == 0) return 0;
        done += n;
    }
    return 1;
}

// Where a record's content goes: the new file, and the bar when counted.
struct ContentTarget {
    FileHandle file;
    int counted;
};

static int TakeContent(void* context, const unsigned char* bytes, uint32_t count) {
    ContentTarget* target = static_cast<ContentTarget*>(context);
    if (!WriteWholeChunk(target->file, bytes, count)) return 0;
    if (target->counted) AddProgress(count);
    return 1;
}

static int WriteContent(const char* path, const InstallItem& item, int counted,
                        ExtractFailure* failure) {
    PayloadView view = {item.name, 0, item.content, item.compressed ? item.storedSize : item.size,
                        item.size, item.compressed};
    ContentTarget target = {CreateForWrite(path), counted};
    if (!target.file) return FailFileCall(failure, path);
    int damaged = 0;
    int written = ReadRecordContent(view, TakeContent, &target, &damaged);
    // The cause of a failed write, before the close can change it.
    if (!written && !damaged) FailFileCall(failure, path);
    CloseFile(target.file);
    if (damaged) return FailPackage(failure, item.name, "The update package is damaged");
    return written;
}

int WritePayloadContent(const char* target, const PayloadView& record, ExtractFailure* failure) {
    InstallItem item = {record.name, record.content, record.fileSize, 0, 0, record.compressed,
                        record.contentSize};
    return WriteContent(target, item, 0, failure);
}

static int FailTooLong(ExtractFailure* failure, const char* name) {
    return FailFile(failure, name, DescribeFileFailure(kFailurePathTooLong));
}

// Writes the item's new file beside its target, journaled first.
static int StageItem(const InstallItem& item, int counted, ExtractFailure* failure) {
    SidePaths paths;
    if (!MakeSidePaths(item.name, &paths)) return FailTooLong(failure, item.name);
    if (!AddJournalEntry(&journal, kJournalNew, item.name))
        return FailFileCall(failure, kJournalFileName);
    return WriteContent(paths.fresh, item, counted, failure);
}

static InstallItem RecordItem(uint32_t index) {
    const PayloadView& view = g_Records[index].view;
    return InstallItem{view.name, view.content, view.fileSize, 0, 0, view.compressed,
                       view.contentSize};
}

int ExtractPayloadFile(uint32_t index, ExtractFailure* failure) {
    return CheckRecord(index, failure) && StageItem(RecordItem(index), 1, failure);
}

// Sets the original aside and renames the new file into place, each step
// journaled first. Done steps are kept, so Retry goes on where it stopped.
static int CommitItem(InstallItem* item, ExtractFailure* failure) {
    SidePaths p;
    if (!MakeSidePaths(item->name, &p)) return FailTooLong(failure, item->name);
    if (!item->setAside && PathExists(p.target)) {
        if (!AddJournalEntry(&journal, kJournalSetAside, item->name))
            return FailFileCall(failure, kJournalFileName);
        if (!MoveFileOver(p.target, p.old)) return FailFileCall(failure, p.target);
        item->setAside = 1;
    }
    if (!item->placed) {
        if (!AddJournalEntry(&journal, kJournalPlaced, item->name, item->size))
            return FailFileCall(failure, kJournalFileName);
        if (!MoveFileOver(p.fresh, p.target)) return FailFileCall(failure, p.target);
        item->placed = 1;
    }
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

static int StageRecords(std::vector<InstallItem>* items) {
    for (uint32_t i = 0; i < g_PackageHeader.fileCount; i++) {
        uint32_t bytesBefore = g_BytesDone;
        int done = RetryUntilDone([&](ExtractFailure* failure) {
            g_BytesDone = bytesBefore;  // a retried file counts once
            SetProgress(ComputeProgress(bytesBefore, g_PackageHeader.totalBytes));
            return ExtractPayloadFile(i, failure);
        });
        if (!done) return 0;
        items->push_back(RecordItem(i));
    }
    return 1;
}

static int CommitRecords(std::vector<InstallItem>* items) {
    for (InstallItem& item : *items)
        if (!RetryUntilDone([&](ExtractFailure* failure) { return CommitItem(&item, failure); }))
            return 0;
    return 1;
}

// The stamp goes in like the records, but a stamp that can't be written is
// left out without a word, as it always was: the update itself is done.
static void PlaceStamp() {
    static unsigned char stamp[kStampSize];
    EncodeStamp(g_PackageHeader.buildTime, stamp);
    InstallItem item = {kStampFileName, stamp, kStampSize, 0, 0};
    ExtractFailure ignored;
    if (StageItem(item, 0, &ignored) && CommitItem(&item, &ignored)) return;
    std::vector<JournalEntry> stampEntries;
    for (const JournalEntry& e : journal.entries)
        if (e.name == kStampFileName) stampEntries.push_back(e);
    std::string failed;
    RecoverFromEntries(stampEntries, &failed);
}

// After a Cancel: every original back, every new file gone.
static void RollBackInstall() {
    std::string failed;
    RecoveryOutcome outcome = RecoverFromEntries(journal.entries, &failed);
    if (outcome != kIncomplete) {
        EndJournal(&journal);
        return;
    }
    LeaveJournal(&journal);
    RecoverInterruptedInstall(g_UpdaterWindow);
}

static int InstallAll() {
    if (!RetryUntilDone(CheckInstall)) return 0;
    if (!RetryUntilDone([](ExtractFailure* failure) {
            if (StartJournal(&journal)) return 1;
            FailFileCall(failure, kJournalFileName);
            EndJournal(&journal);  // a journal that couldn't start leaves nothing
            return 0;
        }))
        return 0;
    std::vector<InstallItem> items;
    int staged = StageRecords(&items);
    // Before anything is set aside the journal goes to the disk, so that
    // even a power cut leaves it whole; a disk that can't flush is no reason
    // to stop.
    if (staged) FlushJournal(&journal);
    if (!staged || !CommitRecords(&items)) {
        RollBackInstall();
        return 0;
    }
    PlaceStamp();
    AddJournalEntry(&journal, kJournalCommitted, "");
    FlushJournal(&journal);
    // The originals go; one that can't is left for the next start to remove.
    std::string failed;
    if (RecoverFromEntries(journal.entries, &failed) == kFinished) {
        EndJournal(&journal);
    } else {
        LeaveJournal(&journal);
    }
    return 1;
}

static void OpenReadme() {
    char path[kMaxPath];
    if (!g_ReadmeName[0] || !IsSafeRelativeName(g_ReadmeName)) return;
    if (!MakeInstallPath(g_ReadmeName, path)) return;
    OpenDocument(path);
    SleepMilliseconds(250);
}

static void EndWorker() {
    g_Quit = 1;
    g_Busy = 0;
    WakeWindow(g_UpdaterWindow);
}

uint32_t UpdateWorker(void*) {
    g_Busy = 1;
    g_BytesDone = 0;
    if (!InstallAll()) {
        // A failed update must not look like success to whoever started us.
        g_UpdateFailed = 1;
        EndWorker();
        return 0;
    }
    ShowMessage(g_UpdaterWindow, "Orvanta was succesfuly updated.", "Done", kButtonsOk);
    OpenReadme();
    EndWorker();
    return 0;
}
