// Any command line: only a to z change case, and the mode follows from the
// last six characters alone.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include "frame/modes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string original(reinterpret_cast<const char*>(data), size);
    original = original.c_str();  // a command line ends at its first zero
    std::string line = original;
    UpperCaseAscii(&line[0]);
    for (size_t i = 0; i < line.size(); i++) {
        char c = original[i];
        char expected = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        if (line[i] != expected) abort();
    }
    ProgramMode mode = SelectMode(line.c_str());
    std::string tail = line.size() >= 6 ? line.substr(line.size() - 6) : "";
    ProgramMode expected = tail == "/ERASE" ? kModeErase : tail == "/BUILD" ? kModeBuild : kModeUpdate;
    if (mode != expected) abort();
    return 0;
}
