// The install's journal: a file in the game folder that records, before
// each step, every new file the install makes beside its target and every
// original it sets aside, with the identity of each (volume, file id, size),
// so that an install that is killed can be undone (or finished) by the next
// start of any updater.
//
// The game folder may be writable by every user, so the file alone proves
// nothing. While an install runs, a marker in the protected store (see
// platform/protected_store.h) holds the game folder, a random install id
// and a random secret key; each line carries an HMAC-SHA-256 with that key
// over the install id, the folder and the line itself, line number
// included. Only lines that check out are trusted, and only while the
// marker for this folder exists: a journal written by hand, or copied from
// another game folder, is never acted on.
//
// A line: number, kind, size, volume, file id (fixed-width hex), name, MAC,
// separated by TABs and ended by CR LF. The first line names the format.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include "platform/files.h"
#include "install/install_failure.h"

enum JournalKind : char {
    kJournalItself = 'J',     // the journal file's own identity (no name)
    kJournalMaking = 'A',     // name + kNewFileSuffix is about to be made (no identity yet)
    kJournalNew = 'N',        // name + kNewFileSuffix was made new: its identity
    kJournalSetAside = 'O',   // name is about to become name + kOldFileSuffix: its identity
    kJournalPlaced = 'P',     // the new file (its identity, full size) is about to become name
    kJournalCommitted = 'C',  // every file and the stamp are in place
    kJournalRolledBack = 'R', // Cancel after a commit line that didn't reach the disk
};

struct JournalEntry {
    char kind;
    FileIdentity identity;
    std::string name;
};

// The secret of one install, kept in the protected store while it runs.
struct JournalKey {
    unsigned char id[16];
    unsigned char secret[32];
    std::string folder;  // the game folder, links resolved
};

std::string EncodeJournalLine(const JournalKey& key, uint32_t number, const JournalEntry& entry);
// The trusted entries of a journal's bytes, in order: lines whose MAC checks
// with key, numbered upwards.
std::vector<JournalEntry> ParseJournal(const JournalKey& key, const unsigned char* bytes,
                                       size_t size);

// The journal of one install, as written so far.
struct Journal {
    FileHandle file;
    JournalKey key;
    FileIdentity self;  // the journal file's identity
    uint32_t lines;     // numbers given so far
    std::vector<JournalEntry> entries;
    int torn;  // a write failed part way: the next line starts on a line of its own
};

struct GameFolders;

// Writes the marker for the held game folder and creates the journal new
// in it. 0 with failure telling why (EndJournal then removes what was made).
[[nodiscard]] int StartJournal(Journal* journal, const GameFolders* folders, ExtractFailure* failure);
// Adds a line (written to the file before the step it announces; a flush
// makes it durable).
[[nodiscard]] int AddJournalEntry(Journal* journal, char kind, const char* name, const FileIdentity& identity);
// Pushes the journal to the disk.
[[nodiscard]] int FlushJournal(Journal* journal);
// Closes the journal, deletes its file (only while it is the file this
// install made) and removes the marker. 1 when both are gone.
int EndJournal(Journal* journal, const GameFolders* folders);
// Closes the journal and leaves its file and marker for the next start.
void LeaveJournal(Journal* journal);
// The journal of an interrupted install in the held game folder: 0 when no
// marker for this folder exists (then nothing is to be done, whatever lies
// in the folder). journal gets the key and the trusted entries, no file.
[[nodiscard]] int ReadJournal(Journal* journal, const GameFolders* folders);
// 1 when both name the same file (volume and id; sizes aside).
int IsSameFile(const FileIdentity& a, const FileIdentity& b);
// A short tag for a game folder (hex), for names of its own in the store.
std::string TagFolder(const std::string& folder);
