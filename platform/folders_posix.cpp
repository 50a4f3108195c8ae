// Held folders on POSIX: directory descriptors and the *at() calls, never
// following a link (O_NOFOLLOW, AT_SYMLINK_NOFOLLOW). A descriptor follows
// its folder if it is moved, and only someone who may write where it goes
// can move it there: nothing lands in a folder the player couldn't write.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include "platform/folders.h"
#include "platform/posix_path.h"

void RememberFileError(int error);  // files_posix.cpp

static FolderHandle ToFolder(int fd) { return fd < 0 ? 0 : static_cast<FolderHandle>(fd) + 1; }
static int FolderFd(FolderHandle folder) { return static_cast<int>(folder) - 1; }
static FileHandle ToFile(int fd) { return fd < 0 ? 0 : static_cast<FileHandle>(fd) + 1; }

static int Fail() {
    RememberFileError(errno);
    return -1;
}

FolderHandle HoldFolder(const char* path) {
    int fd = open(ToPosixPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return ToFolder(fd < 0 ? Fail() : fd);
}

FolderHandle HoldSubfolder(FolderHandle parent, const char* name, int* viaLink) {
    *viaLink = 0;
    const int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    int fd = openat(FolderFd(parent), name, kFlags | O_NOFOLLOW);
    if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) {
        struct stat st;
        if (fstatat(FolderFd(parent), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
            *viaLink = 1;
            fd = openat(FolderFd(parent), name, kFlags);
        }
    }
    return ToFolder(fd < 0 ? Fail() : fd);
}

void ReleaseFolder(FolderHandle folder) {
    if (folder) close(FolderFd(folder));
}

int GetHeldFolderPath(FolderHandle folder, char* out, uint32_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", FolderFd(folder));
    ssize_t n = readlink(link, out, size);
    if (n <= 0 || static_cast<uint32_t>(n) >= size) return 0;
    out[n] = 0;
    return 1;
}

int ListHeldFolder(FolderHandle folder, HeldEntryVisitor visit, void* context) {
    int fd = openat(FolderFd(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (!dir) {
        if (fd >= 0) close(fd);
        return 0;
    }
    int ok = 1;
    for (dirent* d; ok && (d = readdir(dir)) != nullptr;) {
        if (!strcmp(d->d_name, ".") || !strcmp(d->d_name, "..")) continue;
        struct stat st;
        if (fstatat(FolderFd(folder), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        HeldEntry held = HeldEntry();
        snprintf(held.entry.name, sizeof held.entry.name, "%s", d->d_name);
        held.entry.isFolder = S_ISDIR(st.st_mode);
        held.entry.size = static_cast<uint64_t>(st.st_size);
        ok = visit(context, held);
    }
    closedir(dir);
    return ok;
}

FileHandle CreateNewFileIn(FolderHandle folder, const char* name) {
    int fd = openat(FolderFd(folder), name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    return ToFile(fd < 0 ? Fail() : fd);
}

FileHandle OpenFileIn(FolderHandle folder, const char* name) {
    int fd = openat(FolderFd(folder), name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        errno = EISDIR;
        fd = -1;
    }
    return ToFile(fd < 0 ? Fail() : fd);
}

static int StatIn(FolderHandle folder, const char* name, struct stat* st) {
    return fstatat(FolderFd(folder), name, st, AT_SYMLINK_NOFOLLOW) == 0;
}

int GetFileIdentityIn(FolderHandle folder, const char* name, FileIdentity* identity) {
    struct stat st;
    if (!StatIn(folder, name, &st)) return Fail() + 1;
    *identity = FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                             static_cast<uint64_t>(st.st_size)};
    return 1;
}

// Nothing holds a name here against a rename: the look is for the identity.
int CanChangeFileIn(FolderHandle folder, const char* name, int* standing,
                    FileIdentity* identity) {
    *standing = GetFileIdentityIn(folder, name, identity);
    return *standing || errno == ENOENT;
}

// 1 when a plain file has the name, and it is the expected one.
static int IsExpected(FolderHandle folder, const char* name, const ExpectedFile* expected) {
    struct stat st;
    if (!StatIn(folder, name, &st) || !S_ISREG(st.st_mode)) return 0;
    if (!expected) return 1;
    const FileIdentity& id = expected->identity;
    return static_cast<uint64_t>(st.st_dev) == id.volume &&
           static_cast<uint64_t>(st.st_ino) == id.file &&
           (!expected->sized || static_cast<uint64_t>(st.st_size) == id.size);
}

EntryResult MoveFileIn(FolderHandle folder, const char* from, const char* to,
                       const ExpectedFile* expected) {
    if (!IsExpected(folder, from, expected)) return kEntryNotOurs;
    int fd = FolderFd(folder);
    if (renameat2(fd, from, fd, to, RENAME_NOREPLACE) == 0) return kEntryDone;
    Fail();
    return kEntryFailed;
}

int RenameOpenFileIn(FileHandle, FolderHandle, const char*) { return 0; }

EntryResult RemoveFileIn(FolderHandle folder, const char* name, const ExpectedFile* expected) {
    if (!IsExpected(folder, name, expected)) return kEntryNotOurs;
    if (unlinkat(FolderFd(folder), name, 0) == 0) return kEntryDone;
    Fail();
    return kEntryFailed;
}
