// Any bytes as an executable: the resource reader either refuses them or
// gives leaves whose data lies inside the bytes, and never reads outside.
#include <cstdint>
#include <cstdlib>
#include "pe/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PeResourceList list;
    if (!ReadPeResources(MakeMemorySource(data, size), &list)) {
        if (!list.empty()) abort();
        return 0;
    }
    for (const PeResource& r : list) {
        if (r.offset > size || r.size > size - r.offset) abort();
        if (IsPackageResource(r) && r.name.text.empty()) abort();
    }
    return 0;
}
