// Folders, clock, messages and errors on POSIX, for the native build.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

PosixPath::PosixPath(const char* windowsPath) : path_(windowsPath ? windowsPath : "") {
    for (char& c : path_)
        if (c == '\\') c = '/';
}

static thread_local uint32_t lastError = 0;

void RememberErrno() {
    switch (errno) {
    case ENOENT: lastError = 2; break;          // file not found
    case ENOTDIR: lastError = 3; break;         // path not found
    case EACCES: case EPERM: case EROFS: lastError = 5; break;
    case EBUSY: case ETXTBSY: lastError = 32; break;
    case ENOSPC: case EDQUOT: lastError = 112; break;
    case ENAMETOOLONG: lastError = 206; break;
    default: lastError = 0x20000000u | static_cast<uint32_t>(errno); break;
    }
}

uint32_t GetLastSystemError() { return lastError; }

void DescribeSystemError(uint32_t code, char* text, uint32_t size) {
    if (!size) return;
    if (code & 0x20000000u)
        snprintf(text, size, "%s", strerror(static_cast<int>(code & 0xFFFF)));
    else
        snprintf(text, size, "system error %u", code);
}

// A search lists a whole folder at once: the file system's order, kept.
struct Search {
    DIR* dir;
    std::string folder;
};

static int ReadEntry(Search* s, FolderEntry* entry) {
    for (;;) {
        errno = 0;
        dirent* d = readdir(s->dir);
        if (!d) return 0;
        std::string full = s->folder + "/" + d->d_name;
        struct stat st;
        if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
        snprintf(entry->name, sizeof entry->name, "%s", d->d_name);
        entry->attributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
        uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
        entry->sizeLow = static_cast<uint32_t>(size);
        entry->sizeHigh = static_cast<uint32_t>(size >> 32);
        return 1;
    }
}

SearchHandle FindFirstEntry(const char* pattern, FolderEntry* entry) {
    std::string folder = PosixPath(pattern).c_str();
    size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    Search* s = new Search{dir, folder};
    if (!ReadEntry(s, entry)) {
        closedir(dir);
        delete s;
        return 0;
    }
    return reinterpret_cast<SearchHandle>(s);
}

int FindNextEntry(SearchHandle search, FolderEntry* entry) {
    return ReadEntry(reinterpret_cast<Search*>(search), entry);
}

void CloseSearch(SearchHandle search) {
    Search* s = reinterpret_cast<Search*>(search);
    closedir(s->dir);
    delete s;
}

uint32_t GetWorkingDirectory(char* buffer, uint32_t size) {
    if (!getcwd(buffer, size)) return 0;
    return static_cast<uint32_t>(strlen(buffer));
}

void SetFileAttributesTo(const char* path, uint32_t attributes) {
    // Only "writable again" has a meaning here.
    if (attributes == kAttributeArchive) {
        PosixPath p(path);
        struct stat st;
        if (stat(p.c_str(), &st) == 0) chmod(p.c_str(), st.st_mode | S_IWUSR);
    }
}

uint64_t GetSystemFileTime() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const uint64_t kEpochDelta = 116444736000000000ull;  // 1601 to 1970
    return kEpochDelta + static_cast<uint64_t>(ts.tv_sec) * 10000000ull +
           static_cast<uint64_t>(ts.tv_nsec) / 100;
}

void SleepMilliseconds(uint32_t milliseconds) { usleep(milliseconds * 1000u); }

int GetFolderIdentity(const char* path, uint64_t identity[2]) {
    struct stat st;
    if (stat(PosixPath(path).c_str(), &st) != 0) return 0;
    identity[0] = static_cast<uint64_t>(st.st_dev);
    identity[1] = static_cast<uint64_t>(st.st_ino);
    return 1;
}

int MakeNativePath(const char* path, char* out, uint32_t size) {
    return snprintf(out, size, "%s", PosixPath(path).c_str()) < static_cast<int>(size);
}
