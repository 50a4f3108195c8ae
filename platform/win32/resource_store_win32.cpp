// Reading the package through the Win32 resource API: from the running
// image, or from another executable mapped as data.
#include <windows.h>
#include "package/resource_store.h"

// The module whose resources are read: 0 is the running image.
static HMODULE packageModule = nullptr;

int SelectPackageImage(const char* path) {
    if (packageModule) FreeLibrary(packageModule);
    packageModule = nullptr;
    if (!path) return 1;
    packageModule = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return packageModule != nullptr;
}

ResourceRef FindPackageResource(const char* name) {
    return reinterpret_cast<ResourceRef>(FindResourceA(packageModule, name, RT_RCDATA));
}

uint32_t SizeofPackageResource(ResourceRef resource) {
    return SizeofResource(packageModule, reinterpret_cast<HRSRC>(resource));
}

LoadedResource LoadPackageResource(ResourceRef resource) {
    return reinterpret_cast<LoadedResource>(
        LoadResource(packageModule, reinterpret_cast<HRSRC>(resource)));
}

const unsigned char* LockPackageResource(LoadedResource loaded) {
    return static_cast<const unsigned char*>(LockResource(reinterpret_cast<HGLOBAL>(loaded)));
}

void FreePackageResource(LoadedResource loaded) {
    FreeResource(reinterpret_cast<HGLOBAL>(loaded));
}
