// Undoing or finishing an install from its journal: after a Cancel or a
// failure in this process, and at the next start after an install that was
// killed.
#pragma once
#include <string>
#include <vector>
#include "platform/system.h"
#include "updater/install_journal.h"

enum RecoveryOutcome {
    kNothingToRecover,
    kRolledBack,    // every original is back, every new file gone
    kFinished,      // the install had committed: its set-aside originals are gone
    kIncomplete,    // a file could not be put back; the journal stays for next time
};

// Puts the game back as it was before the install the entries describe, or,
// when they say it committed, finishes it. Touches only the files the
// entries name (and their side files); a file put in place where there was
// none is deleted only while it still has the size the journal recorded.
// failedPath gets the first file it could not handle.
RecoveryOutcome RecoverFromEntries(const std::vector<JournalEntry>& entries,
                                   std::string* failedPath);

// Recovers from a journal left in the install directory by an install that
// did not end, tells the user what was done (owned by owner) and removes the
// journal when all is done. 0 when the game could not be put in order, and
// no update may start.
int RecoverInterruptedInstall(WindowHandle owner);

// The same for the game in directory (as the user gives it), leaving the
// install directory as it was.
int RecoverInterruptedInstallAt(const char* directory, WindowHandle owner);
