// Reading and writing the resource section of a 32-bit or 64-bit Windows
// executable (PE32 or PE32+) with plain C stdio, so that the same code packs
// a package on Windows and on a Linux build server, and reads one back where
// there is no loader.
//
// The reader parses from any source of bytes (a mapped file, a buffer, a
// file read at offsets); every table, string and data entry is checked
// against the image before it is used, so hostile input ends in a failure.
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
#include <string>
#include <vector>

const uint32_t kPeTypeRcData = 10;  // RT_RCDATA

// The new image is written beside the target, under the target's name with
// this appended.
const char kPeTempSuffix[] = ".tmp";

// Where an image's bytes come from: read gives 1 when exactly count bytes at
// offset were copied into buffer, 0 otherwise.
struct PeSource {
    uint64_t size;
    int (*read)(const void* context, uint64_t offset, void* buffer, uint32_t count);
    const void* context;
};

// A source over bytes in memory (which must outlive it).
PeSource MakeMemorySource(const unsigned char* bytes, uint64_t size);

// A resource type or name: a string when text is not empty, else the id.
// Strings are UTF-16 as stored in the file.
struct PeResourceId {
    uint32_t id;
    std::u16string text;
};

// One leaf of a resource tree. The data is not loaded: offset and size say
// where it lies in the image's bytes.
struct PeResource {
    PeResourceId type;
    PeResourceId name;
    uint32_t language;
    uint32_t codePage;
    uint64_t offset;
    uint32_t size;
};

typedef std::vector<PeResource> PeResourceList;

// Every resource of the image, in directory order. An image without
// resources gives 1 and an empty list. 0 when it is not a PE32 or PE32+, is
// truncated, or its resource tree is malformed (entries outside the image, a
// tree deeper or shallower than type/name/language, too many leaves).
[[nodiscard]] int ReadPeResources(const PeSource& image, PeResourceList* out);

// 1 for the resources a package is made of, and the only ones the writer
// adds or replaces: RT_RCDATA, a string name, language neutral.
int IsPackageResource(const PeResource& resource);

// A resource name as the platform's updater stores it and its loader looks
// it up: ASCII, upper-cased. 0 for an empty name, one starting with '#'
// (a number to Windows), or one with a byte outside ASCII.
[[nodiscard]] int MakePeName(const char* name, std::u16string* out);

// An update transaction on one target file.
struct PeUpdate;

// Opens the target for update, keeping all of its resources. 0 when it is
// not a PE32 or PE32+, is truncated or malformed, can't be opened for
// writing, has no room for the section the update needs, or "<path>.tmp"
// can't be created.
[[nodiscard]] PeUpdate* BeginPeUpdate(const char* path);

// Adds a package resource under name, replacing one of the same name (a
// resource added earlier in the same update included). data 0 with size 0
// deletes the resource, as the platform's UpdateResourceA does. The name
// must pass MakePeName.
[[nodiscard]] int AddPeResourceBytes(PeUpdate* update, const char* name, const void* data, uint32_t size);

// Reads up to count bytes into buffer; gives the count read, 0 at the end or
// on error.
typedef uint32_t (*PeReadFunction)(void* context, void* buffer, uint32_t count);

// Adds a package resource whose bytes are head (headSize bytes, may be 0)
// followed by exactly contentSize bytes pulled from read in chunks of at
// most 1 MiB; never more than one chunk is held. Fails when read gives 0
// before contentSize bytes came (the file shrank, or a read error), or when
// the resource would reach 4 GiB. A failed add leaves the update as it was
// before the call.
[[nodiscard]] int AddPeResourceFromStream(PeUpdate* update, const char* name, const void* head,
                            uint32_t headSize, PeReadFunction read, void* context,
                            uint64_t contentSize);

// 1 when a write of the new file failed: only a discard remains.
int IsPeUpdateBroken(const PeUpdate* update);

// The size of the package resource under name that a commit now would
// write: the target's, or one added since. 0 when there is none.
[[nodiscard]] int FindPeResourceSize(const PeUpdate* update, const char* name, uint32_t* size);
// The bytes of every package resource a commit now would write.
uint64_t SumPeResourceSizes(const PeUpdate* update);

// Ends the transaction and frees update. discard nonzero: deletes the new
// file, leaving the target untouched; gives 1. discard 0: writes the kept
// resources and the directory, fixes the headers (section table, resource
// directory entry, SizeOfImage, SizeOfInitializedData, CheckSum when set),
// drops a signature (its entry and its bytes, which can't cover the new file),
// reads the new file back, and renames it over the target; 0 when any step
// failed (an earlier write included), in which case the target is untouched.
[[nodiscard]] int EndPeUpdate(PeUpdate* update, int discard);
