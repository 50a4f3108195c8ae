// What the updater needs before its window opens: the install directory
// from the registry and the package information from its own image.
#pragma once
#include <cstdint>

// The game's install directory into buffer. 0 when the value is missing,
// unreadable or longer than the buffer.
int ReadInstallDir(char* buffer, uint32_t size);

// Loads HEADER (exactly 16 bytes), TITLE and, only when there is a title,
// README into the process's package state. 0 when the package is unusable.
int LoadPackageInfo();

// The longest record name in the package, so a directory can be checked
// against every path it will have to hold before anything is written.
uint32_t GetLongestRecordName();
