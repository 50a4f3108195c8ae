// Windows has no limit of a process's file sizes (tests that need one skip),
// and a folder held open there can't be renamed.
#include "tests/unit/test_support.h"

int LimitFileSize(uint64_t) { return 0; }
int FoldersMoveWhileHeld() { return 0; }
