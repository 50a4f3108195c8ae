// The one rule for the names of a package's records, kept by the updater
// before it writes anything, by the journal's trust in its own lines, and by
// every command of the package tools: a name the updater will create inside
// the game directory, one that Windows can create and tell apart from every
// other name of the package.
//
// Names are bytes in the package's code page, '\' (or '/') between parts. A
// double-byte code page is walked character by character from the start, so
// a second byte of 0x5C is not taken for a separator.
#pragma once
#include <cstdint>
#include <map>
#include <string>

// The files an install makes beside a target carry these endings, and its
// journal this name: a package can't hold such names, so they can't collide
// with a payload file, and anyone who finds one sees whose it is.
const char* const kNewFileSuffix = ".update-new";
const char* const kOldFileSuffix = ".update-old";
const char* const kJournalFileName = "Update.journal";
const uint32_t kSuffixLength = 11;

enum RecordNameFault {
    kNameSound,
    kNameEmptyPart,           // an empty name, or "a\\b", "a\"
    kNameOutside,             // a ".." part, a drive, a leading separator
    kNameDotPart,             // a "." part
    kNameStream,              // a ':' (a stream of a file)
    kNameBadCharacter,        // < > " | ? * or a control character
    kNameDevice,              // CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9 (superscript 1-3 too), any extension
    kNameTrailingDotOrBlank,  // a part ending in '.' or ' ', which Windows drops
    kNameReserved,            // one of the updater's own file names
};

// What is wrong with the name on its own, in the code page; kNameSound when
// nothing is.
RecordNameFault JudgeRecordName(const char* name, uint32_t codePage);
// The fault in words that follow "the updater refuses this name: ".
const char* DescribeNameFault(RecordNameFault fault);
// Said of a record whose name Windows can't tell from an earlier one's.
const char* const kSameNameText = "another file of this update has the same name";

// 1 for a name a record may not have: one of the updater's own files, in
// any case: a side file anywhere, the journal or the stamp at the top.
int IsReservedInstallName(const char* name);

// 1 when a part of the name is shaped like a short (8.3) name that Windows
// makes for a long one, such as "READ~1.TXT": it may name another file of
// the game. Sound all the same; the packer warns of it.
int HasShortNameShape(const char* name, uint32_t codePage);

// The names of one package as Windows tells them apart: case folded in the
// code page, either separator. A file and a folder of one name clash too.
struct RecordNameSet {
    uint32_t codePage;
    std::map<std::string, uint32_t> files;    // key → index of the record
    std::map<std::string, uint32_t> folders;  // key → the first record inside
};

// Adds a sound name as record number index. 1 when Windows tells it from
// every name added before; 0 with *earlier the index of the one it can't.
[[nodiscard]] int AddRecordName(RecordNameSet* set, const char* name, uint32_t index, uint32_t* earlier);
