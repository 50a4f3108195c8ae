// A limit on the size of any file this process writes; writes beyond it fail
// (EFBIG) instead of ending the process.
#include <csignal>
#include <sys/resource.h>
#include "tests/unit/test_support.h"

int LimitFileSize(uint64_t bytes) {
    static rlimit saved;
    static int limited = 0;
    if (!limited) getrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = {static_cast<rlim_t>(bytes), saved.rlim_max};
    limited = bytes != 0;
    return setrlimit(RLIMIT_FSIZE, limited ? &limit : &saved) == 0;
}

int FoldersMoveWhileHeld() { return 1; }
