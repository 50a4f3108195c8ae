#include <windows.h>
#include <shlwapi.h>
#include "platform/platform.h"

int ReadMachineString(const char* key, const char* value, char* buffer, uint32_t size) {
    if (!size) return 0;
    DWORD bytes = size;
    if (SHGetValueA(HKEY_LOCAL_MACHINE, key, value, nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return 0;
    // A value stored without its terminator comes back without one.
    buffer[bytes < size ? bytes : size - 1] = 0;
    return 1;
}
