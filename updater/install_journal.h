// The install's journal: a small file in the game folder that records, before
// each step, every new file the install writes beside its target and every
// original it sets aside, so that an install that is killed can be undone
// (or finished) by the next start of any updater.
//
// A line is: kind, TAB, size, TAB, name, TAB, checksum of the rest, CR LF.
// Names are relative to the install directory. The first line names the
// format; a journal without it, and any line that doesn't check out, is not
// trusted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include "platform/files.h"
#include "updater/update_checks.h"

enum JournalKind : char {
    kJournalNew = 'N',        // name + kNewFileSuffix is about to be written
    kJournalSetAside = 'O',   // name is about to become name + kOldFileSuffix
    kJournalPlaced = 'P',     // the new file is about to become name; size: its bytes
    kJournalCommitted = 'C',  // every file and the stamp are in place
};

struct JournalEntry {
    char kind;
    uint32_t size;
    std::string name;
};

std::string EncodeJournalLine(const JournalEntry& entry);
// The trusted entries of a journal's bytes, in order.
std::vector<JournalEntry> ParseJournal(const unsigned char* bytes, size_t size);

// The journal of one install, as written so far.
struct Journal {
    FileHandle file;
    std::vector<JournalEntry> entries;
    int torn;  // a write failed part way: the next line starts on a line of its own
};

// Creates the journal in the install directory. 0 on failure (the last file
// failure says why; EndJournal then removes what was made).
int StartJournal(Journal* journal);
// Adds a line (written through to the file before the step it announces).
int AddJournalEntry(Journal* journal, char kind, const char* name, uint32_t size = 0);
// Pushes the journal to the disk.
int FlushJournal(Journal* journal);
// Closes and deletes the journal file.
int EndJournal(Journal* journal);
// Closes the journal and leaves its file for the next start to act on.
void LeaveJournal(Journal* journal);
// The trusted entries of the journal in the install directory. 0 when there
// is none.
int ReadJournal(std::vector<JournalEntry>* entries);
