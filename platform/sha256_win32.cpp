#include "platform/sha256.h"
#include <windows.h>
#include <wincrypt.h>

// CryptHashData counts in 32 bits: larger inputs go in pieces.
static const size_t kHashPiece = 1u << 30;

int StartSha256(Sha256State* state) {
    if (!HasSha256Extensions()) return StartSystemSha256(state);
    state->provider = state->hash = 0;
    state->ours = 1;
    StartSha256Sum(&state->sum);
    return 1;
}

int StartSystemSha256(Sha256State* state) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    state->provider = state->hash = 0;
    state->ours = 0;
    // No key container: hashing needs none, and a standard user may have none.
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return 0;
    if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        CryptReleaseContext(provider, 0);
        return 0;
    }
    state->provider = provider;
    state->hash = hash;
    return 1;
}

int AddSha256(Sha256State* state, const void* bytes, size_t count) {
    if (state->ours) {
        AddSha256Sum(&state->sum, bytes, count);
        return 1;
    }
    const BYTE* at = static_cast<const BYTE*>(bytes);
    while (count) {
        DWORD piece = static_cast<DWORD>(count < kHashPiece ? count : kHashPiece);
        if (!CryptHashData(state->hash, at, piece, 0)) return 0;
        at += piece;
        count -= piece;
    }
    return 1;
}

int FinishSha256(Sha256State* state, unsigned char digest[kSha256DigestSize]) {
    if (state->ours) {
        FinishSha256Sum(&state->sum, digest);
        state->ours = 0;
        return 1;
    }
    DWORD size = kSha256DigestSize;
    int done = CryptGetHashParam(state->hash, HP_HASHVAL, digest, &size, 0) && size == kSha256DigestSize;
    AbandonSha256(state);
    return done;
}

void AbandonSha256(Sha256State* state) {
    if (state->hash) CryptDestroyHash(state->hash);
    if (state->provider) CryptReleaseContext(state->provider, 0);
    state->provider = state->hash = 0;
    state->ours = 0;
}
