// Reading a package natively: the resources of a selected PE32 file, read
// with our own resource-section reader. There is no running image to read
// from, so nothing is found until an image is selected.
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "package/pe_resources.h"
#include "package/resource_store.h"
#include "platform/posix/posix_paths.h"

namespace {

struct Place {
    uint64_t offset;
    uint32_t size;
};

struct Image {
    std::string path;
    std::map<std::string, Place> rcData;  // by upper-case name
};

Image* selected = nullptr;

std::string UpperAscii(const char* name) {
    std::string s(name);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

}  // namespace

int SelectPackageImage(const char* path) {
    delete selected;
    selected = nullptr;
    if (!path) return 1;
    PeResourceList list;
    PosixPath native(path);
    if (!ReadPeResources(native.c_str(), &list)) return 0;
    selected = new Image{native.c_str(), {}};
    for (const PeResource& r : list) {
        if (r.type.id != kPeTypeRcData || !r.type.text.empty() || r.name.text.empty()) continue;
        std::string name(r.name.text.begin(), r.name.text.end());
        selected->rcData.emplace(UpperAscii(name.c_str()), Place{r.offset, r.size});
    }
    return 1;
}

ResourceRef FindPackageResource(const char* name) {
    if (!selected) return 0;
    auto it = selected->rcData.find(UpperAscii(name));
    return it == selected->rcData.end() ? 0 : reinterpret_cast<ResourceRef>(&it->second);
}

uint32_t SizeofPackageResource(ResourceRef resource) {
    return resource ? reinterpret_cast<const Place*>(resource)->size : 0;
}

// A load reads the bytes into memory of its own; the free releases them.
LoadedResource LoadPackageResource(ResourceRef resource) {
    if (!resource || !selected) return 0;
    const Place* place = reinterpret_cast<const Place*>(resource);
    FILE* file = fopen(selected->path.c_str(), "rb");
    if (!file) return 0;
    auto* bytes = new std::vector<unsigned char>(place->size + 1u);
    int ok = fseeko(file, static_cast<off_t>(place->offset), SEEK_SET) == 0 &&
             fread(bytes->data(), 1, place->size, file) == place->size;
    fclose(file);
    if (!ok) {
        delete bytes;
        return 0;
    }
    return reinterpret_cast<LoadedResource>(bytes);
}

const unsigned char* LockPackageResource(LoadedResource loaded) {
    return loaded ? reinterpret_cast<std::vector<unsigned char>*>(loaded)->data() : nullptr;
}

void FreePackageResource(LoadedResource loaded) {
    delete reinterpret_cast<std::vector<unsigned char>*>(loaded);
}
