// One install of a package into one game folder: everything it works with
// beyond the program's process-wide values, in one struct that the checks,
// the install, recovery and rollback take. The window fills in the
// questions and the progress; tests fill in their own.
#pragma once
#include <cstdint>
#include <vector>
#include "install/game_folders.h"
#include "install/install_journal.h"
#include "package/package_info.h"
#include "package/record_names.h"
#include "platform/protected_store.h"

// What the install asks and tells the player.
struct InstallQuestions {
    // The failure shown with Retry and Cancel (a package fault: OK only);
    // 1 for Retry.
    int (*askRetry)(void* context, const ExtractFailure& failure);
    // A message with OK only.
    void (*tell)(void* context, const char* text, const char* title);
    void* context;
};

// Where the install tells how many bytes of the package's files it has
// written so far in this run.
struct ProgressSink {
    void (*show)(void* context, uint32_t bytesDone);
    void* context;
    // What the install is doing, while it isn't writing ("Checking
    // installed files..."); nullptr: back to writing. May be nullptr.
    void (*stage)(void* context, const char* text);
};

// The lock that lets one updater at a time work on a game folder, kept by
// whoever runs installs (the window) from the recovery at start on.
struct FolderLock {
    LockHandle handle = 0;
    std::string folder;  // the game folder it guards, links resolved
};

struct InstallSession {
    const PackageHeader* header = nullptr;
    const PackageRecords* package = nullptr;  // the records, and the files left as they are
    GameFolders folders;
    Journal journal;
    uint32_t bytesDone = 0;
    ProgressSink progress = {nullptr, nullptr, nullptr};
    InstallQuestions questions = {nullptr, nullptr, nullptr};
};

// Counts bytes more as written and tells the progress sink.
void CountInstalledBytes(InstallSession* session, uint32_t bytes);
// Sets the count back (a retried file counts once).
void SetInstalledBytes(InstallSession* session, uint32_t bytesDone);
