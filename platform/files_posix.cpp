// Files and folders on POSIX, for the native build and its tests.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include "platform/files.h"
#include "platform/posix_path.h"

// Descriptors are carried as fd + 1 so that 0 stays "no file".
static FileHandle ToFileHandle(int fd) { return fd < 0 ? 0 : static_cast<FileHandle>(fd) + 1; }
static int ToFd(FileHandle file) { return static_cast<int>(file) - 1; }

static thread_local int lastErrno = 0;

static void RememberErrno() { lastErrno = errno; }
void RememberFileError(int error) { lastErrno = error; }  // for folders_posix.cpp

static FileHandle Open(const char* path, int flags) {
    int fd = open(ToPosixPath(path).c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) RememberErrno();
    return ToFileHandle(fd);
}

FileHandle OpenForRead(const char* path) { return Open(path, O_RDONLY); }

FileHandle CreateForWrite(const char* path) { return Open(path, O_RDWR | O_CREAT | O_TRUNC); }

void CloseFile(FileHandle file) {
    if (file) close(ToFd(file));
}

uint32_t ReadBlock(FileHandle file, void* buffer, uint32_t count) {
    ssize_t n;
    do n = read(ToFd(file), buffer, count);
    while (n < 0 && errno == EINTR);
    if (n < 0) RememberErrno();
    return n < 0 ? 0 : static_cast<uint32_t>(n);
}

uint32_t ReadBlockAt(FileHandle file, uint64_t offset, void* buffer, uint32_t count) {
    ssize_t n;
    do n = pread(ToFd(file), buffer, count, static_cast<off_t>(offset));
    while (n < 0 && errno == EINTR);
    if (n < 0) RememberErrno();
    return n < 0 ? 0 : static_cast<uint32_t>(n);
}

uint32_t WriteBlock(FileHandle file, const void* buffer, uint32_t count) {
    ssize_t n;
    do n = write(ToFd(file), buffer, count);
    while (n < 0 && errno == EINTR);
    if (n < 0) RememberErrno();
    if (n == 0 && count) lastErrno = ENOSPC;  // a write that moves nothing
    return n < 0 ? 0 : static_cast<uint32_t>(n);
}

uint64_t GetFileSize64(FileHandle file) {
    struct stat st;
    if (fstat(ToFd(file), &st) != 0) return ~0ull;
    return static_cast<uint64_t>(st.st_size);
}

void MakeFileWritable(const char* path) {
    std::string p = ToPosixPath(path);
    struct stat st;
    if (stat(p.c_str(), &st) == 0) chmod(p.c_str(), st.st_mode | S_IWUSR);
}

FileFailure GetLastFileFailure(char* text, uint32_t size) {
    if (size) text[0] = 0;
    switch (lastErrno) {
    case ENOENT: case ENOTDIR: return kFailureNoFolder;
    case EACCES: case EPERM: return kFailureDenied;
    case EROFS: return kFailureWriteProtected;
    case EBUSY: case ETXTBSY: return kFailureInUse;
    case ENOSPC: case EDQUOT: return kFailureDiskFull;
    case ENAMETOOLONG: return kFailurePathTooLong;
    }
    if (size) snprintf(text, size, "%s", strerror(lastErrno));
    return kFailureOther;
}

// A search lists a whole folder at once, in the file system's order.
struct Search {
    DIR* dir;
    std::string folder;
};

static int ReadEntry(Search* s, FolderEntry* entry) {
    for (;;) {
        dirent* d = readdir(s->dir);
        if (!d) return 0;
        std::string full = s->folder + "/" + d->d_name;
        struct stat st;
        if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
        snprintf(entry->name, sizeof entry->name, "%s", d->d_name);
        entry->isFolder = S_ISDIR(st.st_mode);
        entry->size = entry->isFolder ? 0 : static_cast<uint64_t>(st.st_size);
        entry->nameLost = 0;
        return 1;
    }
}

SearchHandle FindFirstEntry(const char* pattern, FolderEntry* entry) {
    std::string folder = ToPosixPath(pattern);
    size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    Search* s = new Search{dir, folder};
    if (!ReadEntry(s, entry)) {
        CloseSearch(reinterpret_cast<SearchHandle>(s));
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

int GetFolderIdentity(const char* path, uint64_t identity[2]) {
    struct stat st;
    if (stat(ToPosixPath(path).c_str(), &st) != 0) return 0;
    identity[0] = static_cast<uint64_t>(st.st_dev);
    identity[1] = static_cast<uint64_t>(st.st_ino);
    return 1;
}

static void ToIdentity(const struct stat& st, FileIdentity* identity) {
    identity->volume = static_cast<uint64_t>(st.st_dev);
    identity->file = static_cast<uint64_t>(st.st_ino);
    identity->size = static_cast<uint64_t>(st.st_size);
}

int GetOpenFileIdentity(FileHandle file, FileIdentity* identity) {
    struct stat st;
    if (fstat(ToFd(file), &st) != 0) return 0;
    ToIdentity(st, identity);
    return 1;
}

uint32_t GetWorkingDirectory(char* buffer, uint32_t size) {
    if (!getcwd(buffer, size)) return 0;
    return static_cast<uint32_t>(strlen(buffer));
}

const uint32_t kNativePathLimit = kMaxBuildPath;

int MakeNativePath(const char* path, char* out, uint32_t size) {
    return snprintf(out, size, "%s", ToPosixPath(path).c_str()) < static_cast<int>(size);
}

int FlushFile(FILE* file) { return fflush(file) == 0 && fsync(fileno(file)) == 0; }

int MoveFileOver(const char* source, const char* target) {
    // A new file was created with default permissions; it takes over the
    // target's, so an executable stays executable.
    std::string from = ToPosixPath(source), to = ToPosixPath(target);
    struct stat st;
    if (stat(to.c_str(), &st) == 0 && chmod(from.c_str(), st.st_mode & 07777) != 0) return 0;
    if (rename(from.c_str(), to.c_str()) == 0) return 1;
    RememberErrno();
    return 0;
}


int RemoveFile(const char* path) {
    if (unlink(ToPosixPath(path).c_str()) == 0) return 1;
    RememberErrno();
    return 0;
}

int FlushFileData(FileHandle file) { return fsync(ToFd(file)) == 0; }


int GetFreeDiskSpace(const char* path, uint64_t* bytes) {
    struct statvfs st;
    if (statvfs(ToPosixPath(path).c_str(), &st) != 0) return 0;
    *bytes = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    return 1;
}

int SetWorkingDirectory(const char* path) { return chdir(ToPosixPath(path).c_str()) == 0; }

int MakeFolder(const char* path) {
    std::string p = ToPosixPath(path);
    if (mkdir(p.c_str(), 0755) != 0 && errno != EEXIST) {
        RememberErrno();
        return 0;
    }
    struct stat st;
    return lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int IsLink(const char* path) {
    struct stat st;
    return lstat(ToPosixPath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

