// SHA-256 and HMAC-SHA-256: the keyed check on each line of the install's
// journal, so that a line no updater wrote with the install's secret key is
// never acted on.
#pragma once
#include <cstddef>
#include <cstdint>

const size_t kSha256Size = 32;

void ComputeSha256(const void* bytes, size_t size, unsigned char digest[kSha256Size]);

// HMAC (RFC 2104) over SHA-256 of message with key.
void ComputeHmacSha256(const void* key, size_t keySize, const void* message, size_t messageSize,
                       unsigned char mac[kSha256Size]);
