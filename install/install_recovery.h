// Undoing or finishing an install from its journal: after a Cancel or a
// failure in this process, and at the next start after an install that was
// killed.
#pragma once
#include <string>
#include <vector>
#include "platform/system.h"
#include "install/install_journal.h"

enum RecoveryOutcome {
    kNothingToRecover,
    kRolledBack,    // every original is back, every new file gone
    kFinished,      // the install had committed: its set-aside originals are gone
    kIncomplete,    // a file could not be put back; the journal stays for next time
};

// Puts the game back as it was before the install the (trusted) entries
// describe, or, when they say it committed, finishes it. Acts only on files
// whose identity is the one the entries recorded for the name (never on a
// link: its own identity is read), in folders that lie inside the game
// folder with links resolved. A file placed where there was none is
// deleted only while it also has the size the entries recorded.
// failedPath gets the first file it could not handle.
RecoveryOutcome RecoverFromEntries(const std::vector<JournalEntry>& entries,
                                   std::string* failedPath);

// Deletes the file at path while it is the one identity names (and, when
// sized, still of its size). 1 when it is gone or isn't ours.
int RemoveOwnFile(const char* path, const FileIdentity* identity, int sized = 0);

// Takes this process's lock on the game folder (one updater at a time works
// on it; while another holds it, an "Error" box says so), then recovers
// from a journal left in the install directory by an install that did not
// end (only while the marker of that install names this folder), tells the
// user what was done (owned by owner) and removes the journal and marker
// when all is done. 0 when the game could not be put in order or another
// updater works on it: no update may start.
int RecoverInterruptedInstall(WindowHandle owner);

// The same for the game in directory (as the user gives it), leaving the
// install directory as it was.
int RecoverInterruptedInstallAt(const char* directory, WindowHandle owner);
