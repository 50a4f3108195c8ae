// Reading and writing the resource section of a 32-bit Windows executable
// (PE32) with plain C stdio, so that the same code packs a package on Windows
// and on a Linux build server.
//
// The writer streams: each resource's bytes go to a new file beside the
// target as they arrive ("<target>.tmp"), only a small record per resource
// stays in memory, and the directory is written after the data at commit.
// The new file replaces the target by a rename, so the target is either as
// it was or fully updated, never half written.
//
// All results follow the program's convention: 0 is failure.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

const uint32_t kPeTypeRcData = 10;  // RT_RCDATA

// A resource type or name: a string when text is not empty, else the id.
// Strings are UTF-16 as stored in the file.
struct PeResourceId {
    uint32_t id;
    std::u16string text;
};

// One leaf of a resource tree. The data is not loaded: offset and size say
// where it lies in the file.
struct PeResource {
    PeResourceId type;
    PeResourceId name;
    uint32_t language;
    uint32_t codePage;
    uint64_t offset;
    uint32_t size;
};

typedef std::vector<PeResource> PeResourceList;

// Every resource of the PE32 file at path, in directory order. A file
// without resources gives 1 and an empty list. 0 when the file is not a
// PE32, is truncated, or its resource tree is malformed (entries outside the
// file, a tree deeper or shallower than type/name/language, too many leaves).
int ReadPeResources(const char* path, PeResourceList* out);

// Finds an RT_RCDATA resource by string name, any language, as FindResourceA
// does: the name is upper-cased and compared with the stored name exactly.
// Gives the file offset and size of its data; 0 when absent.
int FindPeResource(const char* path, const char* name, uint64_t* offset, uint32_t* size);

// An update transaction on one target file.
struct PeUpdate;

// Opens the target for update, keeping all of its resources. 0 when it is
// not a PE32, is truncated or malformed, can't be opened for writing, has no
// room for the section the update needs, or "<path>.tmp" can't be created.
PeUpdate* BeginPeUpdate(const char* path);

// Adds an RT_RCDATA resource of language 0 under name, replacing one of the
// same type, name and language (a resource added earlier in the same update
// included). Names are ASCII and stored upper-cased, as the platform's
// updater does; an empty name, a name starting with '#' (which Windows reads
// as a number) or a non-ASCII name is refused. data 0 with size 0 deletes
// the resource, as UpdateResourceA does.
int AddPeResourceBytes(PeUpdate* update, const char* name, const void* data, uint32_t size);

// Reads up to count bytes into buffer; gives the count read, 0 at the end or
// on error.
typedef uint32_t (*PeReadFunction)(void* context, void* buffer, uint32_t count);

// Adds an RT_RCDATA resource of language 0 whose bytes are head (headSize
// bytes, may be 0) followed by exactly contentSize bytes pulled from read in
// chunks of at most 1 MiB; never more than one chunk is held. Fails when
// read gives 0 before contentSize bytes came (the file shrank, or a read
// error), or when the resource would reach 4 GiB. A failed add leaves the
// update as it was before the call.
int AddPeResourceFromStream(PeUpdate* update, const char* name, const void* head,
                            uint32_t headSize, PeReadFunction read, void* context,
                            uint64_t contentSize);

// The same with the content read from source at its current position.
int AddPeResourceFromFile(PeUpdate* update, const char* name, const void* head,
                          uint32_t headSize, FILE* source, uint64_t contentSize);

// Ends the transaction and frees update. discard nonzero: deletes the new
// file, leaving the target untouched; gives 1. discard 0: writes the kept
// resources and the directory, fixes the headers (section table, resource
// directory entry, SizeOfImage, SizeOfInitializedData, CheckSum when set)
// and renames the new file over the target; 0 when any step failed (an
// earlier write included), in which case the target is untouched.
int EndPeUpdate(PeUpdate* update, int discard);

// Platform functions, one implementation per platform
// (platform/posix/pe_files_posix.cpp, platform/win32/pe_files_win32.cpp).

// Replaces target with source in one step (rename, MoveFileExA); on POSIX
// source takes the target's permission bits first.
int ReplacePeFile(const char* source, const char* target);
// Moves a file position beyond 2 GiB, where fseek's long may not reach.
int SeekPeFile(FILE* file, uint64_t offset);
// The file's size; leaves the position at the end.
int MeasurePeFile(FILE* file, uint64_t* size);
// Cuts the file to size bytes (after a failed add was written over).
int TruncatePeFile(FILE* file, uint64_t size);
// Pushes written data to the disk, so the rename never outruns the data.
int FlushPeFile(FILE* file);
