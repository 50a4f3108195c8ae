// The install directory as the user confirmed it, the paths inside it, and
// the two checks made before an update starts.
#pragma once
#include <cstdint>
#include "platform/files.h"
#include "frame/path_text.h"
#include "package/record_names.h"

// Takes the directory text, adds the trailing '\' when its last character
// isn't one (an empty text becomes "\", the root of the current drive) and
// stores it as the install directory. 0 when the directory with "ov.exe",
// or with "Update.ver" or a name of longestName bytes and a side file's
// ending appended to it, would not fit a path. isLeadByte tells the text's
// double-byte characters.
int SetInstallDir(const char* text, uint32_t longestName, LeadBytePredicate isLeadByte);

// The install directory with name appended, into path (kMaxPath bytes). 0
// when it doesn't fit.
int MakeInstallPath(const char* name, char* path);

// The paths an install uses for one name: the target and its two side files.
struct SidePaths {
    char target[kMaxPath];
    char fresh[kMaxPath];  // the new file beside it
    char old[kMaxPath];    // the original set aside
};
// 0 when one of them doesn't fit a path.
int MakeSidePaths(const char* name, SidePaths* paths);

// 1 when "ov.exe" is in the install directory.
int IsGameInstalled();

// 1 when "Update.ver" holds a build time later than this package's. A stamp
// of fewer than 8 bytes counts as none.
int IsNewerStampInstalled();
