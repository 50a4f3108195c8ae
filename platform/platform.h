// The thin layer between the program's logic and the operating system.
// One implementation per platform (platform/win32, platform/posix), chosen at
// link time; the logic above it includes no system header.
#pragma once
#include <cstdint>

// Handles of every kind are carried as integers; 0 always means "none".
typedef uintptr_t FileHandle;
typedef uintptr_t SearchHandle;
typedef uintptr_t WindowHandle;

const uint32_t kMaxPath = 260;            // path buffers, terminator included
const uint32_t kAttributeDirectory = 0x10;
const uint32_t kAttributeArchive = 0x20;

// One entry of a folder listing.
struct FolderEntry {
    char name[kMaxPath];
    uint32_t attributes;
    uint32_t sizeLow;
    uint32_t sizeHigh;
};

// Folder listing over a Windows-style pattern ("C:\dir\*.*"). Entries come in
// the order the file system gives them, "." and ".." included.
SearchHandle FindFirstEntry(const char* pattern, FolderEntry* entry);
int FindNextEntry(SearchHandle search, FolderEntry* entry);
void CloseSearch(SearchHandle search);

// Current directory into buffer; gives its length, 0 on failure or when it
// doesn't fit.
uint32_t GetWorkingDirectory(char* buffer, uint32_t size);

// SetFileAttributesA; the result is not needed by any caller.
void SetFileAttributesTo(const char* path, uint32_t attributes);

// The system clock (UTC) as a FILETIME count of 100 ns since 1601.
uint64_t GetSystemFileTime();

// Message boxes. Types and answers keep the platform's numbers.
const unsigned kBoxOk = 0;
const unsigned kBoxYesNo = 4;
const unsigned kBoxRetryCancel = 5;
const int kAnswerOk = 1;
const int kAnswerCancel = 2;
const int kAnswerRetry = 4;
const int kAnswerYes = 6;
const int kAnswerNo = 7;
int ShowMessage(WindowHandle owner, const char* text, const char* title, unsigned type);

// Opens a document with its associated program (maximised); result ignored.
void OpenDocument(const char* path);

void SleepMilliseconds(uint32_t milliseconds);

// Wakes the loop of the thread that owns the window with a message of our
// own (WM_APP + 1) that the window ignores, so that a loop may wait between
// passes instead of spinning. Nothing happens without a window.
void WakeWindow(WindowHandle window);

// The last system error of this thread, and plain words for an error code.
uint32_t GetLastSystemError();
void DescribeSystemError(uint32_t code, char* text, uint32_t size);

// Tests and tools may take over message boxes and the shell; nullptr gives
// them back to the platform.
typedef int (*MessageHook)(WindowHandle owner, const char* text, const char* title,
                           unsigned type);
typedef void (*DocumentHook)(const char* path);
void SetMessageHook(MessageHook hook);
void SetDocumentHook(DocumentHook hook);

// An identity of a folder (volume and file id), so that a walk can notice a
// link that leads back to a folder it is already inside. 0 on failure.
int GetFolderIdentity(const char* path, uint64_t identity[2]);

// A string value under HKEY_LOCAL_MACHINE, always terminated inside the
// buffer. 0 when it is missing, unreadable or longer than the buffer.
int ReadMachineString(const char* key, const char* value, char* buffer, uint32_t size);

// The path as this platform's C library opens it (on POSIX, '\' becomes
// '/'). 0 when it doesn't fit out.
int MakeNativePath(const char* path, char* out, uint32_t size);
