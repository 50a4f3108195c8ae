// SHA-256 of files and package contents: natively OpenSSL's libcrypto; on
// Windows our own on the processor's SHA extensions where it has them, else
// the system's CryptoAPI (advapi32, already imported), which runs at a tenth
// of their speed under Wine (sha256_win32.cpp, sha256_posix.cpp). Bytes go
// in as they come, in pieces of any size.
#pragma once
#include <cstddef>
#include <cstdint>
#include "base/sha256_sum.h"
#include "platform/files.h"

const uint32_t kSha256DigestSize = kSha256Size;

// A hash in progress: the platform's handles, opaque here, or our own sum.
struct Sha256State {
    uintptr_t provider;
    uintptr_t hash;
    int ours;
    Sha256Sum sum;
};

// 0 when the platform can't start a hash (nothing is then held).
int StartSha256(Sha256State* state);
// The same through the system's own implementation, whatever the processor.
int StartSystemSha256(Sha256State* state);
// 0 on failure; the state must still be finished or abandoned.
int AddSha256(Sha256State* state, const void* bytes, size_t count);
// Gives the digest and releases the state, also when it fails (0).
int FinishSha256(Sha256State* state, unsigned char digest[kSha256DigestSize]);
// Releases a started state without a digest.
void AbandonSha256(Sha256State* state);

// The SHA-256 of an open file's bytes from where it stands to its end, and
// how many there were. 0 when it can't be read or hashed.
[[nodiscard]] int HashOpenFile(FileHandle file, uint64_t* size,
                               unsigned char digest[kSha256DigestSize]);

inline int HashBytesSha256(const void* bytes, size_t count, unsigned char digest[kSha256DigestSize]) {
    Sha256State state;
    if (!StartSha256(&state)) return 0;
    if (!AddSha256(&state, bytes, count)) {
        AbandonSha256(&state);
        return 0;
    }
    return FinishSha256(&state, digest);
}
