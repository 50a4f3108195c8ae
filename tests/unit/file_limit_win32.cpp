// Windows has no limit of a process's file sizes: tests that need one skip.
#include "tests/unit/test_support.h"

int LimitFileSize(uint64_t) { return 0; }
