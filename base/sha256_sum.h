// SHA-256 computed here, streamed: with the processor's SHA extensions where
// it has them (sha256_extensions.cpp), else with portable rounds. The
// journal's keyed check uses it everywhere; the Windows build hashes files
// with it too where the extensions are present, since the system's hash
// there is slower by a wide margin under Wine.
#pragma once
#include <cstddef>
#include <cstdint>

const size_t kSha256Size = 32;

extern const uint32_t kSha256Constants[64];

// Hashes whole 64-byte blocks into state.
typedef void (*Sha256Rounds)(uint32_t state[8], const unsigned char* blocks, size_t count);

void RunPortableSha256(uint32_t state[8], const unsigned char* blocks, size_t count);
void RunSha256Extensions(uint32_t state[8], const unsigned char* blocks, size_t count);
// 1 when this processor has the SHA extensions (and the SSE4.1 they need).
int HasSha256Extensions();

struct Sha256Sum {
    uint32_t state[8];
    unsigned char pending[64];  // the start of a block not yet whole
    uint32_t pendingSize;
    uint64_t total;
    Sha256Rounds rounds;
};

// Starts a sum with the fastest rounds this processor has.
void StartSha256Sum(Sha256Sum* sum);
void StartSha256SumWith(Sha256Sum* sum, Sha256Rounds rounds);
void AddSha256Sum(Sha256Sum* sum, const void* bytes, size_t count);
void FinishSha256Sum(Sha256Sum* sum, unsigned char digest[kSha256Size]);

void ComputeSha256(const void* bytes, size_t size, unsigned char digest[kSha256Size]);
