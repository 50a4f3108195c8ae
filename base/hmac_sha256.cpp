#include "base/hmac_sha256.h"
#include <cstring>

void ComputeHmacSha256(const void* key, size_t keySize, const void* message, size_t messageSize,
                       unsigned char mac[kSha256Size]) {
    unsigned char block[64] = {0};
    if (keySize > sizeof block) ComputeSha256(key, keySize, block);
    else if (keySize) memcpy(block, key, keySize);
    unsigned char pad[64], inner[kSha256Size];
    Sha256Sum sum;
    for (int i = 0; i < 64; i++) pad[i] = block[i] ^ 0x36;
    StartSha256Sum(&sum);
    AddSha256Sum(&sum, pad, sizeof pad);
    AddSha256Sum(&sum, message, messageSize);
    FinishSha256Sum(&sum, inner);
    for (int i = 0; i < 64; i++) pad[i] = block[i] ^ 0x5c;
    StartSha256Sum(&sum);
    AddSha256Sum(&sum, pad, sizeof pad);
    AddSha256Sum(&sum, inner, sizeof inner);
    FinishSha256Sum(&sum, mac);
}
