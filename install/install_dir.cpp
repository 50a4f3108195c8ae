#include "install/install_dir.h"
#include <algorithm>
#include <cstring>
#include "package/package_format.h"
#include "platform/system.h"

char g_InstallDir[kMaxPath];
uint32_t g_InstallDirLength = 0;

int ReadInstallDir(char* buffer, uint32_t size) {
    return ReadMachineString("SOFTWARE\\Mervolk\\Orvanta\\1.00", "TAR_DIR", buffer, size);
}

int SetInstallDir(const char* text, uint32_t longestName, LeadBytePredicate isLeadByte) {
    size_t length = strlen(text);
    int needsSeparator = GetLastSingleByte(text, length, isLeadByte) != '\\';
    size_t directoryLength = length + (needsSeparator ? 1 : 0);
    // Each file, the stamp included, is written beside its target first. The
    // readme isn't counted: it is optional, and one that doesn't fit is
    // simply not opened, where refusing every directory would stop the
    // install altogether.
    size_t longest = std::max<size_t>(longestName, strlen(kStampFileName)) + kSuffixLength;
    if (directoryLength + longest + 1 > kMaxPath) return 0;
    memmove(g_InstallDir, text, length);  // text may be the install directory itself
    if (needsSeparator) g_InstallDir[length] = '\\';
    g_InstallDir[directoryLength] = 0;
    g_InstallDirLength = static_cast<uint32_t>(directoryLength);
    return 1;
}

int MakeInstallPath(const char* name, char* path) {
    size_t length = strlen(name);
    if (g_InstallDirLength + length + 1 > kMaxPath) return 0;
    memcpy(path, g_InstallDir, g_InstallDirLength);
    memcpy(path + g_InstallDirLength, name, length + 1);
    return 1;
}
