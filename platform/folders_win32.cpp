// Held folders on Windows: folders open without delete sharing (nobody can
// rename, remove or swap them meanwhile), and every file opened relative to
// such a handle with the native call's root directory, never through a
// reparse point; renames go through the file's handle into the held folder.
// The native calls are looked up, not imported: the program imports only
// the documented system DLLs.
#include <windows.h>
#include <winternl.h>
#include <cstring>
#include <string>
#include <vector>
#include "platform/folders.h"

namespace {

typedef LONG(WINAPI* CreateCall)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                                 LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);
typedef LONG(WINAPI* SetCall)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, FILE_INFORMATION_CLASS);
typedef ULONG(WINAPI* StatusCall)(LONG);

struct NativeCalls {
    CreateCall create;
    SetCall set;
    StatusCall toError;
};

const NativeCalls& Native() {
    static NativeCalls calls = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        auto find = [ntdll](const char* name) {
            return reinterpret_cast<void*>(GetProcAddress(ntdll, name));
        };
        return NativeCalls{reinterpret_cast<CreateCall>(find("NtCreateFile")),
                           reinterpret_cast<SetCall>(find("NtSetInformationFile")),
                           reinterpret_cast<StatusCall>(find("RtlNtStatusToDosError"))};
    }();
    return calls;
}

HANDLE ToHandle(uintptr_t h) { return reinterpret_cast<HANDLE>(h); }

// The last native failure of this thread, for what its DOS error hides.
thread_local LONG lastStatus = 0;
const LONG kStatusFileIsADirectory = static_cast<LONG>(0xC00000BA);

// 1 for a native success; otherwise the thread's last error tells why.
int Succeeded(LONG status) {
    lastStatus = status;
    if (status >= 0) return 1;
    SetLastError(Native().toError ? Native().toError(status) : ERROR_GEN_FAILURE);
    return 0;
}

const ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// Readers and writers may share a held folder, nobody may delete or rename it.
const ULONG kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
const ULONG kFileSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The part name inside folder, opened by the native call. 0 on failure.
HANDLE OpenIn(HANDLE folder, const char* name, ACCESS_MASK access, ULONG sharing,
              ULONG disposition, ULONG options) {
    WCHAR wide[MAX_PATH];
    int n = MultiByteToWideChar(CP_ACP, 0, name, -1, wide, MAX_PATH);
    if (n <= 1 || !Native().create) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    UNICODE_STRING text = {static_cast<USHORT>((n - 1) * sizeof(WCHAR)),
                           static_cast<USHORT>(n * sizeof(WCHAR)), wide};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status;
    HANDLE h = nullptr;
    LONG result = Native().create(&h, access | SYNCHRONIZE, &attributes, &status, nullptr,
                                  FILE_ATTRIBUTE_NORMAL, sharing, disposition,
                                  options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    return Succeeded(result) ? h : nullptr;
}

DWORD AttributesOf(HANDLE h) {
    FILE_BASIC_INFO info;
    if (!GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info)) return 0;
    return info.FileAttributes;
}

// The file name in folder with the access an act on it needs, never a
// folder or a link, and only while it is the expected file.
HANDLE OpenExpected(FolderHandle folder, const char* name, const ExpectedFile* expected,
                    ACCESS_MASK access, EntryResult* found) {
    *found = kEntryNotOurs;
    HANDLE h = OpenIn(ToHandle(folder), name, access | FILE_READ_ATTRIBUTES, kFileSharing,
                      FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT);
    if (!h) {
        // Nothing, or a folder, has the name: not ours. Anything else failed.
        DWORD error = GetLastError();
        int absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                     lastStatus == kStatusFileIsADirectory;
        if (!absent) *found = kEntryFailed;
        return nullptr;
    }
    FileIdentity now;
    int ours = !(AttributesOf(h) & FILE_ATTRIBUTE_REPARSE_POINT) &&
               GetOpenFileIdentity(reinterpret_cast<FileHandle>(h), &now) &&
               (!expected || (now.file == expected->identity.file &&
                              now.volume == expected->identity.volume &&
                              (!expected->sized || now.size == expected->identity.size)));
    if (ours) return h;
    CloseHandle(h);
    return nullptr;
}

// Renames the open file to name in folder, never replacing.
int RenameHandle(HANDLE file, HANDLE folder, const char* name) {
    WCHAR wide[MAX_PATH];
    int n = MultiByteToWideChar(CP_ACP, 0, name, -1, wide, MAX_PATH);
    if (n <= 1 || !Native().set) return 0;
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + n * sizeof(WCHAR));
    FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = folder;
    info->FileNameLength = static_cast<DWORD>((n - 1) * sizeof(WCHAR));
    memcpy(info->FileName, wide, n * sizeof(WCHAR));
    IO_STATUS_BLOCK status;
    return Succeeded(Native().set(file, &status, info, static_cast<ULONG>(buffer.size()),
                                  FileRenameInformation));
}

}  // namespace

FolderHandle HoldFolder(const char* path) {
    HANDLE h = CreateFileA(path, kFolderAccess, kFolderSharing, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    if (!(AttributesOf(h) & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        SetLastError(ERROR_DIRECTORY);
        return 0;
    }
    return reinterpret_cast<FolderHandle>(h);
}

FolderHandle HoldSubfolder(FolderHandle parent, const char* name, int* viaLink) {
    const ULONG kOptions = FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT;
    HANDLE h = OpenIn(ToHandle(parent), name, kFolderAccess, kFolderSharing, FILE_OPEN,
                      kOptions | FILE_OPEN_REPARSE_POINT);
    *viaLink = h && (AttributesOf(h) & FILE_ATTRIBUTE_REPARSE_POINT);
    if (*viaLink) {
        CloseHandle(h);
        h = OpenIn(ToHandle(parent), name, kFolderAccess, kFolderSharing, FILE_OPEN, kOptions);
    }
    return reinterpret_cast<FolderHandle>(h);
}

void ReleaseFolder(FolderHandle folder) {
    if (folder) CloseHandle(ToHandle(folder));
}

int GetHeldFolderPath(FolderHandle folder, char* out, uint32_t size) {
    WCHAR wide[2 * MAX_PATH];
    const DWORD kWide = sizeof wide / sizeof wide[0];
    HANDLE h = ToHandle(folder);
    DWORD n = GetFinalPathNameByHandleW(h, wide, kWide, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    // A volume without a drive letter has no DOS name: its GUID name serves.
    if (n == 0)
        n = GetFinalPathNameByHandleW(h, wide, kWide, FILE_NAME_NORMALIZED | VOLUME_NAME_GUID);
    if (n == 0 || n >= kWide) return 0;
    return WideCharToMultiByte(CP_ACP, 0, wide, -1, out, static_cast<int>(size), nullptr,
                               nullptr) > 0;
}

// One entry as the ANSI calls would name it (see CopyEntry in files_win32.cpp).
static void CopyHeldEntry(const FILE_ID_BOTH_DIR_INFO& info, HeldEntry* held) {
    std::wstring name(info.FileName, info.FileNameLength / sizeof(WCHAR));
    char ansi[2 * MAX_PATH];
    int n = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
    if (n <= 0) ansi[0] = 0;
    FolderEntry& entry = held->entry;
    lstrcpynA(entry.name, ansi, sizeof entry.name);
    WCHAR back[MAX_PATH];
    int m = MultiByteToWideChar(CP_ACP, 0, entry.name, -1, back, MAX_PATH);
    entry.nameLost = n <= 0 || m <= 0 || name != back;
    entry.isFolder = (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = static_cast<uint64_t>(info.EndOfFile.QuadPart);
    std::wstring shortName(info.ShortName, static_cast<size_t>(info.ShortNameLength) / sizeof(WCHAR));
    if (WideCharToMultiByte(CP_ACP, 0, shortName.c_str(), -1, held->shortName,
                            sizeof held->shortName, nullptr, nullptr) <= 0)
        held->shortName[0] = 0;
}

int ListHeldFolder(FolderHandle folder, HeldEntryVisitor visit, void* context) {
    alignas(8) unsigned char buffer[64 * 1024];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(ToHandle(folder), kind, buffer, sizeof buffer)) {
        kind = FileIdBothDirectoryInfo;
        for (size_t at = 0;;) {
            const FILE_ID_BOTH_DIR_INFO& info =
                *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
            std::wstring name(info.FileName, info.FileNameLength / sizeof(WCHAR));
            if (name != L"." && name != L"..") {
                HeldEntry held = HeldEntry();
                CopyHeldEntry(info, &held);
                if (!visit(context, held)) return 0;
            }
            if (!info.NextEntryOffset) break;
            at += info.NextEntryOffset;
        }
    }
    return GetLastError() == ERROR_NO_MORE_FILES;
}

FileHandle CreateNewFileIn(FolderHandle folder, const char* name) {
    HANDLE h = OpenIn(ToHandle(folder), name, GENERIC_READ | GENERIC_WRITE | DELETE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                      FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT);
    return reinterpret_cast<FileHandle>(h);
}

FileHandle OpenFileIn(FolderHandle folder, const char* name) {
    HANDLE h = OpenIn(ToHandle(folder), name, GENERIC_READ, kFileSharing, FILE_OPEN,
                      FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT);
    if (h && (AttributesOf(h) & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(h);
        SetLastError(ERROR_CANT_ACCESS_FILE);
        h = nullptr;
    }
    return reinterpret_cast<FileHandle>(h);
}

int GetFileIdentityIn(FolderHandle folder, const char* name, FileIdentity* identity) {
    HANDLE h = OpenIn(ToHandle(folder), name, FILE_READ_ATTRIBUTES, kFileSharing, FILE_OPEN,
                      FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT);
    if (!h) return 0;
    int ok = GetOpenFileIdentity(reinterpret_cast<FileHandle>(h), identity);
    CloseHandle(h);
    return ok;
}

int CanChangeFileIn(FolderHandle folder, const char* name, int* standing,
                    FileIdentity* identity) {
    // A rename needs delete access, which a program that holds the file
    // open without sharing delete (a running game's own files) denies.
    HANDLE h = OpenIn(ToHandle(folder), name, DELETE | FILE_READ_ATTRIBUTES, kFileSharing,
                      FILE_OPEN, FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT);
    *standing = h != nullptr;
    if (!h) return GetLastError() == ERROR_FILE_NOT_FOUND;
    int known = GetOpenFileIdentity(reinterpret_cast<FileHandle>(h), identity);
    CloseHandle(h);
    return known;
}

EntryResult MoveFileIn(FolderHandle folder, const char* from, const char* to,
                       const ExpectedFile* expected) {
    EntryResult found;
    HANDLE h = OpenExpected(folder, from, expected, DELETE, &found);
    if (!h) return found;
    int moved = RenameHandle(h, ToHandle(folder), to);
    DWORD error = GetLastError();
    CloseHandle(h);
    SetLastError(error);
    return moved ? kEntryDone : kEntryFailed;
}

int RenameOpenFileIn(FileHandle file, FolderHandle folder, const char* name) {
    return RenameHandle(ToHandle(file), ToHandle(folder), name);
}

EntryResult RemoveFileIn(FolderHandle folder, const char* name, const ExpectedFile* expected) {
    EntryResult found;
    HANDLE h = OpenExpected(folder, name, expected, DELETE | FILE_WRITE_ATTRIBUTES, &found);
    if (!h) return found;
    // A read-only file can't be deleted: the mark goes first.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    int removed = SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) &&
                  SetFileInformationByHandle(h, FileDispositionInfo, &disposition,
                                             sizeof disposition);
    DWORD error = GetLastError();
    CloseHandle(h);
    SetLastError(error);
    return removed ? kEntryDone : kEntryFailed;
}
