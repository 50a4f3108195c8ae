// Why an install can't go on at some file, folder or check, and the words
// that tell the player: Retry and Cancel for what Retry can mend (a held
// file, a missing folder, no room, a failed write), OK only for a fault of
// the package itself. The install shows nothing itself: it asks through
// its session's questions (install_session.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "platform/files.h"

enum FailureKind {
    kFileFailed,     // a file could not be checked or written
    kFolderMissing,  // a target's folder does not exist
    kNoRoom,         // the disk has too little room for the new files
    kPackageFault,   // a record is damaged, or its name can't be installed
    kOtherRelease,   // files the patch assumes aren't those it was made from
};

struct ExtractFailure {
    FailureKind kind;
    char target[kMaxPath + 40];  // the file's or folder's path, or a name
    char reason[200];            // in plain words
    char files[12 * kMaxPath];   // kOtherRelease: the files, a line each
};

// Fill failure and give 0, so a check can end with "return Fail...(...)".
int FailFile(ExtractFailure* failure, const char* target, const char* reason);
int FailFolder(ExtractFailure* failure, const char* folder);
int FailPackage(ExtractFailure* failure, const char* record, const char* reason);
int FailRoom(ExtractFailure* failure, uint64_t needed, uint64_t free);
// The files (names relative to the game folder) that aren't the ones the
// patch was made from: up to ten named, then how many more.
int FailOtherRelease(ExtractFailure* failure, const std::vector<std::string>& names);
// The reason of the file call that just failed.
int FailFileCall(ExtractFailure* failure, const char* target);

// Plain words for why a file could not be written; nullptr for a cause the
// system's own words describe better.
const char* DescribeFileFailure(FileFailure failure);

// The failure in words for its box (text holds size bytes).
void FormatFailure(const ExtractFailure& failure, char* text, uint32_t size);
