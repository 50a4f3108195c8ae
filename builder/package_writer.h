// The build mode: packs the "Update" folder of the current directory, with
// the title and readme name from "title.txt", into "Update.exe" there.
#pragma once
#include <cstdint>
#include "package/resource_store.h"

// Nonzero when the package was written into "Update.exe"; 0 on failure,
// after telling the user where there is something to tell.
int BuildPackage();

// Packs one listed file as record number index. 0 on failure.
int AddPayloadFile(UpdateHandle update, const char* relativeName, uint32_t index);
