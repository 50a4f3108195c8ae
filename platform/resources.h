// The package resources of an executable image: the running program's own on
// Windows, or an image chosen by path (tests, tools, and the native build,
// which has no image of its own). resources_win32.cpp; natively
// pe/image_resources_posix.cpp, on our own resource reader.
#pragma once
#include <cstdint>

// The bytes and size of the package resource (RT_RCDATA, language neutral)
// with this name, as the loader finds it: the name is compared without
// regard to ASCII case. 0 when there is none. The bytes stay valid until
// another image is selected; there is nothing to free.
[[nodiscard]] int FindPackageResource(const char* name, const unsigned char** bytes, uint32_t* size);

// Reads the package from the executable at path from now on; nullptr
// returns to the running image (none in the native build). 0 when the file
// can't be read as an executable.
int SelectPackageImage(const char* path);
