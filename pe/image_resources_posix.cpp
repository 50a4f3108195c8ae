// The package natively (platform/resources.h): the package resources of an
// executable chosen by path, mapped into memory and found with our own
// resource-section reader, so it lives above that reader, not in the
// platform layer below it. There is no running image to read from, so
// nothing is found until an image is selected.
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include "pe/pe_resources.h"
#include "platform/posix_path.h"
#include "platform/resources.h"

namespace {

struct Mapping {
    const unsigned char* bytes = nullptr;
    size_t size = 0;
    std::map<std::u16string, PeResource> byName;  // names as stored: upper case
};

Mapping selected;

void Unmap() {
    if (selected.bytes) munmap(const_cast<unsigned char*>(selected.bytes), selected.size);
    selected = Mapping();
}

int Map(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st;
    void* at = MAP_FAILED;
    if (fstat(fd, &st) == 0 && st.st_size > 0)
        at = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);  // the mapping keeps the file
    if (at == MAP_FAILED) return 0;
    selected.bytes = static_cast<const unsigned char*>(at);
    selected.size = static_cast<size_t>(st.st_size);
    return 1;
}

}  // namespace

int SelectPackageImage(const char* path) {
    Unmap();
    if (!path) return 1;
    PeResourceList list;
    if (!Map(ToPosixPath(path)) ||
        !ReadPeResources(MakeMemorySource(selected.bytes, selected.size), &list)) {
        Unmap();
        return 0;
    }
    for (const PeResource& resource : list)
        if (IsPackageResource(resource)) selected.byName.emplace(resource.name.text, resource);
    return 1;
}

int FindPackageResource(const char* name, const unsigned char** bytes, uint32_t* size) {
    std::u16string key;
    if (!MakePeName(name, &key)) return 0;
    auto found = selected.byName.find(key);
    if (found == selected.byName.end()) return 0;
    *bytes = selected.bytes + found->second.offset;
    *size = found->second.size;
    return 1;
}
