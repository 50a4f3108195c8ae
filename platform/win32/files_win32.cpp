// File and memory primitives on the Win32 API.
#include <windows.h>
#include "frame/primitives.h"

static FileHandle ToFileHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<FileHandle>(h);
}

static HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle OpenForRead(const char* path, uint32_t extraFlags) {
    return ToFileHandle(CreateFileA(path, GENERIC_READ | extraFlags,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
}

FileHandle CreateForWrite(const char* path) {
    // One open that creates a missing file or opens an existing one, which
    // is then cut to nothing: the same result as probing first and choosing
    // TRUNCATE_EXISTING, with two fewer calls per file (Wine's per-file cost
    // dominates an install of many files). It also truncates a file that
    // exists but can't be read, so no stale byte survives.
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    if (GetLastError() == ERROR_ALREADY_EXISTS && !SetEndOfFile(h)) {
        CloseHandle(h);
        return 0;
    }
    return ToFileHandle(h);
}

void CloseFile(FileHandle file) { CloseHandle(ToHandle(file)); }

uint32_t ReadBlock(FileHandle file, void* buffer, uint32_t count) {
    DWORD done = 0;
    if (!ReadFile(ToHandle(file), buffer, count, &done, nullptr)) return 0;
    return done;
}

uint32_t WriteBlock(FileHandle file, const void* buffer, uint32_t count) {
    DWORD done = 0;
    if (!WriteFile(ToHandle(file), buffer, count, &done, nullptr)) return 0;
    return done;
}

uint64_t GetFileSize64(FileHandle file) {
    DWORD high = 0;
    DWORD low = GetFileSize(ToHandle(file), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return ~0ull;
    return (static_cast<uint64_t>(high) << 32) | low;
}

void* AllocZeroed(uint32_t count) {
    if (count > 0xFFFFFFFFu - 16) return nullptr;
    return GlobalAlloc(GPTR, count + 16);
}

void FreeBlock(void* block) {
    if (block) GlobalFree(block);
}
