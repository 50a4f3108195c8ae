// Any bytes as "title.txt": every line fits its destination, lengths are
// honest, the reader never looks past the text, and it always ends.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "builder/title_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t kLimit = 260;
    std::vector<unsigned char> text(data, data + size);  // no slack after it
    TextLines lines = StartTextLines(text.data(), size, kLimit);
    char line[kLimit + 1];
    size_t count = 0;
    for (int32_t n; (n = ReadTextLine(&lines, line)) != -1;) {
        if (n < 0 || static_cast<uint32_t>(n) > kLimit || strlen(line) > static_cast<size_t>(n))
            abort();
        if (++count > size) abort();  // every line consumes at least one byte
    }
    return 0;
}
