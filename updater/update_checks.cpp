#include "updater/update_checks.h"
#include "platform/files.h"
#include "package/package_info.h"

static const char kGameFileName[] = "ov.exe";

// Opens the file of that name in the install directory for reading.
static FileHandle OpenInstalled(const char* name) {
    char path[kMaxPath];
    return MakeInstallPath(name, path) ? OpenForRead(path) : 0;
}

int IsGameInstalled() {
    FileHandle file = OpenInstalled(kGameFileName);
    if (!file) return 0;
    CloseFile(file);
    return 1;
}

int IsNewerStampInstalled() {
    FileHandle file = OpenInstalled(kStampFileName);
    if (!file) return 0;
    unsigned char bytes[kStampSize];
    uint32_t n = ReadBlock(file, bytes, kStampSize);
    CloseFile(file);
    uint64_t stamp;
    if (n != kStampSize || !DecodeStamp(bytes, n, &stamp)) return 0;
    return stamp > g_PackageHeader.buildTime;
}
