// A file's SHA-256, read a chunk at a time: the same on every platform.
#include <memory>
#include <new>
#include "platform/sha256.h"

int HashOpenFile(FileHandle file, uint64_t* size, unsigned char digest[kSha256DigestSize]) {
    Sha256State state;
    if (!StartSha256(&state)) return 0;
    // Large reads, and none past a short one (a file's end): each call into
    // the system costs far more than its bytes under Wine, and a patch's
    // checks may hash a whole game. (Not cleared, and small enough to come
    // from the heap, not fresh pages: most files of a game are small.)
    const uint32_t kChunk = 1 << 18;
    std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[kChunk]);
    if (!chunk) {
        AbandonSha256(&state);
        return 0;
    }
    int ok = 1;
    *size = 0;
    for (uint32_t n = kChunk; ok && n == kChunk; *size += n) {
        n = ReadBlock(file, chunk.get(), kChunk);
        ok = AddSha256(&state, chunk.get(), n);
    }
    if (!ok) {
        AbandonSha256(&state);
        return 0;
    }
    return FinishSha256(&state, digest);
}
