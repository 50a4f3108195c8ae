// Files and folders: the thin layer between the program's logic and the
// operating system. One implementation per platform (files_win32.cpp,
// files_posix.cpp), chosen at link time; the logic includes no system header.
//
// One convention for the whole program: a handle, pointer or count of 0
// means failure, and nothing here reports anything to the user.
#pragma once
#include <cstdint>
#include <cstdio>

const uint32_t kMaxPath = 260;  // path buffers, terminator included

// The longest path, terminator included, that the build's own file calls
// take on this platform: kMaxPath for Windows' ANSI calls, far more on
// POSIX. Buffers of the build hold kMaxBuildPath bytes, at least as many.
extern const uint32_t kNativePathLimit;
const uint32_t kMaxBuildPath = 4096;

// 0 is "no file".
typedef uintptr_t FileHandle;

// Opens an existing file for reading, sharing it with readers and writers.
[[nodiscard]] FileHandle OpenForRead(const char* path);
// An empty file opened for reading and writing: an existing one is
// truncated, a missing one created. No folder is created.
[[nodiscard]] FileHandle CreateForWrite(const char* path);
void CloseFile(FileHandle file);
// One read or write call; the count moved, or 0 (also when nothing moved).
[[nodiscard]] uint32_t ReadBlock(FileHandle file, void* buffer, uint32_t count);
[[nodiscard]] uint32_t WriteBlock(FileHandle file, const void* buffer, uint32_t count);
// One read at offset (the file position is then unspecified); the count
// read, 0 when nothing was.
[[nodiscard]] uint32_t ReadBlockAt(FileHandle file, uint64_t offset, void* buffer, uint32_t count);
// The file's size, or all ones on failure.
[[nodiscard]] uint64_t GetFileSize64(FileHandle file);

// Clears read-only, hidden and system marks, so the file can be replaced.
// A missing file is not an error.
void MakeFileWritable(const char* path);

// Why the last file call of this thread failed, in the program's terms.
enum FileFailure {
    kFailureOther,            // the system's own words say why
    kFailureNoFolder,
    kFailureDenied,
    kFailureWriteProtected,
    kFailureInUse,
    kFailureDiskFull,
    kFailurePathTooLong,
};
// The cause of the last failure; for kFailureOther, text gets the system's
// description (always terminated).
FileFailure GetLastFileFailure(char* text, uint32_t size);

// ---- Folders -----------------------------------------------------------

struct FolderEntry {
    char name[kMaxPath];  // in the ANSI code page, as the system's ANSI calls give it
    int isFolder;
    uint64_t size;
    // 1 when the ANSI code page can't hold the name: name is then the
    // system's stand-in ('?' or a look-alike), which opens nothing or
    // another file.
    int nameLost;
};
typedef uintptr_t SearchHandle;

// Lists every entry of the folder ("." and ".." included) in the order the
// file system gives them. The pattern is the folder with "\*.*" appended.
[[nodiscard]] SearchHandle FindFirstEntry(const char* pattern, FolderEntry* entry);
int FindNextEntry(SearchHandle search, FolderEntry* entry);
void CloseSearch(SearchHandle search);

// An identity of a folder (volume and file id), so that a walk can notice a
// link that leads back to a folder it is already inside. 0 on failure.
[[nodiscard]] int GetFolderIdentity(const char* path, uint64_t identity[2]);

// What makes a file that one file, whatever its name: its volume, its id on
// the volume (both kept by a rename on the volume) and its size. Windows
// gives volume 0 (reading the serial costs 100 times the rest under Wine):
// compare files only in folders resolved onto one volume.
struct FileIdentity {
    uint64_t volume;
    uint64_t file;
    uint64_t size;
};
[[nodiscard]] int GetOpenFileIdentity(FileHandle file, FileIdentity* identity);

// The current directory; its length, 0 on failure or when it doesn't fit.
[[nodiscard]] uint32_t GetWorkingDirectory(char* buffer, uint32_t size);
// Makes path the current directory. 0 on failure.
[[nodiscard]] int SetWorkingDirectory(const char* path);

// Makes the folder unless it is there. 1 when path is then a folder of its
// own, not a link to one (a link could lead a write elsewhere).
[[nodiscard]] int MakeFolder(const char* path);
// 1 when path is a symbolic link (on Windows, any reparse point).
int IsLink(const char* path);
// Deletes a file. 0 when it can't be deleted.
[[nodiscard]] int RemoveFile(const char* path);

// ---- Large files through C stdio (the resource writer) -----------------

// The path as this platform's C library opens it (on POSIX, '\' becomes
// '/'). 0 when it doesn't fit out.
int MakeNativePath(const char* path, char* out, uint32_t size);
// Moves a file position anywhere below 2^63, where fseek's long may not reach.
[[nodiscard]] int SeekFile(FILE* file, uint64_t offset);
// The file's size; leaves the position at the end.
[[nodiscard]] int MeasureFile(FILE* file, uint64_t* size);
// Cuts the file to size bytes.
[[nodiscard]] int TruncateFile(FILE* file, uint64_t size);
// Pushes written data to the disk, so a rename never outruns the data.
[[nodiscard]] int FlushFile(FILE* file);

// ---- Renames, flushes and room --------------------------------------------

// Renames source to target in one step, replacing a target that exists
// (which must not be read-only); on POSIX, source takes the target's
// permission bits first. Paths in the program's spelling or the native one.
[[nodiscard]] int MoveFileOver(const char* source, const char* target);
// Pushes a file's written data to the disk.
[[nodiscard]] int FlushFileData(FileHandle file);
// Bytes this user may still write on the volume that holds path. 0 when
// unknown.
[[nodiscard]] int GetFreeDiskSpace(const char* path, uint64_t* bytes);
