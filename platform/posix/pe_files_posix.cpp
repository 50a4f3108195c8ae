// Files of the resource writer on POSIX systems.
#include <cstdio>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include "package/pe_resources.h"

static_assert(sizeof(off_t) == 8, "large file offsets are needed for packages beyond 2 GiB");

int ReplacePeFile(const char* source, const char* target) {
    // The new file was created with default permissions; it takes over the
    // target's, so an executable stays executable.
    struct stat st;
    if (stat(target, &st) != 0 || chmod(source, st.st_mode & 07777) != 0) return 0;
    return rename(source, target) == 0;
}

int SeekPeFile(FILE* file, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

int MeasurePeFile(FILE* file, uint64_t* size) {
    if (fseeko(file, 0, SEEK_END) != 0) return 0;
    off_t end = ftello(file);
    if (end < 0) return 0;
    *size = static_cast<uint64_t>(end);
    return 1;
}

int TruncatePeFile(FILE* file, uint64_t size) {
    if (fflush(file) != 0 || size > static_cast<uint64_t>(INT64_MAX)) return 0;
    return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
}

int FlushPeFile(FILE* file) {
    return fflush(file) == 0 && fsync(fileno(file)) == 0;
}
