// PE32 headers, section table and address mapping.
#include "package/pe_image.h"
#include <cstring>

uint16_t LoadPeU16(const unsigned char* in) {
    return static_cast<uint16_t>(in[0] | in[1] << 8);
}

uint32_t LoadPeU32(const unsigned char* in) {
    return in[0] | in[1] << 8 | in[2] << 16 | static_cast<uint32_t>(in[3]) << 24;
}

void StorePeU16(unsigned char* out, uint16_t value) {
    out[0] = static_cast<unsigned char>(value);
    out[1] = static_cast<unsigned char>(value >> 8);
}

void StorePeU32(unsigned char* out, uint32_t value) {
    for (int i = 0; i < 4; i++) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

int ReadPeBytes(FILE* file, uint64_t offset, void* buffer, uint32_t count) {
    if (!SeekPeFile(file, offset)) return 0;
    return fread(buffer, 1, count, file) == count;
}

static int ReadOptionalHeader(FILE* file, uint32_t optionalSize, PeImage* image) {
    std::vector<unsigned char> opt(optionalSize);
    if (!ReadPeBytes(file, image->optionalOffset, opt.data(), optionalSize)) return 0;
    const unsigned char* o = opt.data();
    if (LoadPeU16(o) != 0x10B) return 0;
    image->sizeOfInitializedData = LoadPeU32(o + kOptInitializedData);
    image->sectionAlignment = LoadPeU32(o + kOptSectionAlignment);
    image->fileAlignment = LoadPeU32(o + kOptFileAlignment);
    image->sizeOfHeaders = LoadPeU32(o + kOptSizeOfHeaders);
    image->checkSum = LoadPeU32(o + kOptCheckSum);
    // The loader reads no more entries than the header has room for.
    uint32_t count = LoadPeU32(o + kOptDirectoryCount);
    uint32_t room = (optionalSize - kOptDirectories) / 8;
    if (count > room) count = room;
    if (count > kMaxDirectories) count = kMaxDirectories;
    if (count <= kDirResources) return 0;
    image->directoryCount = count;
    memset(image->directories, 0, sizeof image->directories);
    for (uint32_t i = 0; i < count; i++) {
        image->directories[i].rva = LoadPeU32(o + kOptDirectories + 8 * i);
        image->directories[i].size = LoadPeU32(o + kOptDirectories + 8 * i + 4);
    }
    return 1;
}

static int ReadSectionTable(FILE* file, uint32_t count, PeImage* image) {
    std::vector<unsigned char> table(count * kSectionHeaderSize + 1);
    if (!ReadPeBytes(file, image->sectionTableOffset, table.data(),
                     count * kSectionHeaderSize))
        return 0;
    image->sections.resize(count);
    for (uint32_t i = 0; i < count; i++) {
        const unsigned char* s = table.data() + i * kSectionHeaderSize;
        PeSection* section = &image->sections[i];
        memcpy(section->name, s, 8);
        section->virtualSize = LoadPeU32(s + kSecVirtualSize);
        section->virtualAddress = LoadPeU32(s + kSecVirtualAddress);
        section->rawSize = LoadPeU32(s + kSecRawSize);
        section->rawPointer = LoadPeU32(s + kSecRawPointer);
        section->characteristics = LoadPeU32(s + kSecCharacteristics);
    }
    return 1;
}

int ReadPeImage(FILE* file, PeImage* image) {
    if (!MeasurePeFile(file, &image->fileSize)) return 0;
    unsigned char dos[64];
    if (!ReadPeBytes(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return 0;
    uint32_t pe = LoadPeU32(dos + 0x3C);
    unsigned char head[kPeSignatureSize + kCoffHeaderSize];
    if (pe > kMaxHeaderBytes || !ReadPeBytes(file, pe, head, sizeof head)) return 0;
    if (memcmp(head, "PE\0\0", 4) != 0) return 0;
    const unsigned char* coff = head + kPeSignatureSize;
    uint32_t sectionCount = LoadPeU16(coff + kCoffSections);
    uint32_t optionalSize = LoadPeU16(coff + kCoffOptionalSize);
    image->coffOffset = pe + kPeSignatureSize;
    image->optionalOffset = image->coffOffset + kCoffHeaderSize;
    image->sectionTableOffset = image->optionalOffset + optionalSize;
    image->symbolTable = LoadPeU32(coff + kCoffSymbolTable);
    if (sectionCount > kMaxSections || optionalSize < kOptDirectories + 8 * (kDirResources + 1))
        return 0;
    if (image->sectionTableOffset + sectionCount * kSectionHeaderSize > kMaxHeaderBytes) return 0;
    return ReadOptionalHeader(file, optionalSize, image) &&
           ReadSectionTable(file, sectionCount, image);
}

// The part of a section backed by file bytes: the raw data, cut to the
// virtual size when one is given.
static uint32_t FileBackedSize(const PeSection& section) {
    if (section.virtualSize && section.virtualSize < section.rawSize) return section.virtualSize;
    return section.rawSize;
}

int MapPeRva(const PeImage& image, uint32_t rva, uint32_t size, uint64_t* offset) {
    uint64_t end = static_cast<uint64_t>(rva) + size;
    uint64_t lowestSection = UINT64_MAX;
    for (const PeSection& section : image.sections) {
        if (section.virtualAddress < lowestSection) lowestSection = section.virtualAddress;
        if (rva < section.virtualAddress) continue;
        if (end > static_cast<uint64_t>(section.virtualAddress) + FileBackedSize(section))
            continue;
        uint64_t at = static_cast<uint64_t>(section.rawPointer) + (rva - section.virtualAddress);
        if (at + size > image.fileSize) return 0;
        *offset = at;
        return 1;
    }
    // Below the first section the image is the file's own header bytes.
    if (end <= image.sizeOfHeaders && end <= lowestSection && end <= image.fileSize) {
        *offset = rva;
        return 1;
    }
    return 0;
}

uint64_t AddPeChecksumBytes(uint64_t sum, uint64_t offset, const unsigned char* bytes,
                            size_t count) {
    // A byte at an odd offset is the high half of its word. The 64-bit sum
    // folds once at the end: it can't overflow below 2^48 words.
    size_t i = 0;
    if (count && (offset & 1)) sum += static_cast<uint64_t>(bytes[i++]) << 8;
    for (; i + 1 < count; i += 2) sum += bytes[i] | bytes[i + 1] << 8;
    if (i < count) sum += bytes[i];
    return sum;
}

uint32_t FinishPeChecksum(uint64_t sum, uint64_t fileSize) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum) + static_cast<uint32_t>(fileSize);
}
