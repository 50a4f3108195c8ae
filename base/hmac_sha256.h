// HMAC-SHA-256: the keyed check on each line of the install's journal, so
// that a line no updater wrote with the install's secret key is never acted
// on.
#pragma once
#include "base/sha256_sum.h"

// HMAC (RFC 2104) over SHA-256 of message with key.
void ComputeHmacSha256(const void* key, size_t keySize, const void* message, size_t messageSize,
                       unsigned char mac[kSha256Size]);
