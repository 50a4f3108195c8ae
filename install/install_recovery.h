// Undoing or finishing an install from its journal: after a Cancel or a
// failure in this process, and at the next start after an install that was
// killed.
#pragma once
#include <string>
#include <vector>
#include "install/install_session.h"

enum RecoveryOutcome {
    kNothingToRecover,
    kRolledBack,    // every original is back, every new file gone
    kFinished,      // the install had committed: its set-aside originals are gone
    kIncomplete,    // a file could not be put back; the journal stays for next time
};

// Puts the game back as it was before the install the (trusted) entries
// describe, or, when they say it committed, finishes it. Acts only inside
// the held game folder, in folders held one level at a time (one that now
// leads out of the game is left alone), and only on files whose identity is
// the one the entries recorded for the name, never through a link. A file
// placed where there was none is deleted only while it also has the size
// the entries recorded; a new file announced but not yet recorded is
// deleted while it is a plain file (its name was the install's alone).
// failedName gets the first name it could not handle.
RecoveryOutcome RecoverFromEntries(GameFolders* folders, const std::vector<JournalEntry>& entries,
                                   std::string* failedName);

// Recovers from a journal left in the held game folder by an install that
// did not end (only while the marker of that install names this folder),
// tells the player what was done and removes the journal and marker when all
// is done. 0 when the game could not be put in order.
[[nodiscard]] int RecoverHeldFolder(GameFolders* folders, const InstallQuestions* questions);

// Takes the lock on the game folder at directory (one updater at a time
// works on it; while another holds it, the player is told), then recovers it
// as above. Nothing is done again for the folder the lock already guards. 0
// when no update may start there.
[[nodiscard]] int RecoverInterruptedInstall(const char* directory, FolderLock* lock,
                              const InstallQuestions* questions);
