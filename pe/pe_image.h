// The parts of a PE32 or PE32+ image that the resource reader and writer
// need, read with every offset checked against the image. Internal to pe/.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "base/bytes.h"
#include "pe/pe_resources.h"

// Field offsets, from the start of their header.
const uint32_t kPeSignatureSize = 4;
const uint32_t kCoffSections = 2;          // u16 NumberOfSections
const uint32_t kCoffSymbolTable = 8;       // u32 PointerToSymbolTable
const uint32_t kCoffOptionalSize = 16;     // u16 SizeOfOptionalHeader
const uint32_t kCoffHeaderSize = 20;
const uint32_t kOptInitializedData = 8;    // u32 SizeOfInitializedData
const uint32_t kOptSectionAlignment = 32;
const uint32_t kOptFileAlignment = 36;
const uint32_t kOptSizeOfImage = 56;
const uint32_t kOptSizeOfHeaders = 60;
const uint32_t kOptCheckSum = 64;
const uint32_t kSectionHeaderSize = 40;
const uint32_t kSecVirtualSize = 8;
const uint32_t kSecVirtualAddress = 12;
const uint32_t kSecRawSize = 16;
const uint32_t kSecRawPointer = 20;
const uint32_t kSecCharacteristics = 36;

const uint32_t kDirResources = 2;
const uint32_t kDirSecurity = 4;           // holds a file offset, not an rva
const uint32_t kMaxDirectories = 16;
const uint32_t kMaxSections = 96;          // the loader's own limit
const uint32_t kMaxHeaderBytes = 65536;

const uint32_t kScnWrite = 0x80000000u;
const uint32_t kScnExecute = 0x20000000u;
const uint32_t kScnInitializedData = 0x40u;
const uint32_t kScnRead = 0x40000000u;
const uint32_t kSubdirectoryFlag = 0x80000000u;  // in a directory entry's fields

// The two kinds of optional header: a PE32's (32-bit programs) and a
// PE32+'s (64-bit ones, with a 64-bit image base and stack and heap sizes,
// and no BaseOfData). The fields above lie at the same offsets in both; the
// data directories and their count are where the kinds differ.
struct PeOptionalKind {
    uint16_t magic;
    uint32_t directoryCount;   // u32 NumberOfRvaAndSizes
    uint32_t directories;      // 8 bytes each: rva, size
};
const PeOptionalKind kPeOptionalKinds[] = {{0x10B, 92, 96}, {0x20B, 108, 112}};

static_assert(96 + 8 * kMaxDirectories == 224 && 112 + 8 * kMaxDirectories == 240,
              "the optional headers of a PE32 and a PE32+ with every data directory");
static_assert(kSecCharacteristics + 4 == kSectionHeaderSize, "a section header's last field");

struct PeSection {
    char name[8];
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t rawPointer;
    uint32_t characteristics;
};

struct PeDirectory {
    uint32_t rva;
    uint32_t size;
};

struct PeImage {
    uint64_t fileSize;
    uint32_t coffOffset;          // just after "PE\0\0"
    uint32_t optionalOffset;
    uint32_t directoriesOffset;   // the data directories' offset in the optional header
    uint32_t sectionTableOffset;
    uint32_t sectionAlignment;
    uint32_t fileAlignment;
    uint32_t sizeOfHeaders;
    uint32_t sizeOfInitializedData;
    uint32_t checkSum;
    uint32_t symbolTable;
    uint32_t directoryCount;      // at most kMaxDirectories
    PeDirectory directories[kMaxDirectories];
    std::vector<PeSection> sections;
};

// Reads exactly count bytes at offset; 0 when any lies outside the image.
int ReadPeBytes(const PeSource& source, uint64_t offset, void* buffer, uint32_t count);

// Parses the headers and the section table of a PE32 or PE32+ (optional
// header magic 0x10B or 0x20B) with at least the resource directory entry.
int ReadPeImage(const PeSource& source, PeImage* image);

// The file offset of size bytes at rva, when they all lie in the file part of
// one section (or of the headers) and inside the file.
int MapPeRva(const PeImage& image, uint32_t rva, uint32_t size, uint64_t* offset);

// The resource tree of a parsed image (see ReadPeResources).
int ReadPeResourceTree(const PeSource& source, const PeImage& image, PeResourceList* out);

// Lays out a resource directory for leaves, whose offset fields hold the
// rva of their data. Keys (type, name, language) must be unique. Tables come
// first, sorted as the loader's binary search expects; then the data
// entries, then the name strings. All offsets inside are relative to its
// start, so it can be placed at any rva.
int BuildPeDirectory(const PeResourceList& leaves, std::vector<unsigned char>* out);

// Orders resource ids as a directory table holds them: strings first by
// their UTF-16 units, then numbers ascending.
bool IsPeIdBefore(const PeResourceId& a, const PeResourceId& b);
bool IsSamePeId(const PeResourceId& a, const PeResourceId& b);
// Orders leaves by type, name, then language.
bool IsPeResourceBefore(const PeResource& a, const PeResource& b);

// The standard image checksum, summed as the file is written: a sum of
// little-endian 16-bit words with end-around carry, plus the file size. The
// caller leaves the CheckSum field out of the sum.
uint64_t AddPeChecksumBytes(uint64_t sum, uint64_t offset, const unsigned char* bytes,
                            size_t count);
uint32_t FinishPeChecksum(uint64_t sum, uint64_t fileSize);

inline uint64_t AlignPeUp(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}
