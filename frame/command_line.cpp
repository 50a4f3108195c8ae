#include "frame/modes.h"
#include <cstring>
#include "base/bytes.h"

void UpperCaseAscii(char* text) {
    for (; *text; text++) *text = ToUpperAscii(*text);
}

ProgramMode SelectMode(const char* commandLine) {
    size_t length = strlen(commandLine);
    if (length < 6) return kModeUpdate;
    const char* suffix = commandLine + length - 6;
    if (memcmp(suffix, "/ERASE", 6) == 0) return kModeErase;
    if (memcmp(suffix, "/BUILD", 6) == 0) return kModeBuild;
    return kModeUpdate;
}
