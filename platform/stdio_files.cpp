// Positions and sizes of large files through C stdio, the same on every
// platform: the build defines _FILE_OFFSET_BITS=64, which gives MinGW's C
// library the 64-bit fseeko, ftello and ftruncate too.
#include <cstdio>
#include <sys/types.h>
#include <unistd.h>
#include "platform/files.h"

static_assert(sizeof(off_t) == 8, "large file offsets are needed for packages beyond 2 GiB");

int SeekFile(FILE* file, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

int MeasureFile(FILE* file, uint64_t* size) {
    if (fseeko(file, 0, SEEK_END) != 0) return 0;
    off_t end = ftello(file);
    if (end < 0) return 0;
    *size = static_cast<uint64_t>(end);
    return 1;
}

int TruncateFile(FILE* file, uint64_t size) {
    if (fflush(file) != 0 || size > static_cast<uint64_t>(INT64_MAX)) return 0;
    return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
}
