// The reader's entry points: whole-file reads for tests and native tools.
#include "package/pe_image.h"

int ReadPeResources(const char* path, PeResourceList* out) {
    out->clear();
    FILE* file = fopen(path, "rb");
    if (!file) return 0;
    PeImage image;
    int ok = ReadPeImage(file, &image) && ReadPeResourceTree(file, image, out);
    fclose(file);
    if (!ok) out->clear();
    return ok;
}

int MakePeName(const char* name, std::u16string* out) {
    out->clear();
    if (!name[0] || name[0] == '#') return 0;
    for (const char* c = name; *c; c++) {
        unsigned char byte = static_cast<unsigned char>(*c);
        if (byte >= 0x80) return 0;
        out->push_back(static_cast<char16_t>(byte >= 'a' && byte <= 'z' ? byte - 32 : byte));
    }
    return out->size() <= 0xFFFF;  // the length field of a stored name
}

int FindPeResource(const char* path, const char* name, uint64_t* offset, uint32_t* size) {
    std::u16string wanted;
    PeResourceList list;
    if (!MakePeName(name, &wanted) || !ReadPeResources(path, &list)) return 0;
    for (const PeResource& r : list) {
        if (!r.type.text.empty() || r.type.id != kPeTypeRcData || r.name.text != wanted) continue;
        *offset = r.offset;
        *size = r.size;
        return 1;
    }
    return 0;
}
