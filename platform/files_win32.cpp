// Files and folders on the Win32 API.
#include <windows.h>
#include <winternl.h>
#include <io.h>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>
#include "platform/files.h"

static FileHandle ToFileHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<FileHandle>(h);
}

static HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle OpenForRead(const char* path) {
    return ToFileHandle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
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
        DWORD error = GetLastError();
        CloseHandle(h);
        SetLastError(error);
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

uint32_t ReadBlockAt(FileHandle file, uint64_t offset, void* buffer, uint32_t count) {
    // On a handle opened for synchronous use the offset of an OVERLAPPED
    // is where the read starts.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    if (!ReadFile(ToHandle(file), buffer, count, &done, &at)) return 0;
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

void MakeFileWritable(const char* path) { SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE); }

static FileFailure ClassifyError(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return kFailureNoFolder;
    case ERROR_ACCESS_DENIED: return kFailureDenied;
    case ERROR_WRITE_PROTECT: return kFailureWriteProtected;
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return kFailureInUse;
    case ERROR_HANDLE_DISK_FULL: case ERROR_DISK_FULL: return kFailureDiskFull;
    case ERROR_FILENAME_EXCED_RANGE: return kFailurePathTooLong;
    default: return kFailureOther;
    }
}

static void DescribeError(DWORD code, char* text, uint32_t size) {
    // Language 0 (neutral) asks for the user's language, then the system's,
    // then US English: a Windows without English still has words for it.
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), text,
                             size, nullptr);
    // The system's text ends in CR LF and a full stop we don't want twice.
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.' ||
                     text[n - 1] == ' '))
        text[--n] = 0;
    if (n == 0) snprintf(text, size, "system error %lu", static_cast<unsigned long>(code));
}

FileFailure GetLastFileFailure(char* text, uint32_t size) {
    DWORD code = GetLastError();
    FileFailure failure = ClassifyError(code);
    if (size) text[0] = 0;
    if (failure == kFailureOther && size) DescribeError(code, text, size);
    return failure;
}

// The listing is read with the wide calls, whose names are the ones on the
// disk, and each name is converted as the ANSI calls would give it. A name
// that doesn't convert back to itself can't be held by the code page: the
// ANSI name stands for a character with '?' or a look-alike ("a" for "ā").
static void CopyEntry(const WIN32_FIND_DATAW& data, FolderEntry* entry) {
    char name[2 * kMaxPath];  // a double-byte code page takes two bytes a character
    int n = WideCharToMultiByte(CP_ACP, 0, data.cFileName, -1, name, sizeof name, nullptr,
                                nullptr);
    if (n <= 0) name[0] = 0;
    snprintf(entry->name, sizeof entry->name, "%s", name);
    WCHAR back[kMaxPath];
    int m = MultiByteToWideChar(CP_ACP, 0, entry->name, -1, back, kMaxPath);
    entry->nameLost = n <= 0 || m <= 0 || wcscmp(back, data.cFileName) != 0;
    entry->isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

SearchHandle FindFirstEntry(const char* pattern, FolderEntry* entry) {
    WCHAR widePattern[kMaxPath];
    if (MultiByteToWideChar(CP_ACP, 0, pattern, -1, widePattern, kMaxPath) <= 0) return 0;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(widePattern, &data);
    if (h == INVALID_HANDLE_VALUE) return 0;
    CopyEntry(data, entry);
    return reinterpret_cast<SearchHandle>(h);
}

int FindNextEntry(SearchHandle search, FolderEntry* entry) {
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(reinterpret_cast<HANDLE>(search), &data)) return 0;
    CopyEntry(data, entry);
    return 1;
}

void CloseSearch(SearchHandle search) { FindClose(reinterpret_cast<HANDLE>(search)); }

// A file or folder as it is, shared with everyone: folders open only with
// backup semantics, and no access at all is needed to read what a handle is.
static HANDLE OpenExisting(const char* path, DWORD access) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

int GetFolderIdentity(const char* path, uint64_t identity[2]) {
    HANDLE h = OpenExisting(path, 0);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    int ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return 0;
    identity[0] = info.dwVolumeSerialNumber;
    identity[1] = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return 1;
}

// The file's index on its volume and its size, without the volume's serial:
// under Wine asking for the serial is a trip to the mount manager, about
// 100 us a file, where the index alone takes 1 us. The index comes from the
// native call (looked up, not imported: the program imports only the
// documented system DLLs).
typedef LONG(WINAPI* QueryFileCall)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, FILE_INFORMATION_CLASS);

int GetOpenFileIdentity(FileHandle file, FileIdentity* identity) {
    static QueryFileCall query = reinterpret_cast<QueryFileCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
    FILE_INTERNAL_INFORMATION index;
    IO_STATUS_BLOCK status;
    LARGE_INTEGER size;
    if (!query || query(ToHandle(file), &status, &index, sizeof index, FileInternalInformation) < 0 ||
        !GetFileSizeEx(ToHandle(file), &size))
        return 0;
    identity->volume = 0;
    identity->file = static_cast<uint64_t>(index.IndexNumber.QuadPart);
    identity->size = static_cast<uint64_t>(size.QuadPart);
    return 1;
}

uint32_t GetWorkingDirectory(char* buffer, uint32_t size) {
    DWORD n = GetCurrentDirectoryA(size, buffer);
    return n < size ? n : 0;
}

const uint32_t kNativePathLimit = kMaxPath;

int MakeNativePath(const char* path, char* out, uint32_t size) {
    return snprintf(out, size, "%s", path) < static_cast<int>(size);
}

int FlushFile(FILE* file) { return fflush(file) == 0 && _commit(_fileno(file)) == 0; }

int MoveFileOver(const char* source, const char* target) {
    // Write-through: the call returns once the new name is on the disk, so a
    // crash right after it can't bring the old file back.
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

int SetWorkingDirectory(const char* path) { return SetCurrentDirectoryA(path) != 0; }

int MakeFolder(const char* path) {
    if (!CreateDirectoryA(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return 0;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int IsLink(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int RemoveFile(const char* path) { return DeleteFileA(path) != 0; }

int FlushFileData(FileHandle file) { return FlushFileBuffers(ToHandle(file)) != 0; }

int GetFreeDiskSpace(const char* path, uint64_t* bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(path, &available, nullptr, nullptr)) return 0;
    *bytes = available.QuadPart;
    return 1;
}
