// A file's SHA-256, read a chunk at a time: the same on every platform.
#include <vector>
#include "platform/sha256.h"

int HashOpenFile(FileHandle file, uint64_t* size, unsigned char digest[kSha256DigestSize]) {
    Sha256State state;
    if (!StartSha256(&state)) return 0;
    std::vector<unsigned char> chunk(1 << 16);
    int ok = 1;
    *size = 0;
    for (uint32_t n; ok && (n = ReadBlock(file, chunk.data(), uint32_t(chunk.size()))) > 0;
         *size += n)
        ok = AddSha256(&state, chunk.data(), n);
    if (!ok) {
        AbandonSha256(&state);
        return 0;
    }
    return FinishSha256(&state, digest);
}
