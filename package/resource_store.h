// The named-resource store behind the package: reading from the running
// image, and update transactions on another executable file. Each call keeps
// the contract of the platform's resource API it stands for.
#pragma once
#include <cstdint>
#include "platform/platform.h"

typedef uintptr_t ResourceRef;     // a found resource, 0 when absent
typedef uintptr_t LoadedResource;  // a loaded resource, 0 on failure
typedef uintptr_t UpdateHandle;    // an update transaction, 0 on failure

// Reading (RT_RCDATA, by name). Each successful load is freed once.
ResourceRef FindPackageResource(const char* name);
uint32_t SizeofPackageResource(ResourceRef resource);
LoadedResource LoadPackageResource(ResourceRef resource);
const unsigned char* LockPackageResource(LoadedResource loaded);
void FreePackageResource(LoadedResource loaded);

// Loads and locks a found resource in one step: its bytes, with *loaded
// set to what FreePackageResource takes once they are used; 0 (and nothing
// to free) when either step fails.
const unsigned char* OpenPackageResource(ResourceRef resource, LoadedResource* loaded);

// Reads the package from the file at path instead of the running image
// (tests, tools); nullptr returns to the running image. 0 on failure.
int SelectPackageImage(const char* path);

// Writing. Begin keeps the target's existing resources; End commits all
// updates at once (discard 0) or drops them, leaving the file untouched.
// The data goes to a new file beside the target as it arrives, and only a
// commit renames it over the target, so a build that fails or is killed
// leaves the target as it was.
UpdateHandle BeginPackageUpdate(const char* path);
int UpdatePackageResource(UpdateHandle update, const char* name, const void* data,
                          uint32_t size);
int EndPackageUpdate(UpdateHandle update, int discard);

// Adds a resource whose bytes are head followed by exactly contentSize bytes
// read from file, streamed without holding them. 0 when the file yields
// fewer bytes (it shrank, or a read failed); the update is then as before.
int UpdatePackageResourceFromFile(UpdateHandle update, const char* name, const void* head,
                                  uint32_t headSize, FileHandle file, uint32_t contentSize);
