#include "document/processing.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/obj_image.h"

namespace {

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

// Row-sized scratch, kept alive per thread so that steady frames allocate nothing.
uint8_t* Scratch(int slot, size_t bytes) {
    thread_local std::vector<uint8_t> buffers[3];
    std::vector<uint8_t>& b = buffers[slot];
    // 64 bytes of slack: vector stores may spill past the last pixel into it.
    if (b.size() < bytes + 64) b.resize(bytes + 64);
    return b.data();
}

bool BadBlock(const uint8_t* p, int w, int h) {
    return p == nullptr || w <= 0 || h <= 0;
}
bool Handled(int bits) {
    return bits == 24 || bits == 32;
}

inline __m128i LoadU(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void StoreU(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// ---- grey -------------------------------------------------------------------------------

// The single-precision tables, summed step by step as the grey definition requires.
struct GreyTables {
    float rg[256];
    float b[256];
    GreyTables() {
        float a = 0.0f, c = 0.0f;
        for (int i = 0; i < 256; ++i) {
            rg[i] = a;
            b[i] = c;
            a += 0.3f;
            c += 0.11f;
        }
    }
};
const GreyTables& Tables() {
    static const GreyTables t;
    return t;
}

inline uint8_t GreyOf(const GreyTables& t, unsigned b, unsigned g, unsigned r) {
    return static_cast<uint8_t>(static_cast<int>(t.rg[r] + t.rg[g] + t.b[b]));
}

// The vector path computes floor((30(r+g) + 11b) / 100) in integers. Checked over every
// colour: it equals the table sum except where that quotient is exact, where the float sum may
// fall just below; those lanes are recomputed from the tables.
//
// Four B,G,R,x pixels → their n = 30(r+g) + 11b as 32-bit lanes.
__attribute__((target("ssse3"))) inline __m128i WeighQuad(__m128i px) {
    const __m128i w = _mm_setr_epi8(11, 30, 30, 0, 11, 30, 30, 0, 11, 30, 30, 0, 11, 30, 30, 0);
    return _mm_madd_epi16(_mm_maddubs_epi16(px, w), _mm_set1_epi16(1));
}

// Sixteen n values → sixteen greys; exact quotients other than 0 are fixed from the tables.
__attribute__((target("ssse3"))) inline __m128i GreyOf16(__m128i n0, __m128i n1, __m128i n2,
                                                         __m128i n3, const uint8_t* px, int bpp) {
    const __m128i lo = _mm_packs_epi32(n0, n1), hi = _mm_packs_epi32(n2, n3);
    // n <= 18105, so n * 41944 >> 22 is n / 100.
    const __m128i m = _mm_set1_epi16(-23592), hundred = _mm_set1_epi16(100);
    const __m128i qLo = _mm_srli_epi16(_mm_mulhi_epu16(lo, m), 6);
    const __m128i qHi = _mm_srli_epi16(_mm_mulhi_epu16(hi, m), 6);
    // Black (n == 0) sums to exactly 0 and needs no second look; dark fields are common.
    const __m128i z = _mm_setzero_si128();
    const __m128i exLo = _mm_andnot_si128(_mm_cmpeq_epi16(lo, z),
                                          _mm_cmpeq_epi16(lo, _mm_mullo_epi16(qLo, hundred)));
    const __m128i exHi = _mm_andnot_si128(_mm_cmpeq_epi16(hi, z),
                                          _mm_cmpeq_epi16(hi, _mm_mullo_epi16(qHi, hundred)));
    __m128i g = _mm_packus_epi16(qLo, qHi);
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(exLo, exHi)));
    if (mask) {
        const GreyTables& t = Tables();
        alignas(16) uint8_t tmp[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(tmp), g);
        do {
            const int k = __builtin_ctz(mask);
            const uint8_t* p = px + bpp * k;
            tmp[k] = GreyOf(t, p[0], p[1], p[2]);
            mask &= mask - 1;
        } while (mask);
        g = _mm_load_si128(reinterpret_cast<const __m128i*>(tmp));
    }
    return g;
}

// Grey (or, with binary, 0/255 against the threshold) written back over each pixel of a row
// in one pass; returns the pixels done.
__attribute__((target("ssse3"))) int GreyRowSsse3(uint8_t* p, int n, int bpp, bool binary,
                                                  uint8_t threshold) {
    const __m128i t = _mm_set1_epi8(static_cast<char>(threshold));
    int i = 0;
    if (bpp == 3) {
        // 48 bytes → four vectors of B,G,R,0 pixels.
        const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
        const __m128i m0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
        const __m128i m1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
        const __m128i m2 =
            _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
        for (; i + 16 <= n; i += 16) {
            uint8_t* s = p + 3 * i;
            const __m128i v0 = LoadU(s), v1 = LoadU(s + 16), v2 = LoadU(s + 32);
            const __m128i a = _mm_shuffle_epi8(v0, spread);
            const __m128i b = _mm_shuffle_epi8(_mm_alignr_epi8(v1, v0, 12), spread);
            const __m128i c = _mm_shuffle_epi8(_mm_alignr_epi8(v2, v1, 8), spread);
            const __m128i d = _mm_shuffle_epi8(_mm_srli_si128(v2, 4), spread);
            __m128i g = GreyOf16(WeighQuad(a), WeighQuad(b), WeighQuad(c), WeighQuad(d), s, 3);
            if (binary) g = _mm_cmpeq_epi8(_mm_max_epu8(g, t), g);
            StoreU(s, _mm_shuffle_epi8(g, m0));
            StoreU(s + 16, _mm_shuffle_epi8(g, m1));
            StoreU(s + 32, _mm_shuffle_epi8(g, m2));
        }
        return i;
    }
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i e0 = _mm_setr_epi8(0, 0, 0, -1, 1, 1, 1, -1, 2, 2, 2, -1, 3, 3, 3, -1);
    const __m128i e1 = _mm_setr_epi8(4, 4, 4, -1, 5, 5, 5, -1, 6, 6, 6, -1, 7, 7, 7, -1);
    const __m128i e2 = _mm_setr_epi8(8, 8, 8, -1, 9, 9, 9, -1, 10, 10, 10, -1, 11, 11, 11, -1);
    const __m128i e3 =
        _mm_setr_epi8(12, 12, 12, -1, 13, 13, 13, -1, 14, 14, 14, -1, 15, 15, 15, -1);
    for (; i + 16 <= n; i += 16) {
        uint8_t* s = p + 4 * i;
        const __m128i v0 = LoadU(s), v1 = LoadU(s + 16), v2 = LoadU(s + 32), v3 = LoadU(s + 48);
        __m128i g = GreyOf16(WeighQuad(v0), WeighQuad(v1), WeighQuad(v2), WeighQuad(v3), s, 4);
        if (binary) g = _mm_cmpeq_epi8(_mm_max_epu8(g, t), g);
        StoreU(s, _mm_or_si128(_mm_and_si128(v0, alpha), _mm_shuffle_epi8(g, e0)));
        StoreU(s + 16, _mm_or_si128(_mm_and_si128(v1, alpha), _mm_shuffle_epi8(g, e1)));
        StoreU(s + 32, _mm_or_si128(_mm_and_si128(v2, alpha), _mm_shuffle_epi8(g, e2)));
        StoreU(s + 48, _mm_or_si128(_mm_and_si128(v3, alpha), _mm_shuffle_epi8(g, e3)));
    }
    return i;
}

// The same pixel by pixel from the tables: tails, and processors without SSSE3.
void GreyRow(uint8_t* p, int n, int bpp, bool binary, uint8_t threshold) {
    const GreyTables& t = Tables();
    for (int i = HasSsse3() ? GreyRowSsse3(p, n, bpp, binary, threshold) : 0; i < n; ++i) {
        uint8_t* s = p + bpp * i;
        uint8_t g = GreyOf(t, s[0], s[1], s[2]);
        if (binary) g = g >= threshold ? 255 : 0;
        s[0] = s[1] = s[2] = g;
    }
}

// ---- flips ------------------------------------------------------------------------------

void SwapBytes(uint8_t* __restrict a, uint8_t* __restrict b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

// dst pixel x = src pixel n-1-x; dst has room for 16 bytes past the row.
__attribute__((target("ssse3"))) int Reverse24Ssse3(const uint8_t* s, uint8_t* d, int n) {
    // The load ends at the last byte of pixel n-1-x, so it never reads before the row.
    const __m128i mask = _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3, 0);
    int x = 0;
    for (; x + 6 <= n; x += 5) {
        const __m128i v =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * (n - 5 - x) - 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * x), _mm_shuffle_epi8(v, mask));
    }
    return x;
}

// ---- emboss and sharpen helpers ---------------------------------------------------------

// v - w + 128 when it fits a byte, else 255: it fits exactly when v - w fits a signed byte.
inline __m128i EmbossBytes(__m128i v, __m128i w) {
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i d = _mm_sub_epi8(v, w);
    const __m128i ds = _mm_subs_epi8(_mm_xor_si128(v, bias), _mm_xor_si128(w, bias));
    const __m128i bad = _mm_xor_si128(_mm_cmpeq_epi8(d, ds), _mm_set1_epi8(-1));
    return _mm_or_si128(_mm_xor_si128(d, bias), bad);
}

inline uint8_t EmbossByte(unsigned v, unsigned w) {
    const unsigned r = v - w + 128;  // unsigned: a negative result is large as well
    return static_cast<uint8_t>(r > 255 ? 255 : r);
}

inline __m128i Sharpen16(__m128i c, __m128i u, __m128i d, __m128i l, __m128i r) {
    const __m128i five = _mm_add_epi16(_mm_slli_epi16(c, 2), c);
    return _mm_sub_epi16(five, _mm_add_epi16(_mm_add_epi16(u, d), _mm_add_epi16(l, r)));
}

// Keeps the original alpha bytes of 32-bit pixels.
inline __m128i KeepAlpha(__m128i result, __m128i original, int bpp) {
    if (bpp == 3) return result;
    const __m128i a = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    return _mm_or_si128(_mm_andnot_si128(a, result), _mm_and_si128(a, original));
}

}  // namespace

// ---- atomics ----------------------------------------------------------------------------

ProcessFlags AtomicProcessFlags::Snapshot() const {
    ProcessFlags f;
    f.bProcessEnable = bProcessEnable.load(std::memory_order_relaxed);
    f.bFlipVertical = bFlipVertical.load(std::memory_order_relaxed);
    f.bFlipHorizontal = bFlipHorizontal.load(std::memory_order_relaxed);
    f.bGray = bGray.load(std::memory_order_relaxed);
    f.bNegative = bNegative.load(std::memory_order_relaxed);
    f.bBinary = bBinary.load(std::memory_order_relaxed);
    f.bEmboss = bEmboss.load(std::memory_order_relaxed);
    f.bSharpen = bSharpen.load(std::memory_order_relaxed);
    f.bRgbGain = bRgbGain.load(std::memory_order_relaxed);
    f.nBinaryThreshold = nBinaryThreshold.load(std::memory_order_relaxed);
    f.nGainRed = nGainRed.load(std::memory_order_relaxed);
    f.nGainGreen = nGainGreen.load(std::memory_order_relaxed);
    f.nGainBlue = nGainBlue.load(std::memory_order_relaxed);
    return f;
}

void AtomicProcessFlags::Store(const ProcessFlags& f) {
    bProcessEnable = f.bProcessEnable;
    bFlipVertical = f.bFlipVertical;
    bFlipHorizontal = f.bFlipHorizontal;
    bGray = f.bGray;
    bNegative = f.bNegative;
    bBinary = f.bBinary;
    bEmboss = f.bEmboss;
    bSharpen = f.bSharpen;
    bRgbGain = f.bRgbGain;
    nBinaryThreshold = f.nBinaryThreshold;
    nGainRed = f.nGainRed;
    nGainGreen = f.nGainGreen;
    nGainBlue = f.nGainBlue;
}

// ---- kernels ----------------------------------------------------------------------------

int ProcRowStride(int nWidth, int nBits) {
    return static_cast<int>((static_cast<int64_t>(nWidth) * nBits + 31) / 32 * 4);
}

int ProcFlipVertical(uint8_t* pBits, int nWidth, int nHeight, int nBits) {
    if (BadBlock(pBits, nWidth, nHeight)) return -1;
    if (!Handled(nBits)) return 0;
    const size_t stride = static_cast<size_t>(ProcRowStride(nWidth, nBits));
    for (int top = 0, bottom = nHeight - 1; top < bottom; ++top, --bottom)
        SwapBytes(pBits + top * stride, pBits + bottom * stride, stride);
    return 0;
}

int ProcFlipHorizontal(uint8_t* pBits, int nWidth, int nHeight, int nBits) {
    if (BadBlock(pBits, nWidth, nHeight)) return -1;
    if (!Handled(nBits)) return 0;
    const int stride = ProcRowStride(nWidth, nBits);
    const int n = nWidth;
    uint8_t* tmp = Scratch(0, static_cast<size_t>(stride));
    const bool ssse3 = HasSsse3();
    for (int y = 0; y < nHeight; ++y) {
        uint8_t* row = pBits + static_cast<size_t>(y) * stride;
        if (nBits == 24) {
            int x = ssse3 ? Reverse24Ssse3(row, tmp, n) : 0;
            for (; x < n; ++x) std::memcpy(tmp + 3 * x, row + 3 * (n - 1 - x), 3);
            std::memcpy(row, tmp, 3 * static_cast<size_t>(n));
            std::memset(row + 3 * n, 0, static_cast<size_t>(stride - 3 * n));
        } else {
            // Colours move, each pixel's alpha stays where it is. In place, four pixels from
            // each end at a time, then the middle pixel by pixel.
            const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
            int x = 0;
            for (; 2 * x + 8 <= n; x += 4) {
                uint8_t* left = row + 4 * x;
                uint8_t* right = row + 4 * (n - 4 - x);
                const __m128i l = LoadU(left), r = LoadU(right);
                const __m128i lr = _mm_shuffle_epi32(l, 0x1B), rr = _mm_shuffle_epi32(r, 0x1B);
                StoreU(left, _mm_or_si128(_mm_and_si128(rr, colour), _mm_andnot_si128(colour, l)));
                StoreU(right, _mm_or_si128(_mm_and_si128(lr, colour), _mm_andnot_si128(colour, r)));
            }
            for (; 2 * x + 1 < n; ++x) {
                uint8_t t[3];
                std::memcpy(t, row + 4 * x, 3);
                std::memcpy(row + 4 * x, row + 4 * (n - 1 - x), 3);
                std::memcpy(row + 4 * (n - 1 - x), t, 3);
            }
        }
    }
    return 0;
}

int ProcNegative(uint8_t* pBits, int nWidth, int nHeight, int nBits) {
    if (BadBlock(pBits, nWidth, nHeight)) return -1;
    if (!Handled(nBits)) return 0;
    const size_t stride = static_cast<size_t>(ProcRowStride(nWidth, nBits));
    if (nBits == 32) {
        const size_t count = static_cast<size_t>(nWidth) * nHeight;
        for (size_t i = 0; i < count; ++i) {
            uint32_t v;
            std::memcpy(&v, pBits + 4 * i, 4);
            v ^= 0x00FFFFFFu;
            std::memcpy(pBits + 4 * i, &v, 4);
        }
        return 0;
    }
    const size_t rowBytes = 3 * static_cast<size_t>(nWidth);
    // Without padding the block is one run; otherwise padding bytes are skipped row by row.
    const size_t runs = rowBytes == stride ? 1 : static_cast<size_t>(nHeight);
    const size_t runBytes = rowBytes == stride ? stride * nHeight : rowBytes;
    for (size_t r = 0; r < runs; ++r) {
        uint8_t* __restrict p = pBits + r * stride;
        for (size_t i = 0; i < runBytes; ++i) p[i] = static_cast<uint8_t>(~p[i]);
    }
    return 0;
}

int ProcGray(uint8_t* pBits, int nWidth, int nHeight, int nBits) {
    if (BadBlock(pBits, nWidth, nHeight)) return -1;
    if (!Handled(nBits)) return 0;
    const size_t stride = static_cast<size_t>(ProcRowStride(nWidth, nBits));
    for (int y = 0; y < nHeight; ++y) GreyRow(pBits + y * stride, nWidth, nBits / 8, false, 0);
    return 0;
}

int ProcBinary(uint8_t* pBits, int nWidth, int nHeight, int nBits, int nThreshold) {
    if (BadBlock(pBits, nWidth, nHeight)) return -1;
    if (!Handled(nBits)) return 0;
    const size_t stride = static_cast<size_t>(ProcRowStride(nWidth, nBits));
    const int bpp = nBits / 8;
    // Compared unsigned: a threshold outside 0..255 (negative ones too) leaves no grey above it.
    const unsigned t = static_cast<unsigned>(nThreshold);
    for (int y = 0; y < nHeight; ++y) {
        uint8_t* row = pBits + y * stride;
        if (t > 255) {
            for (int x = 0; x < nWidth; ++x) std::memset(row + bpp * x, 0, 3);
        } else {
            GreyRow(row, nWidth, bpp, true, static_cast<uint8_t>(t));
        }
    }
    return 0;
}

int ProcEmboss(uint8_t* pBits, int nWidth, int nHeight, int nBits) {
    if (BadBlock(pBits, nWidth, nHeight)) return -1;
    if (!Handled(nBits)) return 0;
    const size_t stride = static_cast<size_t>(ProcRowStride(nWidth, nBits));
    const int bpp = nBits / 8;
    const int bytes = (nWidth - 1) * bpp;  // every pixel but the last column
    // Row y reads row y + 1, which is written only after it: in place is safe.
    for (int y = 0; y + 1 < nHeight; ++y) {
        uint8_t* row = pBits + y * stride;
        const uint8_t* next = row + stride + bpp;
        int i = 0;
        for (; i + 16 <= bytes; i += 16) {
            const __m128i v = LoadU(row + i);
            StoreU(row + i, KeepAlpha(EmbossBytes(v, LoadU(next + i)), v, bpp));
        }
        for (; i < bytes; ++i)
            if (bpp == 3 || (i & 3) != 3) row[i] = EmbossByte(row[i], next[i]);
        std::memset(row + bytes, 128, 3);
    }
    std::memset(pBits + (nHeight - 1) * stride, 128, stride);
    return 0;
}

int ProcSharpen(uint8_t* pBits, int nWidth, int nHeight, int nBits) {
    if (BadBlock(pBits, nWidth, nHeight)) return -1;
    if (!Handled(nBits)) return 0;
    if (nWidth < 3 || nHeight < 3) return 0;  // all border
    const size_t stride = static_cast<size_t>(ProcRowStride(nWidth, nBits));
    const int bpp = nBits / 8;
    // Originals of the row above (already overwritten in place) and of the row itself.
    uint8_t* prev = Scratch(1, stride);
    uint8_t* cur = Scratch(2, stride);
    std::memcpy(prev, pBits, stride);
    const int end = (nWidth - 1) * bpp;
    const __m128i z = _mm_setzero_si128();
    for (int y = 1; y + 1 < nHeight; ++y) {
        uint8_t* row = pBits + y * stride;
        const uint8_t* next = row + stride;
        std::memcpy(cur, row, stride);
        int i = bpp;
        for (; i + 16 <= end; i += 16) {
            const __m128i c = LoadU(cur + i), u = LoadU(prev + i), d = LoadU(next + i);
            const __m128i l = LoadU(cur + i - bpp), r = LoadU(cur + i + bpp);
            const __m128i lo =
                Sharpen16(_mm_unpacklo_epi8(c, z), _mm_unpacklo_epi8(u, z), _mm_unpacklo_epi8(d, z),
                          _mm_unpacklo_epi8(l, z), _mm_unpacklo_epi8(r, z));
            const __m128i hi =
                Sharpen16(_mm_unpackhi_epi8(c, z), _mm_unpackhi_epi8(u, z), _mm_unpackhi_epi8(d, z),
                          _mm_unpackhi_epi8(l, z), _mm_unpackhi_epi8(r, z));
            StoreU(row + i, KeepAlpha(_mm_packus_epi16(lo, hi), c, bpp));
        }
        for (; i < end; ++i) {
            if (bpp == 4 && (i & 3) == 3) continue;
            const int v = 5 * cur[i] - (prev[i] + next[i] + cur[i - bpp] + cur[i + bpp]);
            row[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
        }
        std::swap(prev, cur);
    }
    return 0;
}

int ProcRgbOffset(uint8_t* pBits, int nWidth, int nHeight, int nBits, int nRed, int nGreen,
                  int nBlue) {
    if (BadBlock(pBits, nWidth, nHeight)) return -1;
    if (nRed == 0 && nGreen == 0 && nBlue == 0) return -1;
    if (!Handled(nBits)) return 0;
    const size_t stride = static_cast<size_t>(ProcRowStride(nWidth, nBits));
    const int bpp = nBits / 8;
    // Per channel: add the positive part, subtract the negative part, both saturating.
    uint8_t up[4] = {}, down[4] = {};
    const int offsets[3] = {nBlue, nGreen, nRed};
    for (int c = 0; c < 3; ++c) {
        const int o = std::clamp(offsets[c], -255, 255);
        up[c] = static_cast<uint8_t>(std::max(o, 0));
        down[c] = static_cast<uint8_t>(std::max(-o, 0));
    }
    // One period of the pattern is 48 bytes (16 pixels of 3 or 12 of 4).
    alignas(16) uint8_t upPat[48], downPat[48];
    for (int i = 0; i < 48; ++i) {
        upPat[i] = up[i % bpp];
        downPat[i] = down[i % bpp];
    }
    __m128i u[3], d[3];
    for (int k = 0; k < 3; ++k) {
        u[k] = LoadU(upPat + 16 * k);
        d[k] = LoadU(downPat + 16 * k);
    }
    const int bytes = nWidth * bpp;
    for (int y = 0; y < nHeight; ++y) {
        uint8_t* row = pBits + y * stride;
        int i = 0;
        for (; i + 48 <= bytes; i += 48)
            for (int k = 0; k < 3; ++k) {
                uint8_t* p = row + i + 16 * k;
                StoreU(p, _mm_subs_epu8(_mm_adds_epu8(LoadU(p), u[k]), d[k]));
            }
        for (; i < bytes; ++i) {
            const int c = i % bpp;
            row[i] = static_cast<uint8_t>(std::clamp(row[i] + up[c] - down[c], 0, 255));
        }
    }
    return 0;
}

// ---- chains -----------------------------------------------------------------------------

void RunLiveChain(uint8_t* pBits, int nWidth, int nHeight, int nBits, const ProcessFlags& f) {
    if (!f.bProcessEnable) return;
    if (f.bFlipVertical) ProcFlipVertical(pBits, nWidth, nHeight, nBits);
    if (f.bFlipHorizontal) ProcFlipHorizontal(pBits, nWidth, nHeight, nBits);
    if (f.bNegative) ProcNegative(pBits, nWidth, nHeight, nBits);
    if (f.bGray) ProcGray(pBits, nWidth, nHeight, nBits);
    if (f.bEmboss) ProcEmboss(pBits, nWidth, nHeight, nBits);
    if (f.bSharpen) ProcSharpen(pBits, nWidth, nHeight, nBits);
    if (f.bRgbGain)
        ProcRgbOffset(pBits, nWidth, nHeight, nBits, f.nGainRed, f.nGainGreen, f.nGainBlue);
    if (f.bBinary) ProcBinary(pBits, nWidth, nHeight, nBits, f.nBinaryThreshold);
}

void RunStillChain(uint8_t* pBits, int nWidth, int nHeight, int nBits, const ProcessFlags& f) {
    if (f.bFlipVertical) ProcFlipVertical(pBits, nWidth, nHeight, nBits);
    if (f.bFlipHorizontal) ProcFlipHorizontal(pBits, nWidth, nHeight, nBits);
    if (f.bGray) ProcGray(pBits, nWidth, nHeight, nBits);
    if (f.bNegative) ProcNegative(pBits, nWidth, nHeight, nBits);
    if (f.bBinary) ProcBinary(pBits, nWidth, nHeight, nBits, f.nBinaryThreshold);
    if (f.bEmboss) ProcEmboss(pBits, nWidth, nHeight, nBits);
    if (f.bSharpen) ProcSharpen(pBits, nWidth, nHeight, nBits);
    if (f.bRgbGain)
        ProcRgbOffset(pBits, nWidth, nHeight, nBits, f.nGainRed, f.nGainGreen, f.nGainBlue);
}

void RunLiveChain(FCObjImage& img, const ProcessFlags& f) {
    RunLiveChain(img.GetMemStart(), img.Width(), img.Height(), img.ColorBits(), f);
}

void RunStillChain(FCObjImage& img, const ProcessFlags& f) {
    RunStillChain(img.GetMemStart(), img.Width(), img.Height(), img.ColorBits(), f);
}
