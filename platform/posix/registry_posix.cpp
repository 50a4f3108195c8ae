// The native build has no registry: a value is read from the environment
// variable of the same name ("TAR_DIR"), which is what the native tools and
// tests set.
#include <cstdlib>
#include <cstring>
#include "platform/platform.h"

int ReadMachineString(const char*, const char* value, char* buffer, uint32_t size) {
    const char* text = getenv(value);
    if (!text || !size || strlen(text) >= size) return 0;
    memcpy(buffer, text, strlen(text) + 1);
    return 1;
}
