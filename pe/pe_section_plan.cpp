// Where the new resource section goes, and what the target keeps around it.
#include <cstring>
#include "pe/pe_update.h"

static const uint32_t kPageSize = 0x1000;

static uint32_t SectionExtent(const PeSection& section) {
    return section.virtualSize ? section.virtualSize : section.rawSize;
}

static int IsPowerOfTwo(uint32_t value) {
    return value && !(value & (value - 1));
}

static int FindResourceSection(const PeImage& image) {
    uint32_t rva = image.directories[kDirResources].rva;
    if (!rva) return -1;
    for (size_t i = 0; i < image.sections.size(); i++) {
        const PeSection& s = image.sections[i];
        if (rva >= s.virtualAddress && rva - s.virtualAddress < SectionExtent(s))
            return static_cast<int>(i);
    }
    return -1;
}

// Only a section that holds resources alone, and is last both in the file
// and in memory, can be dropped: nothing else of the image moves then.
static int CanReplaceSection(const PeImage& image, size_t index, uint64_t rawEnd) {
    const PeSection& s = image.sections[index];
    if (index + 1 != image.sections.size() || memcmp(s.name, ".rsrc\0\0\0", 8) != 0) return 0;
    if (!s.rawSize || static_cast<uint64_t>(s.rawPointer) + s.rawSize != rawEnd) return 0;
    for (size_t i = 0; i < index; i++) {
        const PeSection& other = image.sections[i];
        if (other.rawSize && static_cast<uint64_t>(other.rawPointer) + other.rawSize > s.rawPointer)
            return 0;
        if (static_cast<uint64_t>(other.virtualAddress) + SectionExtent(other) > s.virtualAddress)
            return 0;
    }
    uint64_t end = AlignPeUp(static_cast<uint64_t>(s.virtualAddress) + SectionExtent(s),
                             image.sectionAlignment);
    for (uint32_t d = 0; d < image.directoryCount; d++) {
        const PeDirectory& dir = image.directories[d];
        if (d == kDirResources || d == kDirSecurity || !dir.rva) continue;
        if (dir.rva < end && static_cast<uint64_t>(dir.rva) + dir.size >= s.virtualAddress) return 0;
    }
    return 1;
}

// Where the target's tail ends. A signature (the certificate table, whose
// entry holds a file offset) sits at the end of the file; the commit clears
// its entry, since it can't cover the changed file, and its bytes go with
// it. One followed by more than its padding is left alone.
static uint64_t FindTailEnd(const PeImage& image, uint64_t tailStart) {
    if (image.directoryCount <= kDirSecurity) return image.fileSize;
    const PeDirectory& table = image.directories[kDirSecurity];
    uint64_t end = static_cast<uint64_t>(table.rva) + table.size;
    if (!table.size || table.rva < tailStart || table.rva > image.fileSize) return image.fileSize;
    return AlignPeUp(end, 8) >= image.fileSize ? table.rva : image.fileSize;
}

static int ReadHeaderBytes(PeUpdate* update, uint64_t headerEnd) {
    update->headers.resize(headerEnd);
    if (!ReadPeBytes(update->targetSource, 0, update->headers.data(),
                     static_cast<uint32_t>(headerEnd)))
        return 0;
    if (!update->appendsSection) return 1;
    // The slot for the new section header must be free: bound imports and
    // the like sometimes sit right after the section table.
    for (uint64_t i = headerEnd - kSectionHeaderSize; i < headerEnd; i++)
        if (update->headers[i]) return 0;
    return 1;
}

// Where the image's sections end in the file and in memory, and where the
// first one begins in the file. 0 when a section runs past the file's end.
struct Extents {
    uint64_t rawEnd;
    uint64_t firstRaw;
    uint64_t virtualEnd;
};

static int MeasureSections(const PeImage& image, Extents* e) {
    e->rawEnd = image.sizeOfHeaders;
    e->firstRaw = UINT64_MAX;
    e->virtualEnd = AlignPeUp(image.sizeOfHeaders, image.sectionAlignment);
    for (const PeSection& s : image.sections) {
        uint64_t end = static_cast<uint64_t>(s.rawPointer) + s.rawSize;
        if (s.rawSize && end > image.fileSize) return 0;  // truncated
        if (s.rawSize && end > e->rawEnd) e->rawEnd = end;
        if (s.rawSize && s.rawPointer < e->firstRaw) e->firstRaw = s.rawPointer;
        uint64_t top = AlignPeUp(static_cast<uint64_t>(s.virtualAddress) + SectionExtent(s),
                                 image.sectionAlignment);
        if (top > e->virtualEnd) e->virtualEnd = top;
    }
    return 1;
}

int PlanPeSection(PeUpdate* update) {
    const PeImage& image = update->image;
    // Below page alignment the loader wants file offsets equal to addresses,
    // which a page-aligned section can't promise.
    if (!IsPowerOfTwo(image.sectionAlignment) || image.sectionAlignment < kPageSize) return 0;
    if (!IsPowerOfTwo(image.fileAlignment) || image.fileAlignment > image.sectionAlignment) return 0;
    Extents e;
    if (image.sizeOfHeaders > image.fileSize || !MeasureSections(image, &e)) return 0;
    uint64_t tableEnd = image.sectionTableOffset + kSectionHeaderSize * image.sections.size();
    int index = FindResourceSection(image);
    update->tailStart = e.rawEnd;
    update->tailEnd = FindTailEnd(image, e.rawEnd);
    if (index >= 0 && CanReplaceSection(image, index, e.rawEnd)) {
        update->appendsSection = 0;
        update->sectionIndex = index;
        update->sectionRva = image.sections[index].virtualAddress;
        update->dropStart = image.sections[index].rawPointer;
    } else {
        update->appendsSection = 1;
        update->sectionIndex = static_cast<uint32_t>(image.sections.size());
        update->dropStart = e.rawEnd;
        tableEnd += kSectionHeaderSize;
        if (update->sectionIndex + 1 > kMaxSections || e.virtualEnd > UINT32_MAX) return 0;
        if (tableEnd > image.sizeOfHeaders || tableEnd > e.firstRaw) return 0;
        update->sectionRva = static_cast<uint32_t>(e.virtualEnd);
    }
    if (tableEnd > update->dropStart) return 0;
    uint32_t alignment = image.fileAlignment > kPageSize ? image.fileAlignment : kPageSize;
    update->sectionStart = AlignPeUp(update->dropStart, alignment);
    return ReadHeaderBytes(update, tableEnd);
}
