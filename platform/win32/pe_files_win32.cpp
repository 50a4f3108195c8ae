// Files of the resource writer on Windows.
#include <windows.h>
#include <cstdio>
#include <io.h>
#include "package/pe_resources.h"

int ReplacePeFile(const char* source, const char* target) {
    // Write-through: the call returns once the new name is on the disk, so a
    // crash right after a successful build can't bring the old file back.
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

int SeekPeFile(FILE* file, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

int MeasurePeFile(FILE* file, uint64_t* size) {
    if (_fseeki64(file, 0, SEEK_END) != 0) return 0;
    __int64 end = _ftelli64(file);
    if (end < 0) return 0;
    *size = static_cast<uint64_t>(end);
    return 1;
}

int TruncatePeFile(FILE* file, uint64_t size) {
    if (fflush(file) != 0 || size > static_cast<uint64_t>(INT64_MAX)) return 0;
    return _chsize_s(_fileno(file), static_cast<__int64>(size)) == 0;
}

int FlushPeFile(FILE* file) {
    return fflush(file) == 0 && _commit(_fileno(file)) == 0;
}
