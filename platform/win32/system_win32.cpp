// Folders, clock, message boxes and the shell on the Win32 API.
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <cstring>
#include "platform/platform.h"
#include "platform/platform_hooks.h"

static void CopyEntry(const WIN32_FIND_DATAA& data, FolderEntry* entry) {
    lstrcpynA(entry->name, data.cFileName, sizeof entry->name);
    entry->attributes = data.dwFileAttributes;
    entry->sizeLow = data.nFileSizeLow;
    entry->sizeHigh = data.nFileSizeHigh;
}

SearchHandle FindFirstEntry(const char* pattern, FolderEntry* entry) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return 0;
    CopyEntry(data, entry);
    return reinterpret_cast<SearchHandle>(h);
}

int FindNextEntry(SearchHandle search, FolderEntry* entry) {
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(reinterpret_cast<HANDLE>(search), &data)) return 0;
    CopyEntry(data, entry);
    return 1;
}

void CloseSearch(SearchHandle search) { FindClose(reinterpret_cast<HANDLE>(search)); }

uint32_t GetWorkingDirectory(char* buffer, uint32_t size) {
    DWORD n = GetCurrentDirectoryA(size, buffer);
    return n < size ? n : 0;
}

void SetFileAttributesTo(const char* path, uint32_t attributes) {
    SetFileAttributesA(path, attributes);
}

uint64_t GetSystemFileTime() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

int ShowMessage(WindowHandle owner, const char* text, const char* title, unsigned type) {
    if (g_MessageHook) return g_MessageHook(owner, text, title, type);
    return MessageBoxA(reinterpret_cast<HWND>(owner), text, title, type);
}

void OpenDocument(const char* path) {
    if (g_DocumentHook) {
        g_DocumentHook(path);
        return;
    }
    ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

void WakeWindow(WindowHandle window) {
    if (window) PostMessageA(reinterpret_cast<HWND>(window), WM_APP + 1, 0, 0);
}

uint32_t GetLastSystemError() { return GetLastError(); }

void DescribeSystemError(uint32_t code, char* text, uint32_t size) {
    if (!size) return;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                             text, size, nullptr);
    // The system's text ends in CR LF and a full stop we don't want twice.
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.' ||
                     text[n - 1] == ' '))
        text[--n] = 0;
    if (n == 0) snprintf(text, size, "system error %lu", static_cast<unsigned long>(code));
}

int GetFolderIdentity(const char* path, uint64_t identity[2]) {
    // Folders open only with backup semantics; no access is needed to read
    // their identity.
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    int ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return 0;
    identity[0] = info.dwVolumeSerialNumber;
    identity[1] = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return 1;
}

int MakeNativePath(const char* path, char* out, uint32_t size) {
    return snprintf(out, size, "%s", path) < static_cast<int>(size);
}
