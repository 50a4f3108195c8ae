// File and memory primitives on POSIX, for the native build. Paths arrive
// with Windows separators and are turned into POSIX ones here.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include "frame/primitives.h"
#include "platform/posix/posix_paths.h"

// Descriptors are carried as fd + 1 so that 0 stays "no file".
static FileHandle ToFileHandle(int fd) { return fd < 0 ? 0 : static_cast<FileHandle>(fd) + 1; }
static int ToFd(FileHandle file) { return static_cast<int>(file) - 1; }

FileHandle OpenForRead(const char* path, uint32_t extraFlags) {
    PosixPath p(path);
    int flags = (extraFlags & 0x40000000u) ? O_RDWR : O_RDONLY;
    int fd = open(p.c_str(), flags | O_CLOEXEC);
    if (fd < 0) RememberErrno();
    return ToFileHandle(fd);
}

FileHandle CreateForWrite(const char* path) {
    PosixPath p(path);
    int fd = open(p.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) RememberErrno();
    return ToFileHandle(fd);
}

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

uint32_t WriteBlock(FileHandle file, const void* buffer, uint32_t count) {
    ssize_t n;
    do n = write(ToFd(file), buffer, count);
    while (n < 0 && errno == EINTR);
    if (n < 0) RememberErrno();
    return n < 0 ? 0 : static_cast<uint32_t>(n);
}

uint64_t GetFileSize64(FileHandle file) {
    off_t end = lseek(ToFd(file), 0, SEEK_END);
    if (end < 0 || lseek(ToFd(file), 0, SEEK_SET) < 0) return ~0ull;
    return static_cast<uint64_t>(end);
}

void* AllocZeroed(uint32_t count) {
    if (count > 0xFFFFFFFFu - 16) return nullptr;
    return calloc(1, static_cast<size_t>(count) + 16);
}

void FreeBlock(void* block) { free(block); }
