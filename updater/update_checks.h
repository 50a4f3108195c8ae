// The install directory as the user confirmed it, the paths inside it, and
// the two checks made before an update starts.
#pragma once
#include <cstdint>
#include "frame/path_text.h"

// Takes the directory text, adds the trailing '\' when its last character
// isn't one (an empty text becomes "\", the root of the current drive) and
// stores it as the install directory. 0 when the directory with
// "Update.ver", "ov.exe" or a name of longestName bytes appended to it would
// not fit a path. isLeadByte tells the text's double-byte characters.
int SetInstallDir(const char* text, uint32_t longestName, LeadBytePredicate isLeadByte);

// The install directory with name appended, into path (kMaxPath bytes). 0
// when it doesn't fit.
int MakeInstallPath(const char* name, char* path);

// 1 when "ov.exe" is in the install directory.
int IsGameInstalled();

// 1 when "Update.ver" holds a build time later than this package's. A stamp
// of fewer than 8 bytes counts as none.
int IsNewerStampInstalled();
