// SHA-256 rounds on the processor's SHA extensions: four rounds per pair of
// instructions, the message schedule in the same registers. The state is
// held as the instructions want it, ABEF and CDGH.
#include <cpuid.h>
#include <immintrin.h>
#include <utility>
#include "base/sha256_sum.h"

#define SHA_TARGET __attribute__((target("sha,sse4.1")))

static int AskProcessor() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSE4_1)) return 0;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
}

int HasSha256Extensions() {
    // The processor doesn't change while the program runs: asked once.
    static const int has = AskProcessor();
    return has;
}

namespace {

struct Registers {
    __m128i abef, cdgh;
    __m128i message[4];  // the schedule's last sixteen words, four a register
};

// Rounds 4g to 4g + 3, with the schedule's next words worked out meanwhile.
template <int g>
SHA_TARGET inline __attribute__((always_inline)) void RunFourRounds(Registers* r) {
    __m128i* m = r->message;
    __m128i words = _mm_add_epi32(
        m[g % 4], _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha256Constants + 4 * g)));
    r->cdgh = _mm_sha256rnds2_epu32(r->cdgh, r->abef, words);
    if constexpr (g >= 3 && g <= 14) {
        __m128i next = _mm_add_epi32(m[(g + 1) % 4], _mm_alignr_epi8(m[g % 4], m[(g + 3) % 4], 4));
        m[(g + 1) % 4] = _mm_sha256msg2_epu32(next, m[g % 4]);
    }
    r->abef = _mm_sha256rnds2_epu32(r->abef, r->cdgh, _mm_shuffle_epi32(words, 0x0E));
    if constexpr (g >= 1 && g <= 12)
        m[(g + 3) % 4] = _mm_sha256msg1_epu32(m[(g + 3) % 4], m[g % 4]);
}

template <int... g>
SHA_TARGET inline __attribute__((always_inline)) void RunAllRounds(
    Registers* r, std::integer_sequence<int, g...>) {
    (RunFourRounds<g>(r), ...);
}

}  // namespace

// A 32-bit Windows thread's stack may be aligned to 4 bytes only, and the
// registers spill to it: the stack is aligned on the way in.
SHA_TARGET __attribute__((force_align_arg_pointer)) void RunSha256Extensions(
    uint32_t state[8], const unsigned char* blocks, size_t count) {
    // Big-endian words of the message into the lanes' order.
    const __m128i byteOrder = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    Registers r;
    r.abef = _mm_alignr_epi8(cdab, efgh, 8);
    r.cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (size_t b = 0; b < count; b++, blocks += 64) {
        __m128i abef = r.abef, cdgh = r.cdgh;
        for (int i = 0; i < 4; i++)
            r.message[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteOrder);
        RunAllRounds(&r, std::make_integer_sequence<int, 16>());
        r.abef = _mm_add_epi32(r.abef, abef);
        r.cdgh = _mm_add_epi32(r.cdgh, cdgh);
    }
    __m128i feba = _mm_shuffle_epi32(r.abef, 0x1B);
    __m128i dchg = _mm_shuffle_epi32(r.cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}
