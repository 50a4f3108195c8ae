#include "platform/sha256.h"
#include <openssl/evp.h>

static EVP_MD_CTX* ContextOf(const Sha256State* state) {
    return reinterpret_cast<EVP_MD_CTX*>(state->hash);
}

int StartSha256(Sha256State* state) { return StartSystemSha256(state); }

int StartSystemSha256(Sha256State* state) {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    state->provider = 0;
    state->ours = 0;
    state->hash = reinterpret_cast<uintptr_t>(context);
    if (context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr)) return 1;
    AbandonSha256(state);
    return 0;
}

int AddSha256(Sha256State* state, const void* bytes, size_t count) {
    return EVP_DigestUpdate(ContextOf(state), bytes, count);
}

int FinishSha256(Sha256State* state, unsigned char digest[kSha256DigestSize]) {
    unsigned int size = 0;
    int done = EVP_DigestFinal_ex(ContextOf(state), digest, &size) && size == kSha256DigestSize;
    AbandonSha256(state);
    return done;
}

void AbandonSha256(Sha256State* state) {
    EVP_MD_CTX_free(ContextOf(state));
    state->hash = 0;
}
