// The game's install directory: where the registry says it is, as the user
// confirmed it, and the paths of the files an install writes inside it.
#pragma once
#include <cstdint>
#include "base/path_text.h"
#include "package/record_names.h"
#include "platform/files.h"

extern char g_InstallDir[kMaxPath];  // with its trailing '\'
extern uint32_t g_InstallDirLength;

// The game's install directory into buffer. 0 when the value is missing,
// unreadable or longer than the buffer.
[[nodiscard]] int ReadInstallDir(char* buffer, uint32_t size);

// Takes the directory text, adds the trailing '\' when its last character
// isn't one (an empty text becomes "\", the root of the current drive) and
// stores it as the install directory. 0 when the directory with "ov.exe",
// or with "Update.ver" or a name of longestName bytes and a side file's
// ending appended to it, would not fit a path. isLeadByte tells the text's
// double-byte characters.
[[nodiscard]] int SetInstallDir(const char* text, uint32_t longestName, LeadBytePredicate isLeadByte);

// The install directory with name appended, into path (kMaxPath bytes). 0
// when it doesn't fit.
[[nodiscard]] int MakeInstallPath(const char* name, char* path);
