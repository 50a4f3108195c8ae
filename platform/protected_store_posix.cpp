// The protected store of the native build: files in the folder the tests
// name, and locks as exclusive flock()s on files there.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/random.h>
#include <unistd.h>
#include "platform/protected_store.h"

static int MakeStorePath(const char* name, std::string* path) {
    const char* folder = getenv("ORVANTA_PROTECTED_DIR");
    if (!folder || !*folder) return 0;
    *path = std::string(folder) + "/" + name;
    return 1;
}

int GetRandomBytes(void* buffer, uint32_t size) {
    unsigned char* p = static_cast<unsigned char*>(buffer);
    while (size) {
        ssize_t n = getrandom(p, size, 0);
        if (n <= 0) return 0;
        p += n;
        size -= static_cast<uint32_t>(n);
    }
    return 1;
}

int WriteProtectedRecord(const char* name, const void* bytes, uint32_t size) {
    std::string path;
    if (!MakeStorePath(name, &path)) return 0;
    std::string temporary = path + ".tmp";
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file) return 0;
    int ok = fwrite(bytes, 1, size, file) == size;
    ok = fclose(file) == 0 && ok;
    return ok && rename(temporary.c_str(), path.c_str()) == 0;
}

uint32_t ReadProtectedRecord(const char* name, void* buffer, uint32_t size) {
    std::string path;
    FILE* file = MakeStorePath(name, &path) ? fopen(path.c_str(), "rb") : nullptr;
    if (!file) return 0;
    size_t n = fread(buffer, 1, size, file);
    int whole = fgetc(file) == EOF;
    fclose(file);
    return whole ? static_cast<uint32_t>(n) : 0;
}

int RemoveProtectedRecord(const char* name) {
    std::string path;
    return MakeStorePath(name, &path) && (unlink(path.c_str()) == 0 || access(path.c_str(), F_OK));
}

int DescribeProtectedStore(char* text, uint32_t size) {
    return size && snprintf(text, size, "%s", "") >= 0;
}

LockHandle TakeLock(const char* name) {
    std::string path;
    if (!MakeStorePath(name, &path)) return 0;
    int fd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return 0;
    }
    return static_cast<LockHandle>(fd) + 1;
}

void ReleaseLock(LockHandle lock) {
    if (lock) close(static_cast<int>(lock) - 1);
}
