// Reading a resource tree: type, name and language tables, then data
// entries. Every table, string and data entry is mapped through the section
// table before it is read, and the walk has a fixed depth and a budget, so a
// hostile tree (loops, shared subtables, huge counts) ends in a failure.
#include <cstring>
#include "pe/pe_image.h"

static const uint32_t kMaxLeaves = 1u << 18;
static const uint32_t kMaxSteps = 1u << 22;  // tables and entries visited

struct TreeWalk {
    const PeSource* source;
    const PeImage* image;
    uint32_t rootRva;
    uint32_t steps;
    PeResourceList* out;
};

// Maps size bytes at an offset from the root of the tree.
static int MapTreeBytes(const TreeWalk& walk, uint32_t offset, uint32_t size, uint64_t* at) {
    uint64_t rva = static_cast<uint64_t>(walk.rootRva) + offset;
    if (rva > UINT32_MAX) return 0;
    return MapPeRva(*walk.image, static_cast<uint32_t>(rva), size, at);
}

static int ReadTreeBytes(const TreeWalk& walk, uint32_t offset, void* buffer, uint32_t size) {
    uint64_t at;
    return MapTreeBytes(walk, offset, size, &at) && ReadPeBytes(*walk.source, at, buffer, size);
}

// The 8-byte entries of the table at offset (named ones first).
static int ReadTable(TreeWalk* walk, uint32_t offset, std::vector<unsigned char>* entries) {
    unsigned char head[16];
    if (!ReadTreeBytes(*walk, offset, head, sizeof head)) return 0;
    uint32_t count = LoadU16(head + 12) + LoadU16(head + 14);
    if (count + 1 > walk->steps) return 0;
    walk->steps -= count + 1;
    entries->resize(count * 8 + 1);
    return ReadTreeBytes(*walk, offset + 16, entries->data(), count * 8);
}

static int ReadEntryId(const TreeWalk& walk, uint32_t field, PeResourceId* id) {
    id->text.clear();
    if (!(field & kSubdirectoryFlag)) {
        id->id = field;
        return 1;
    }
    id->id = 0;
    uint32_t offset = field & ~kSubdirectoryFlag;
    unsigned char lengthBytes[2];
    if (!ReadTreeBytes(walk, offset, lengthBytes, 2)) return 0;
    uint32_t length = LoadU16(lengthBytes);
    std::vector<unsigned char> units(length * 2 + 1);
    if (!ReadTreeBytes(walk, offset + 2, units.data(), length * 2)) return 0;
    for (uint32_t i = 0; i < length; i++)
        id->text.push_back(static_cast<char16_t>(LoadU16(units.data() + 2 * i)));
    // An empty string name can't be told from an id in our model; the
    // compilers never write one.
    return length > 0;
}

static int ReadLeaf(TreeWalk* walk, uint32_t field, PeResource* leaf) {
    unsigned char entry[16];
    if (!ReadTreeBytes(*walk, field, entry, sizeof entry)) return 0;
    leaf->size = LoadU32(entry + 4);
    leaf->codePage = LoadU32(entry + 8);
    return MapPeRva(*walk->image, LoadU32(entry), leaf->size, &leaf->offset);
}

static int ReadLanguages(TreeWalk* walk, uint32_t offset, PeResource* leaf) {
    std::vector<unsigned char> entries;
    if (!ReadTable(walk, offset, &entries)) return 0;
    for (size_t i = 0; i + 8 < entries.size(); i += 8) {
        uint32_t nameField = LoadU32(&entries[i]);
        uint32_t dataField = LoadU32(&entries[i + 4]);
        // Languages are numbers, and a language entry holds data, not a table.
        if ((nameField | dataField) & kSubdirectoryFlag) return 0;
        leaf->language = nameField;
        if (!ReadLeaf(walk, dataField, leaf)) return 0;
        if (walk->out->size() >= kMaxLeaves) return 0;
        walk->out->push_back(*leaf);
    }
    return 1;
}

static int ReadNames(TreeWalk* walk, uint32_t offset, PeResource* leaf) {
    std::vector<unsigned char> entries;
    if (!ReadTable(walk, offset, &entries)) return 0;
    for (size_t i = 0; i + 8 < entries.size(); i += 8) {
        uint32_t dataField = LoadU32(&entries[i + 4]);
        if (!(dataField & kSubdirectoryFlag)) return 0;
        if (!ReadEntryId(*walk, LoadU32(&entries[i]), &leaf->name)) return 0;
        if (!ReadLanguages(walk, dataField & ~kSubdirectoryFlag, leaf)) return 0;
    }
    return 1;
}

int ReadPeResourceTree(const PeSource& source, const PeImage& image, PeResourceList* out) {
    out->clear();
    TreeWalk walk = {&source, &image, image.directories[kDirResources].rva, kMaxSteps, out};
    if (walk.rootRva == 0) return 1;
    std::vector<unsigned char> entries;
    if (!ReadTable(&walk, 0, &entries)) return 0;
    PeResource leaf = PeResource();
    for (size_t i = 0; i + 8 < entries.size(); i += 8) {
        uint32_t dataField = LoadU32(&entries[i + 4]);
        if (!(dataField & kSubdirectoryFlag)) return 0;
        if (!ReadEntryId(walk, LoadU32(&entries[i]), &leaf.type)) return 0;
        if (!ReadNames(&walk, dataField & ~kSubdirectoryFlag, &leaf)) return 0;
    }
    return 1;
}

int ReadPeResources(const PeSource& source, PeResourceList* out) {
    PeImage image = PeImage();
    int ok = ReadPeImage(source, &image) && ReadPeResourceTree(source, image, out);
    if (!ok) out->clear();
    return ok;
}
