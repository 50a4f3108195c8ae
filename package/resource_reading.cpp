#include "package/resource_store.h"

const unsigned char* OpenPackageResource(ResourceRef resource, LoadedResource* loaded) {
    *loaded = LoadPackageResource(resource);
    if (!*loaded) return nullptr;
    const unsigned char* bytes = LockPackageResource(*loaded);
    if (!bytes) {
        FreePackageResource(*loaded);
        *loaded = 0;
    }
    return bytes;
}
