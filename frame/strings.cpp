#include "frame/primitives.h"

uint32_t CopyString(char* destination, const char* source) {
    if (!destination) return 0;
    if (!source) {
        destination[0] = 0;
        return 0;
    }
    uint32_t n = 0;
    while ((destination[n] = source[n]) != 0) n++;
    return n;
}
