// Folders held open, and the file calls made relative to them: the elevated
// install decides where it writes once. A held folder can't be renamed,
// removed or replaced by a link while it is held (on Windows it is open
// without delete sharing; natively its descriptor follows the folder
// wherever it goes), and every name given here is one part, looked up in
// that folder only, never through a link. folders_win32.cpp, folders_posix.cpp.
#pragma once
#include <cstdint>
#include "platform/files.h"

// 0 is "no folder".
typedef uintptr_t FolderHandle;

// Holds the folder at path, links followed (the player's own path). 0 when
// it isn't a folder or can't be opened (the last file failure says why).
[[nodiscard]] FolderHandle HoldFolder(const char* path);
// Holds the folder name inside parent. A link is not followed at first:
// when name is one (on Windows any reparse point), *viaLink is set and the
// folder it leads to is held, for the caller to judge where it lies. 0 when
// nothing, or no folder, has the name.
[[nodiscard]] FolderHandle HoldSubfolder(FolderHandle parent, const char* name, int* viaLink);
void ReleaseFolder(FolderHandle folder);
// The held folder's final path, every link resolved, as the system spells
// it. 0 when it doesn't fit out.
[[nodiscard]] int GetHeldFolderPath(FolderHandle folder, char* out, uint32_t size);

// Lists the held folder's entries (the FolderEntry fields of files.h), in
// the file system's order, "." and ".." left out; shortName gets the entry's
// other name where the volume keeps one (8.3), else "".
struct HeldEntry {
    FolderEntry entry;
    char shortName[16];
};
typedef int (*HeldEntryVisitor)(void* context, const HeldEntry& entry);
// 1 when every entry was visited (a visitor's 0 stops the listing: 0).
[[nodiscard]] int ListHeldFolder(FolderHandle folder, HeldEntryVisitor visit, void* context);

// A new, empty file name in folder, open for reading and writing; 0 when
// anything already has the name (a link included).
[[nodiscard]] FileHandle CreateNewFileIn(FolderHandle folder, const char* name);
// The file name in folder, opened to read (never a folder, never through a
// link). 0 when there is none.
[[nodiscard]] FileHandle OpenFileIn(FolderHandle folder, const char* name);
// The identity of what has the name in folder (a link's own). 0 when
// nothing has it.
[[nodiscard]] int GetFileIdentityIn(FolderHandle folder, const char* name, FileIdentity* identity);

// What a rename or delete in a held folder found at the name it acts on.
enum EntryResult {
    kEntryFailed = 0,  // it could not be done; the last file failure says why
    kEntryDone = 1,
    kEntryNotOurs = 2,  // nothing, a folder, a link or another file has the name: left alone
};
// The file expected at a name: its identity (volume and id), and its size
// too when sized. nullptr: any file (never a folder or a link).
struct ExpectedFile {
    FileIdentity identity;
    int sized;
};

// Whether what has the name in folder could be renamed or deleted now, and
// what it is, from one look: 1 with *standing 0 when nothing has it; 1 with
// *standing 1 and its identity when no other program holds it open without
// sharing that; 0 (the last file failure says why) when one does.
[[nodiscard]] int CanChangeFileIn(FolderHandle folder, const char* name, int* standing,
                                  FileIdentity* identity);
// Renames from to to, both in folder, while from is the expected file;
// never replaces anything at to.
[[nodiscard]] EntryResult MoveFileIn(FolderHandle folder, const char* from, const char* to,
                       const ExpectedFile* expected);
// Renames the file open as file (made by CreateNewFileIn) to name in
// folder, never replacing. 0 when the system can't rename through a handle
// (POSIX) or it failed: the caller then renames by name.
[[nodiscard]] int RenameOpenFileIn(FileHandle file, FolderHandle folder, const char* name);
// Deletes the file name in folder, read-only or not, while it is the
// expected file.
[[nodiscard]] EntryResult RemoveFileIn(FolderHandle folder, const char* name, const ExpectedFile* expected);
