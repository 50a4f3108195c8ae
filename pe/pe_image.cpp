// PE32 and PE32+ headers, section table and address mapping.
#include "pe/pe_image.h"
#include <cstring>

static int ReadMemory(const void* context, uint64_t offset, void* buffer, uint32_t count) {
    memcpy(buffer, static_cast<const unsigned char*>(context) + offset, count);
    return 1;
}

PeSource MakeMemorySource(const unsigned char* bytes, uint64_t size) {
    return PeSource{size, ReadMemory, bytes};
}

int ReadPeBytes(const PeSource& source, uint64_t offset, void* buffer, uint32_t count) {
    if (offset > source.size || count > source.size - offset) return 0;
    return count == 0 || source.read(source.context, offset, buffer, count);
}

static int ReadOptionalHeader(const PeSource& source, uint32_t optionalSize, PeImage* image) {
    std::vector<unsigned char> opt(optionalSize);
    if (!ReadPeBytes(source, image->optionalOffset, opt.data(), optionalSize)) return 0;
    const unsigned char* o = opt.data();
    const PeOptionalKind* kind = nullptr;
    for (const PeOptionalKind& k : kPeOptionalKinds)
        if (LoadU16(o) == k.magic) kind = &k;
    if (!kind || optionalSize < kind->directories + 8 * (kDirResources + 1)) return 0;
    image->directoriesOffset = kind->directories;
    image->sizeOfInitializedData = LoadU32(o + kOptInitializedData);
    image->sectionAlignment = LoadU32(o + kOptSectionAlignment);
    image->fileAlignment = LoadU32(o + kOptFileAlignment);
    image->sizeOfHeaders = LoadU32(o + kOptSizeOfHeaders);
    image->checkSum = LoadU32(o + kOptCheckSum);
    // The loader reads no more entries than the header has room for.
    uint32_t count = LoadU32(o + kind->directoryCount);
    uint32_t room = (optionalSize - kind->directories) / 8;
    if (count > room) count = room;
    if (count > kMaxDirectories) count = kMaxDirectories;
    if (count <= kDirResources) return 0;
    image->directoryCount = count;
    memset(image->directories, 0, sizeof image->directories);
    for (uint32_t i = 0; i < count; i++) {
        image->directories[i].rva = LoadU32(o + kind->directories + 8 * i);
        image->directories[i].size = LoadU32(o + kind->directories + 8 * i + 4);
    }
    return 1;
}

static int ReadSectionTable(const PeSource& source, uint32_t count, PeImage* image) {
    std::vector<unsigned char> table(count * kSectionHeaderSize + 1);
    if (!ReadPeBytes(source, image->sectionTableOffset, table.data(),
                     count * kSectionHeaderSize))
        return 0;
    image->sections.resize(count);
    for (uint32_t i = 0; i < count; i++) {
        const unsigned char* s = table.data() + i * kSectionHeaderSize;
        PeSection* section = &image->sections[i];
        memcpy(section->name, s, 8);
        section->virtualSize = LoadU32(s + kSecVirtualSize);
        section->virtualAddress = LoadU32(s + kSecVirtualAddress);
        section->rawSize = LoadU32(s + kSecRawSize);
        section->rawPointer = LoadU32(s + kSecRawPointer);
        section->characteristics = LoadU32(s + kSecCharacteristics);
    }
    return 1;
}

int ReadPeImage(const PeSource& source, PeImage* image) {
    image->fileSize = source.size;
    unsigned char dos[64];
    if (!ReadPeBytes(source, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return 0;
    uint32_t pe = LoadU32(dos + 0x3C);
    unsigned char head[kPeSignatureSize + kCoffHeaderSize];
    if (pe > kMaxHeaderBytes || !ReadPeBytes(source, pe, head, sizeof head)) return 0;
    if (memcmp(head, "PE\0\0", 4) != 0) return 0;
    const unsigned char* coff = head + kPeSignatureSize;
    uint32_t sectionCount = LoadU16(coff + kCoffSections);
    uint32_t optionalSize = LoadU16(coff + kCoffOptionalSize);
    image->coffOffset = pe + kPeSignatureSize;
    image->optionalOffset = image->coffOffset + kCoffHeaderSize;
    image->sectionTableOffset = image->optionalOffset + optionalSize;
    image->symbolTable = LoadU32(coff + kCoffSymbolTable);
    // The smallest optional header that can hold the magic.
    if (sectionCount > kMaxSections || optionalSize < 2) return 0;
    if (image->sectionTableOffset + sectionCount * kSectionHeaderSize > kMaxHeaderBytes) return 0;
    return ReadOptionalHeader(source, optionalSize, image) &&
           ReadSectionTable(source, sectionCount, image);
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
