// Package updates through our own writer of the executable's resource
// section, on every platform: it streams each resource to the new file as it
// arrives and commits with one rename.
#include "frame/primitives.h"
#include "package/pe_resources.h"
#include "package/resource_store.h"

static PeUpdate* ToUpdate(UpdateHandle update) { return reinterpret_cast<PeUpdate*>(update); }

UpdateHandle BeginPackageUpdate(const char* path) {
    char nativePath[4 * kMaxPath];
    if (!MakeNativePath(path, nativePath, sizeof nativePath)) return 0;
    return reinterpret_cast<UpdateHandle>(BeginPeUpdate(nativePath));
}

int UpdatePackageResource(UpdateHandle update, const char* name, const void* data,
                          uint32_t size) {
    return update && AddPeResourceBytes(ToUpdate(update), name, data, size);
}

static uint32_t ReadFromFile(void* context, void* buffer, uint32_t count) {
    return ReadBlock(*static_cast<FileHandle*>(context), buffer, count);
}

int UpdatePackageResourceFromFile(UpdateHandle update, const char* name, const void* head,
                                  uint32_t headSize, FileHandle file, uint32_t contentSize) {
    return update && AddPeResourceFromStream(ToUpdate(update), name, head, headSize,
                                             ReadFromFile, &file, contentSize);
}

int EndPackageUpdate(UpdateHandle update, int discard) {
    return update && EndPeUpdate(ToUpdate(update), discard);
}
