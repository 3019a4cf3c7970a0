#include "image/pixel_kernels.h"

#include <immintrin.h>

#include <cstring>

namespace pixel {
namespace {

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

// Scalar tails: one pixel at a time.
void Bgra32ToBgr24Scalar(const uint8_t* s, uint8_t* d, int from, int n) {
    for (int i = from; i < n; ++i) {
        d[3 * i] = s[4 * i];
        d[3 * i + 1] = s[4 * i + 1];
        d[3 * i + 2] = s[4 * i + 2];
    }
}

__attribute__((target("ssse3"))) int Bgra32ToBgr24Ssse3(const uint8_t* s, uint8_t* d, int n) {
    const __m128i mask = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int i = 0;
    // Four pixels per step; the 16-byte store spills 4 bytes that the next step overwrites,
    // so stop while a whole store still fits in the row.
    for (; i + 6 <= n; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * i), _mm_shuffle_epi8(v, mask));
    }
    return i;
}

__attribute__((target("ssse3"))) int Gray8ToBgr24Ssse3(const uint8_t* s, uint8_t* d, int n) {
    const __m128i m0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i m1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i m2 =
        _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i* out = reinterpret_cast<__m128i*>(d + 3 * i);
        _mm_storeu_si128(out, _mm_shuffle_epi8(g, m0));
        _mm_storeu_si128(out + 1, _mm_shuffle_epi8(g, m1));
        _mm_storeu_si128(out + 2, _mm_shuffle_epi8(g, m2));
    }
    return i;
}

__attribute__((target("ssse3"))) int SwapRedBlue24Ssse3(const uint8_t* s, uint8_t* d, int n) {
    const __m128i mask = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int i = 0;
    // Five pixels (15 bytes) per step, loads and stores of 16 bytes that stay in the row.
    for (; i + 6 <= n; i += 5) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * i), _mm_shuffle_epi8(v, mask));
    }
    return i;
}

}  // namespace

void Bgra32ToBgr24(const uint8_t* src, uint8_t* dst, int n) {
    const int done = HasSsse3() ? Bgra32ToBgr24Ssse3(src, dst, n) : 0;
    Bgra32ToBgr24Scalar(src, dst, done, n);
}

void Gray8ToBgr24(const uint8_t* src, uint8_t* dst, int n) {
    int i = HasSsse3() ? Gray8ToBgr24Ssse3(src, dst, n) : 0;
    for (; i < n; ++i) dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = src[i];
}

void Indexed8ToBgr24(const uint8_t* src, uint8_t* dst, int n, const uint32_t* table) {
    int i = 0;
    // Each step stores four bytes; the fourth is overwritten by the next pixel.
    for (; i + 1 < n; ++i) std::memcpy(dst + 3 * i, &table[src[i]], 4);
    for (; i < n; ++i) {
        const uint32_t v = table[src[i]];
        dst[3 * i] = static_cast<uint8_t>(v);
        dst[3 * i + 1] = static_cast<uint8_t>(v >> 8);
        dst[3 * i + 2] = static_cast<uint8_t>(v >> 16);
    }
}

void SwapRedBlue24(const uint8_t* src, uint8_t* dst, int n) {
    int i = HasSsse3() ? SwapRedBlue24Ssse3(src, dst, n) : 0;
    for (; i < n; ++i) {
        const uint8_t b = src[3 * i], g = src[3 * i + 1], r = src[3 * i + 2];
        dst[3 * i] = r;
        dst[3 * i + 1] = g;
        dst[3 * i + 2] = b;
    }
}

}  // namespace pixel
