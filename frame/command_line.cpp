#include "frame/modes.h"
#include <cstring>

void UpperCaseAscii(char* text) {
    for (; *text; text++)
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}

ProgramMode SelectMode(const char* commandLine) {
    size_t length = strlen(commandLine);
    if (length < 6) return kModeUpdate;
    const char* suffix = commandLine + length - 6;
    if (memcmp(suffix, "/ERASE", 6) == 0) return kModeErase;
    if (memcmp(suffix, "/BUILD", 6) == 0) return kModeBuild;
    return kModeUpdate;
}
