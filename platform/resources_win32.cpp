// The package through the Win32 resource API: from the running image, or
// from another executable mapped as data. The loader keeps the image mapped,
// so a resource's bytes need no freeing.
#include <windows.h>
#include "platform/resources.h"

// The module whose resources are read: 0 is the running image.
static HMODULE packageModule = nullptr;

int SelectPackageImage(const char* path) {
    if (packageModule) FreeLibrary(packageModule);
    packageModule = nullptr;
    if (!path) return 1;
    packageModule = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return packageModule != nullptr;
}

int FindPackageResource(const char* name, const unsigned char** bytes, uint32_t* size) {
    HRSRC found = FindResourceA(packageModule, name, RT_RCDATA);
    if (!found) return 0;
    HGLOBAL loaded = LoadResource(packageModule, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return 0;
    *bytes = static_cast<const unsigned char*>(data);
    *size = SizeofResource(packageModule, found);
    return 1;
}
