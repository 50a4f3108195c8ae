// Resource names and the order of a directory's entries.
#include "pe/pe_image.h"

int MakePeName(const char* name, std::u16string* out) {
    out->clear();
    if (!name[0] || name[0] == '#') return 0;
    for (const char* c = name; *c; c++) {
        if (static_cast<unsigned char>(*c) >= 0x80) return 0;
        out->push_back(static_cast<char16_t>(ToUpperAscii(*c)));
    }
    return out->size() <= 0xFFFF;  // the length field of a stored name
}

int IsPackageResource(const PeResource& resource) {
    return resource.type.text.empty() && resource.type.id == kPeTypeRcData &&
           !resource.name.text.empty() && resource.language == 0;
}

bool IsPeIdBefore(const PeResourceId& a, const PeResourceId& b) {
    bool aText = !a.text.empty();
    bool bText = !b.text.empty();
    if (aText != bText) return aText;
    return aText ? a.text < b.text : a.id < b.id;
}

bool IsSamePeId(const PeResourceId& a, const PeResourceId& b) {
    return a.text == b.text && (!a.text.empty() || a.id == b.id);
}

bool IsPeResourceBefore(const PeResource& a, const PeResource& b) {
    if (!IsSamePeId(a.type, b.type)) return IsPeIdBefore(a.type, b.type);
    if (!IsSamePeId(a.name, b.name)) return IsPeIdBefore(a.name, b.name);
    return a.language < b.language;
}
