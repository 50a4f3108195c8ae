// Any bytes as "title.txt": every line fits its destination, lengths are
// honest, and the reader always reaches the end.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "builder/title_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t kLimit = 260;
    std::vector<unsigned char> block(data, data + size);
    block.resize(size + 16, 0);  // the zero slack every loaded block has
    StartTextLines(block.data(), size, kLimit);
    char line[kLimit + 1];
    size_t lines = 0;
    for (int32_t n; (n = ReadTextLine(line)) != -1;) {
        if (n < 0 || static_cast<uint32_t>(n) > kLimit || strlen(line) > static_cast<size_t>(n))
            abort();
        if (++lines > size) abort();  // every line consumes at least one byte
    }
    return 0;
}
