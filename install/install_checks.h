// The checks an install makes before it writes anything: every record can
// be written where it belongs, inside the game directory, now, and the disk
// has room for the new files while the old ones still exist.
#pragma once
#include <string>
#include <vector>
#include "install/install_failure.h"

// 1 when the install may start; 0 with the first thing that stops it.
// absent[i] is 1 when the folder's listing showed nothing at the target of
// record i (an original there later is met by a rename that won't replace).
int CheckInstall(ExtractFailure* failure, std::vector<char>* absent);

// 1 when record number index can be written where it belongs: it is whole,
// its name stays inside the game directory and isn't one of ours, and the
// path of its new file fits.
int CheckRecord(uint32_t index, ExtractFailure* failure);

// 1 when path is root or lies inside it (both resolved, as the system
// spells them).
int IsInsideFolder(const char* path, const char* root);

// The path up to its last separator.
std::string FolderOf(const char* path);
