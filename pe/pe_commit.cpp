// Committing an update: the kept resources' data, the directory, the
// target's tail, the fixed headers, the checksum, then the rename.
#include <cstring>
#include <map>
#include "pe/pe_update.h"
#include "platform/files.h"

// Streams a kept resource's data from the target into the section.
static int MoveKeptData(PeUpdate* update, PeRecord* record) {
    if (!record->inTarget) return 1;
    if (!PadPeOutput(update, AlignPeUp(update->position, kPeDataAlignment))) return 0;
    uint64_t at = update->position;
    if (!CopyPeTarget(update, record->resource.offset, record->resource.size)) return 0;
    record->resource.offset = at;
    record->inTarget = 0;
    return 1;
}

static int AddLeaf(const PeUpdate& update, const PeRecord& record, PeResourceList* leaves) {
    uint64_t rva = update.sectionRva + (record.resource.offset - update.sectionStart);
    if (rva > UINT32_MAX) return 0;
    leaves->push_back(record.resource);
    leaves->back().offset = rva;
    return 1;
}

// Writes the directory after all data; gives its rva and size.
static int WriteDirectory(PeUpdate* update, uint32_t* rva, uint32_t* size) {
    PeResourceList leaves;
    for (auto& entry : update->named) {
        if (!MoveKeptData(update, &entry.second) || !AddLeaf(*update, entry.second, &leaves))
            return 0;
    }
    for (PeRecord& record : update->others) {
        if (!MoveKeptData(update, &record) || !AddLeaf(*update, record, &leaves)) return 0;
    }
    std::vector<unsigned char> directory;
    if (!BuildPeDirectory(leaves, &directory)) return 0;
    if (!PadPeOutput(update, AlignPeUp(update->position, kPeDataAlignment))) return 0;
    uint64_t at = update->sectionRva + (update->position - update->sectionStart);
    if (at + directory.size() > UINT32_MAX) return 0;
    *rva = static_cast<uint32_t>(at);
    *size = static_cast<uint32_t>(directory.size());
    return WritePeOutput(update, directory.data(), *size);
}

struct SectionPlace {
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t directoryRva;
    uint32_t directorySize;
    uint64_t newTail;  // where the target's tail now begins
};

static void PatchSectionHeader(PeUpdate* update, const SectionPlace& place) {
    unsigned char* h = update->headers.data();
    const PeImage& image = update->image;
    unsigned char* section = h + image.sectionTableOffset + kSectionHeaderSize * update->sectionIndex;
    if (update->appendsSection) {
        memset(section, 0, kSectionHeaderSize);
        memcpy(section, ".rsrc", 5);
    } else {
        memset(section + 8, 0, kSectionHeaderSize - 8);
    }
    StoreU32(section + kSecVirtualSize, place.virtualSize);
    StoreU32(section + kSecVirtualAddress, update->sectionRva);
    StoreU32(section + kSecRawSize, place.rawSize);
    StoreU32(section + kSecRawPointer, static_cast<uint32_t>(update->sectionStart));
    StoreU32(section + kSecCharacteristics, kScnInitializedData | kScnRead);
    uint32_t count = static_cast<uint32_t>(image.sections.size()) + update->appendsSection;
    StoreU16(h + image.coffOffset + kCoffSections, static_cast<uint16_t>(count));
}

// The COFF symbols (left by unstripped MinGW builds) move with the tail.
static int PatchSymbolTable(PeUpdate* update, uint64_t newTail) {
    unsigned char* coff = update->headers.data() + update->image.coffOffset;
    uint64_t symbols = update->image.symbolTable;
    if (symbols >= update->tailStart) {
        symbols += newTail - update->tailStart;
        if (symbols > UINT32_MAX) return 0;
    } else if (symbols >= update->dropStart) {
        symbols = 0;
    }
    StoreU32(coff + kCoffSymbolTable, static_cast<uint32_t>(symbols));
    if (!symbols) StoreU32(coff + kCoffSymbolTable + 4, 0);
    return 1;
}

static int PatchHeaders(PeUpdate* update, const SectionPlace& place) {
    const PeImage& image = update->image;
    unsigned char* opt = update->headers.data() + image.optionalOffset;
    PatchSectionHeader(update, place);
    uint64_t imageSize = AlignPeUp(static_cast<uint64_t>(update->sectionRva) + place.virtualSize,
                                   image.sectionAlignment);
    if (imageSize > UINT32_MAX) return 0;
    StoreU32(opt + kOptSizeOfImage, static_cast<uint32_t>(imageSize));
    uint64_t initialized = image.sizeOfInitializedData;
    if (!update->appendsSection) {
        const PeSection& old = image.sections[update->sectionIndex];
        if (old.characteristics & kScnInitializedData)
            initialized -= old.rawSize < initialized ? old.rawSize : initialized;
    }
    initialized += place.rawSize;
    StoreU32(opt + kOptInitializedData,
               initialized > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(initialized));
    unsigned char* directories = opt + image.directoriesOffset;
    StoreU32(directories + 8 * kDirResources, place.directoryRva);
    StoreU32(directories + 8 * kDirResources + 4, place.directorySize);
    // A signature can't cover the changed file; the loader would reject it.
    if (image.directoryCount > kDirSecurity)
        memset(directories + 8 * kDirSecurity, 0, 8);
    StoreU32(opt + kOptCheckSum, 0);
    return PatchSymbolTable(update, place.newTail);
}

static int WriteHeaders(PeUpdate* update) {
    std::vector<unsigned char>& h = update->headers;
    if (update->image.checkSum) {
        uint64_t sum = AddPeChecksumBytes(update->checksum, 0, h.data(), h.size());
        StoreU32(h.data() + update->image.optionalOffset + kOptCheckSum,
                   FinishPeChecksum(sum, update->position));
    }
    return SeekFile(update->output, 0) &&
           fwrite(h.data(), 1, h.size(), update->output) == h.size();
}

static int FinishOutput(PeUpdate* update) {
    SectionPlace place = SectionPlace();
    if (!WriteDirectory(update, &place.directoryRva, &place.directorySize)) return 0;
    uint64_t virtualSize = update->position - update->sectionStart;
    uint64_t rawSize = AlignPeUp(virtualSize, update->image.fileAlignment);
    if (!PadPeOutput(update, update->sectionStart + rawSize)) return 0;
    if (update->position > UINT32_MAX) return 0;
    place.virtualSize = static_cast<uint32_t>(virtualSize);
    place.rawSize = static_cast<uint32_t>(rawSize);
    place.newTail = update->position;
    if (!CopyPeTarget(update, update->tailStart, update->tailEnd - update->tailStart))
        return 0;
    if (update->highWater > update->position &&
        !TruncateFile(update->output, update->position))
        return 0;
    return !update->broken && PatchHeaders(update, place) && WriteHeaders(update) &&
           FlushFile(update->output);
}

// Reads the new image back as the loader would before it may replace the
// target: its resource tree parses, and every package resource is there
// with its size. A writer fault or a disk that lied ends here, not in a
// shipped executable.
static int VerifyOutput(const PeUpdate* update) {
    FILE* file = fopen(update->tempPath.c_str(), "rb");
    if (!file) return 0;
    uint64_t size;
    PeResourceList written;
    int ok = MeasureFile(file, &size) && ReadPeResources(MakeFileSource(file, size), &written);
    fclose(file);
    if (!ok) return 0;
    std::map<std::u16string, uint32_t> sizes;
    for (const PeResource& r : written)
        if (IsPackageResource(r)) sizes[r.name.text] = r.size;
    for (const auto& entry : update->named) {
        auto found = sizes.find(entry.first);
        if (found == sizes.end() || found->second != entry.second.resource.size) return 0;
    }
    return 1;
}

int EndPeUpdate(PeUpdate* update, int discard) {
    if (!update) return 0;
    if (discard || !FinishOutput(update)) {
        DropPeUpdate(update);
        return discard != 0;
    }
    int closed = fclose(update->output) == 0;
    update->output = nullptr;
    fclose(update->target);
    update->target = nullptr;
    int ok = closed && VerifyOutput(update) &&
             MoveFileOver(update->tempPath.c_str(), update->path.c_str());
    if (!ok) remove(update->tempPath.c_str());
    delete update;
    return ok;
}
