#include "camera/sim/sim_sensor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr int kT = SpecimenTile::kSize;
constexpr int kNoiseTable = 1 << 17;
// Sensor model: full well and read noise in electrons at unit gain, and the signal fraction
// of full scale that clear glass reaches at the reference exposure.
constexpr double kFullWell = 4000;
constexpr double kReadNoise = 4;
constexpr double kReferenceExposureUs = 10000;
constexpr double kGlassFraction = 0.85;
// Defocus: sigma grows with distance from the focal plane, up to a limit that keeps the
// coarsest level needed small.
constexpr double kBlurUnitsPerMicron = 1.2;
constexpr double kMaxBlurUnits = 16;
// The blurs a thick section is rendered from (tile blur steps); a pixel between two of them
// blends their samples. Depth is looked up on a grid of this many output pixels.
constexpr int kDepthSteps[] = {0, 2, 4, 6, 8, 10, 12, 15};
constexpr int kDepthLayers = static_cast<int>(sizeof(kDepthSteps) / sizeof(kDepthSteps[0]));
constexpr int kDepthGrid = 32;

// The fractional layer index of a blur step (0 .. kDepthLayers - 1).
float DepthLayerOf(double step) {
    step = std::clamp(step, 0.0, static_cast<double>(kDepthSteps[kDepthLayers - 1]));
    int k = 0;
    while (k + 2 < kDepthLayers && step > kDepthSteps[k + 1]) ++k;
    return static_cast<float>(k + (step - kDepthSteps[k]) / (kDepthSteps[k + 1] - kDepthSteps[k]));
}

inline uint64_t Mix(uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

inline int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Standard normal samples, the same in every run.
const float* NoiseTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t(kNoiseTable);
        uint64_t s = 0x5EED0F5EED0F5EEDull;
        for (int i = 0; i < kNoiseTable; i += 2) {
            s = Mix(s);
            const double u1 = (static_cast<double>(s >> 11) + 1.0) * 0x1.0p-53;
            s = Mix(s);
            const double u2 = static_cast<double>(s >> 11) * 0x1.0p-53;
            const double r = std::sqrt(-2.0 * std::log(u1));
            t[i] = static_cast<float>(r * std::cos(2 * M_PI * u2));
            t[i + 1] = static_cast<float>(r * std::sin(2 * M_PI * u2));
        }
        return t;
    }();
    return table.data();
}

bool Finite(double v) {
    return std::isfinite(v);
}

bool InRange(double v, double lo, double hi) {
    return Finite(v) && v >= lo && v <= hi;
}

FCRect EffectiveRoi(const SimSensorSettings& s) {
    if (s.roi.Width() == 0 && s.roi.Height() == 0 && s.roi.left == 0 && s.roi.top == 0)
        return {0, 0, s.sensorWidth, s.sensorHeight};
    return s.roi;
}

void Interleave24Plain(const uint8_t* b, const uint8_t* g, const uint8_t* r, uint8_t* d, int from,
                       int W) {
    for (int x = from; x < W; ++x) {
        d[3 * x] = b[x];
        d[3 * x + 1] = g[x];
        d[3 * x + 2] = r[x];
    }
}

#if defined(__x86_64__)
// Byte shuffles that spread 16 pixels of three planes over 48 packed bytes.
struct InterleaveMasks {
    alignas(16) int8_t m[3][3][16];  // [output block][plane][byte]
    constexpr InterleaveMasks() : m{} {
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 16; ++j) {
                const int p = 16 * k + j;
                for (int c = 0; c < 3; ++c)
                    m[k][c][j] = (p % 3 == c) ? static_cast<int8_t>(p / 3) : -128;
            }
    }
};
constexpr InterleaveMasks kMasks;

__attribute__((target("ssse3"))) void Interleave24Ssse3(const uint8_t* b, const uint8_t* g,
                                                        const uint8_t* r, uint8_t* d, int W) {
    int x = 0;
    for (; x + 16 <= W; x += 16) {
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        const __m128i vg = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + x));
        const __m128i vr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + x));
        for (int k = 0; k < 3; ++k) {
            const __m128i* mk = reinterpret_cast<const __m128i*>(kMasks.m[k]);
            const __m128i o =
                _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(vb, _mm_load_si128(mk)),
                                          _mm_shuffle_epi8(vg, _mm_load_si128(mk + 1))),
                             _mm_shuffle_epi8(vr, _mm_load_si128(mk + 2)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * x + 16 * k), o);
        }
    }
    Interleave24Plain(b, g, r, d, x, W);
}
#endif

// Planes to packed B,G,R bytes: the one step GCC does not vectorise by itself.
void Interleave24(const uint8_t* b, const uint8_t* g, const uint8_t* r, uint8_t* d, int W) {
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) return Interleave24Ssse3(b, g, r, d, W);
#endif
    Interleave24Plain(b, g, r, d, 0, W);
}

// Row kernels: plain loops GCC vectorises, built twice (AVX2 and baseline) and picked at load.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define NS_ROW_KERNEL __attribute__((target_clones("avx2", "default"))) __attribute__((noinline))
#else
#define NS_ROW_KERNEL
#endif

NS_ROW_KERNEL void SampleShift(const uint8_t* __restrict a, const uint8_t* __restrict b,
                               float* __restrict t, int W, float fx, float fy) {
    const float w00 = (1 - fx) * (1 - fy), w01 = fx * (1 - fy);
    const float w10 = (1 - fx) * fy, w11 = fx * fy;
    for (int x = 0; x < W; ++x) t[x] = w00 * a[x] + w01 * a[x + 1] + w10 * b[x] + w11 * b[x + 1];
}

NS_ROW_KERNEL void LerpRows(const uint8_t* __restrict a, const uint8_t* __restrict b,
                            float* __restrict v, int n, float fy) {
    for (int i = 0; i < n; ++i) v[i] = a[i] + (b[i] - a[i]) * fy;
}

NS_ROW_KERNEL void SampleGather(const float* __restrict v, const int32_t* __restrict xi,
                                const float* __restrict xw, float* __restrict t, int W) {
    for (int x = 0; x < W; ++x) {
        const float p = v[xi[x]];
        t[x] = p + (v[xi[x] + 1] - p) * xw[x];
    }
}

// Sensor levels to table indices (4 per level), with shot and read noise when n is given.
NS_ROW_KERNEL void Expose(const float* __restrict t, const float* __restrict n,
                          int32_t* __restrict ix, int W, float k, float na, float nb) {
    constexpr float kTop = (CSimIsp::kLevels - 1) / 4.f;
    if (n) {
        for (int x = 0; x < W; ++x) {
            float e = t[x] * k;
            e += std::sqrt(na * e + nb) * n[x];
            e = std::min(std::max(e, 0.f), kTop);
            ix[x] = static_cast<int32_t>(e * 4.f + 0.5f);
        }
    } else {
        for (int x = 0; x < W; ++x) {
            const float e = std::min(t[x] * k, kTop);
            ix[x] = static_cast<int32_t>(e * 4.f + 0.5f);
        }
    }
}

NS_ROW_KERNEL void Lookup(const float* __restrict lut, const int32_t* __restrict ix,
                          float* __restrict d, int W) {
    for (int x = 0; x < W; ++x) d[x] = lut[ix[x]];
}

NS_ROW_KERNEL void Mix3(float* __restrict b, float* __restrict g, float* __restrict r,
                        const float (*M)[3], int W) {
    const float m00 = M[0][0], m01 = M[0][1], m02 = M[0][2], m10 = M[1][0], m11 = M[1][1],
                m12 = M[1][2], m20 = M[2][0], m21 = M[2][1], m22 = M[2][2];
    for (int x = 0; x < W; ++x) {
        const float vb = b[x], vg = g[x], vr = r[x];
        b[x] = m00 * vb + m01 * vg + m02 * vr;
        g[x] = m10 * vb + m11 * vg + m12 * vr;
        r[x] = m20 * vb + m21 * vg + m22 * vr;
    }
}

// Unsharp mask on a cross: the row's own neighbours and the rows above and below.
NS_ROW_KERNEL void Sharpen(const float* __restrict p, const float* __restrict m,
                           const float* __restrict n, float* __restrict f, int W, float k) {
    const float centre = 1.f + 4.f * k;
    f[0] = centre * m[0] - k * (p[0] + n[0] + m[0] + m[1]);
    for (int x = 1; x < W - 1; ++x) f[x] = centre * m[x] - k * (p[x] + n[x] + m[x - 1] + m[x + 1]);
    f[W - 1] = centre * m[W - 1] - k * (p[W - 1] + n[W - 1] + m[W - 2] + m[W - 1]);
}

NS_ROW_KERNEL void ToBytes(const float* __restrict m, uint8_t* __restrict d, int W) {
    for (int x = 0; x < W; ++x) {
        const float v = std::min(std::max(m[x], 0.f), 255.f) + 0.5f;
        d[x] = static_cast<uint8_t>(static_cast<int32_t>(v));
    }
}

NS_ROW_KERNEL void Pack32(const uint8_t* __restrict b, const uint8_t* __restrict g,
                          const uint8_t* __restrict r, uint32_t* __restrict d, int W) {
    for (int x = 0; x < W; ++x)
        d[x] = b[x] | (uint32_t{g[x]} << 8) | (uint32_t{r[x]} << 16) | 0xFF000000u;
}

}  // namespace

bool SimSensorSettings::IsValid() const {
    auto side = [](int v) { return v >= 2 && v <= kMaxSide; };
    if (!side(sensorWidth) || !side(sensorHeight) || !side(width) || !side(height)) return false;
    const FCRect r = EffectiveRoi(*this);
    if (r.left < 0 || r.top < 0 || r.right > sensorWidth || r.bottom > sensorHeight ||
        r.Width() < 1 || r.Height() < 1)
        return false;
    if (!InRange(unitsPerPixel, 1e-3, 64)) return false;
    // The coarsest cached level bounds how coarse an output pixel may be.
    const auto upo = CSimSensor::UnitsPerOutputPixel(*this);
    if (upo[0] > (1 << CVirtualSpecimen::kMaxLevel) || upo[1] > (1 << CVirtualSpecimen::kMaxLevel))
        return false;
    if (!InRange(exposureUs, 1, 1e8) || !InRange(analogGain, 1, 64)) return false;
    if (!InRange(wbRed, 0, 16) || !InRange(wbGreen, 0, 16) || !InRange(wbBlue, 0, 16)) return false;
    if (!InRange(lampKelvin, 1000, 40000) || !InRange(gamma, 0.05, 10)) return false;
    if (!InRange(contrast, 0, 10) || !InRange(brightness, -1, 1)) return false;
    if (!InRange(saturation, 0, 10) || !InRange(hueDegrees, -1e6, 1e6)) return false;
    if (!InRange(sharpness, 0, 10) || !InRange(flickerDepth, 0, 1)) return false;
    if (mainsHz != 0 && mainsHz != 50 && mainsHz != 60) return false;
    if (frameSpeed < 0 || frameSpeed > 3 || faults.dropEvery < 0) return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// ISP

struct CSimIsp::Impl {
    int width = 0, height = 0, bits = 24;
    FCObjImage* out = nullptr;
    std::array<std::vector<float>, 3> lut;  // per plane (B, G, R)
    float mat[3][3] = {};
    bool identity = true;
    float sharp = 0;
    // Three rows of three planes for the sharpening neighbourhood.
    std::array<std::array<std::vector<float>, 3>, 3> rows;
    std::array<std::vector<uint8_t>, 3> q;
    std::vector<float> tmp;
    int pushed = 0;
    // Demosaic scratch.
    std::array<std::vector<int32_t>, 3> idx;
    std::array<std::vector<uint8_t>, 3> pad;

    void Configure(const SimSensorSettings& s);
    void Emit(int y, const std::array<std::vector<float>, 3>& prev,
              const std::array<std::vector<float>, 3>& cur,
              const std::array<std::vector<float>, 3>& next);
};

void CSimIsp::Impl::Configure(const SimSensorSettings& s) {
    const double wb[3] = {s.wbBlue, s.wbGreen, s.wbRed};
    for (int c = 0; c < 3; ++c) {
        lut[c].resize(kLevels);
        for (int i = 0; i < kLevels; ++i) {
            const double w = std::clamp(wb[c] * (i / 4.0) / 255.0, 0.0, 1.0);
            const double g = std::pow(w, 1.0 / s.gamma);
            const double v = 0.5 + (g - 0.5) * s.contrast + s.brightness;
            lut[c][i] = static_cast<float>(std::clamp(v, 0.0, 1.0) * 255.0);
        }
    }
    // Saturation and hue rotation about the grey axis, in R, G, B order, then reordered to the
    // planes' B, G, R.
    const double h = s.hueDegrees * M_PI / 180.0, cs = std::cos(h), sn = std::sin(h);
    const double hue[3][3] = {{0.213 + cs * 0.787 - sn * 0.213, 0.715 - cs * 0.715 - sn * 0.715,
                               0.072 - cs * 0.072 + sn * 0.928},
                              {0.213 - cs * 0.213 + sn * 0.143, 0.715 + cs * 0.285 + sn * 0.140,
                               0.072 - cs * 0.072 - sn * 0.283},
                              {0.213 - cs * 0.213 - sn * 0.787, 0.715 - cs * 0.715 + sn * 0.715,
                               0.072 + cs * 0.928 + sn * 0.072}};
    const double k = s.saturation;
    const double sat[3][3] = {{0.213 + 0.787 * k, 0.715 - 0.715 * k, 0.072 - 0.072 * k},
                              {0.213 - 0.213 * k, 0.715 + 0.285 * k, 0.072 - 0.072 * k},
                              {0.213 - 0.213 * k, 0.715 - 0.715 * k, 0.072 + 0.928 * k}};
    identity = true;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double m = 0;
            for (int t = 0; t < 3; ++t) m += sat[i][t] * hue[t][j];
            mat[2 - i][2 - j] = static_cast<float>(m);
            if (std::fabs(m - (i == j ? 1.0 : 0.0)) > 1e-6) identity = false;
        }
    sharp = static_cast<float>(s.sharpness);
}

void CSimIsp::Impl::Emit(int y, const std::array<std::vector<float>, 3>& prev,
                         const std::array<std::vector<float>, 3>& cur,
                         const std::array<std::vector<float>, 3>& next) {
    const int W = width;
    for (int c = 0; c < 3; ++c) {
        const float* m = cur[c].data();
        if (sharp > 0.f) {
            Sharpen(prev[c].data(), m, next[c].data(), tmp.data(), W, sharp);
            m = tmp.data();
        }
        ToBytes(m, q[c].data(), W);
    }
    uint8_t* row = out->GetRow(y);
    const uint8_t* b = q[0].data();
    const uint8_t* g = q[1].data();
    const uint8_t* r = q[2].data();
    if (bits == 32) {
        Pack32(b, g, r, reinterpret_cast<uint32_t*>(row), W);
    } else {
        Interleave24(b, g, r, row, W);
    }
}

CSimIsp::CSimIsp() : m(std::make_unique<Impl>()) {}
CSimIsp::~CSimIsp() = default;

bool CSimIsp::Begin(const SimSensorSettings& s, FCObjImage* out, int bits) {
    if (!out || (bits != 24 && bits != 32) || !s.IsValid()) return false;
    const int W = s.width, H = s.height;
    if (out->Width() != W || out->Height() != H || out->ColorBits() != bits) {
        if (!out->AllocateForOverwrite(W, H, bits)) return false;
        out->ZeroRowPadding();
    }
    m->width = W;
    m->height = H;
    m->bits = bits;
    m->out = out;
    m->Configure(s);
    for (auto& r : m->rows)
        for (auto& p : r) p.resize(W);
    for (auto& p : m->q) p.resize(W);
    m->tmp.resize(W);
    m->pushed = 0;
    return true;
}

void CSimIsp::PushRow(const int32_t* const idx[3]) {
    Impl& I = *m;
    const int W = I.width;
    auto& slot = I.rows[I.pushed % 3];
    for (int c = 0; c < 3; ++c) Lookup(I.lut[c].data(), idx[c], slot[c].data(), W);
    if (!I.identity) Mix3(slot[0].data(), slot[1].data(), slot[2].data(), I.mat, W);
    const int n = ++I.pushed;
    if (I.sharp <= 0.f) {
        I.Emit(n - 1, slot, slot, slot);
    } else if (n >= 2) {
        // Row n-2 now has both neighbours (the first row repeats itself above).
        const int y = n - 2;
        const auto& prev = I.rows[(y == 0 ? 0 : y - 1) % 3];
        I.Emit(y, prev, I.rows[y % 3], I.rows[(y + 1) % 3]);
    }
}

void CSimIsp::Finish() {
    Impl& I = *m;
    if (I.sharp > 0.f && I.pushed >= 1) {
        const int y = I.pushed - 1;
        const auto& prev = I.rows[(y == 0 ? 0 : y - 1) % 3];
        I.Emit(y, prev, I.rows[y % 3], I.rows[y % 3]);
    }
    I.out = nullptr;
}

bool CSimIsp::Process(const SimRawFrame& raw, const SimSensorSettings& settings, FCObjImage* out,
                      int bits) {
    const int W = raw.width, H = raw.height;
    if (W < 2 || H < 2 || W > SimSensorSettings::kMaxSide || H > SimSensorSettings::kMaxSide ||
        raw.pixels.size() != static_cast<size_t>(W) * H)
        return false;
    SimSensorSettings s = settings;
    s.width = W;
    s.height = H;
    // The raw frame's own size decides the output; the optical part does not matter here.
    if (s.sensorWidth < W || s.sensorHeight < H || !s.IsValid()) {
        s.sensorWidth = W;
        s.sensorHeight = H;
        s.roi = {};
        s.unitsPerPixel = 1;
    }
    if (!Begin(s, out, bits)) return false;
    Impl& I = *m;
    for (auto& v : I.idx) v.resize(W);
    for (auto& v : I.pad) v.resize(W + 2);
    // Rows padded by mirroring, which keeps the colour of each site.
    auto padded = [&](int y, std::vector<uint8_t>& p) {
        y = y < 0 ? 1 : (y >= H ? H - 2 : y);
        const uint8_t* src = raw.pixels.data() + static_cast<size_t>(y) * W;
        std::memcpy(p.data() + 1, src, W);
        p[0] = src[1];
        p[W + 1] = src[W - 2];
    };
    for (int y = 0; y < H; ++y) {
        padded(y - 1, I.pad[0]);
        padded(y, I.pad[1]);
        padded(y + 1, I.pad[2]);
        const uint8_t* u = I.pad[0].data() + 1;
        const uint8_t* c = I.pad[1].data() + 1;
        const uint8_t* d = I.pad[2].data() + 1;
        int32_t* B = I.idx[0].data();
        int32_t* G = I.idx[1].data();
        int32_t* R = I.idx[2].data();
        const bool redRow = (y & 1) == 0;
        for (int x = 0; x < W; ++x) {
            // Sums scaled to table indices (4 per level): one site x4, two x2, four x1.
            const int cross = u[x] + d[x] + c[x - 1] + c[x + 1];
            const int diag = u[x - 1] + u[x + 1] + d[x - 1] + d[x + 1];
            const int horiz = 2 * (c[x - 1] + c[x + 1]), vert = 2 * (u[x] + d[x]);
            const bool evenX = (x & 1) == 0;
            int r, g, b;
            if (redRow && evenX) {
                r = 4 * c[x], g = cross, b = diag;
            } else if (redRow) {
                g = 4 * c[x], r = horiz, b = vert;
            } else if (evenX) {
                g = 4 * c[x], r = vert, b = horiz;
            } else {
                b = 4 * c[x], g = cross, r = diag;
            }
            R[x] = std::min(r, kLevels - 1);
            G[x] = std::min(g, kLevels - 1);
            B[x] = std::min(b, kLevels - 1);
        }
        const int32_t* planes[3] = {B, G, R};
        PushRow(planes);
    }
    Finish();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Sensor

struct CSimSensor::Scratch {
    // One blur of the specimen a frame samples: its tiles and the two assembled tile rows.
    struct Layer {
        int blurStep = 0;
        std::vector<std::shared_ptr<const SpecimenTile>> tiles;
        std::array<std::vector<uint8_t>, 3> lineA, lineB;
        int64_t rowA = INT64_MIN, rowB = INT64_MIN;
        std::array<std::vector<float>, 3> t;  // the current row, sampled
    };
    // One layer for a flat specimen; several for a thick section, blended per pixel.
    std::vector<Layer> layers;
    int usedLayers = 0;
    std::vector<float> depthGrid;  // layer position (fractional) at grid points of the frame
    std::vector<float> depthRow;   // the same per pixel of the current row
    std::vector<float> vert;
    std::array<std::vector<float>, 3> t;
    std::array<std::vector<int32_t>, 3> idx;
    std::vector<int32_t> xi;
    std::vector<float> xw;
};

CSimSensor::CSimSensor(std::shared_ptr<CVirtualSpecimen> specimen)
    : m_specimen(std::move(specimen)), m_scratch(std::make_unique<Scratch>()) {}

CSimSensor::~CSimSensor() = default;

bool CSimSensor::SetSettings(const SimSensorSettings& s) {
    if (!s.IsValid()) return false;
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings = s;
    return true;
}

SimSensorSettings CSimSensor::Settings() const {
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    return m_settings;
}

uint64_t CSimSensor::NextFrameIndex() const {
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    return m_nextFrame;
}

void CSimSensor::SetNextFrameIndex(uint64_t n) {
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_nextFrame = n;
}

SimFrameStatus CSimSensor::FrameStatus(uint64_t n) const {
    const SimFaults f = Settings().faults;
    if (f.removed) return SimFrameStatus::Removed;
    if (f.stallAfter >= 0 && n >= static_cast<uint64_t>(f.stallAfter)) return SimFrameStatus::Stall;
    if (f.dropEvery > 0 && (n + 1) % static_cast<uint64_t>(f.dropEvery) == 0)
        return SimFrameStatus::Drop;
    return SimFrameStatus::Deliver;
}

double CSimSensor::FrameIntervalSeconds() const {
    const SimSensorSettings s = Settings();
    static constexpr double kPixelRate[4] = {192e6, 96e6, 48e6, 24e6};
    const double readout = static_cast<double>(s.width) * s.height / kPixelRate[s.frameSpeed];
    return std::max(readout, s.exposureUs * 1e-6);
}

double CSimSensor::FlickerFactor(int mainsHz, double depth, double tSeconds, double exposureUs) {
    if (mainsHz <= 0 || depth <= 0) return 1.0;
    // Lamp brightness 1 + depth*cos(w t) at twice the mains frequency, averaged over the
    // exposure: constant when the exposure spans whole half periods.
    const double w = 2 * M_PI * 2 * mainsHz, e = exposureUs * 1e-6;
    return 1.0 + depth * (std::sin(w * (tSeconds + e)) - std::sin(w * tSeconds)) / (w * e);
}

std::array<double, 3> CSimSensor::LampColour(double kelvin) {
    // Black-body colour, fitted curves; a 6600 K lamp is white.
    const double t = std::clamp(kelvin, 1000.0, 40000.0) / 100.0;
    double r, g, b;
    if (t <= 66) {
        r = 255;
        g = 99.4708025861 * std::log(t) - 161.1195681661;
        b = t <= 19 ? 0 : 138.5177312231 * std::log(t - 10) - 305.0447927307;
    } else {
        r = 329.698727446 * std::pow(t - 60, -0.1332047592);
        g = 288.1221695283 * std::pow(t - 60, -0.0755148492);
        b = 255;
    }
    r = std::clamp(r, 1.0, 255.0), g = std::clamp(g, 1.0, 255.0), b = std::clamp(b, 1.0, 255.0);
    const double mx = std::max({r, g, b});
    return {b / mx, g / mx, r / mx};
}

std::array<double, 2> CSimSensor::UnitsPerOutputPixel(const SimSensorSettings& s) {
    const FCRect r = EffectiveRoi(s);
    return {s.unitsPerPixel * r.Width() / std::max(s.width, 1),
            s.unitsPerPixel * r.Height() / std::max(s.height, 1)};
}

double CSimSensor::DefocusSigmaUnits(double zMicrons) {
    return std::min(kMaxBlurUnits, kBlurUnitsPerMicron * std::fabs(zMicrons));
}

SimPictureRecord CSimSensor::LastPicture() const {
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    return m_last;
}

bool CSimSensor::Render(double tSeconds, FCObjImage* out, int bits) {
    if (!out || (bits != 24 && bits != 32)) return false;
    return RenderImpl(tSeconds, out, bits, nullptr);
}

bool CSimSensor::RenderRaw(double tSeconds, SimRawFrame* raw) {
    if (!raw) return false;
    return RenderImpl(tSeconds, nullptr, 24, raw);
}

bool CSimSensor::ProcessRaw(const SimRawFrame& raw, FCObjImage* out, int bits) {
    std::lock_guard<std::mutex> lock(m_renderMutex);
    return m_isp.Process(raw, Settings(), out, bits);
}

bool CSimSensor::RenderImpl(double tSeconds, FCObjImage* out, int bits, SimRawFrame* raw) {
    if (!Finite(tSeconds)) return false;
    std::lock_guard<std::mutex> lock(m_renderMutex);
    SimSensorSettings s;
    uint64_t frame;
    {
        std::lock_guard<std::mutex> l(m_settingsMutex);
        s = m_settings;
        frame = m_nextFrame++;
    }
    const int W = s.width, H = s.height;
    Scratch& S = *m_scratch;
    const SimStagePose pose = m_stage.Pose(tSeconds);
    {
        const auto u = UnitsPerOutputPixel(s);
        std::lock_guard<std::mutex> l(m_settingsMutex);
        m_last = {true, tSeconds, pose, u[0], u[1], W, H, s.hFlip, s.vFlip};
    }

    // Level: the coarsest whose pixels are no larger than an output pixel, made coarser while
    // the defocus blur would exceed two level pixels (a flat specimen: one blur for the frame).
    const auto upo = UnitsPerOutputPixel(s);
    const FCRect roi = EffectiveRoi(s);
    int level = 0;
    while (level < CVirtualSpecimen::kMaxLevel && std::min(upo[0], upo[1]) >= (2 << level)) ++level;
    const double frameLeft = pose.x + (roi.left - 0.5 * s.sensorWidth) * s.unitsPerPixel;
    const double frameTop = pose.y + (roi.top - 0.5 * s.sensorHeight) * s.unitsPerPixel;
    const bool thick = CVirtualSpecimen::HasDepth(
        {frameLeft, frameTop, frameLeft + roi.Width() * s.unitsPerPixel, frameTop + roi.Height() * s.unitsPerPixel});
    const double sigma = DefocusSigmaUnits(pose.z);
    while (!thick && level < CVirtualSpecimen::kMaxLevel &&
           sigma / (1 << level) >
               CVirtualSpecimen::kMaxBlurStep * CVirtualSpecimen::kBlurStepPixels)
        ++level;
    const int blurStep = std::clamp(
        static_cast<int>(std::lround(sigma / (1 << level) / CVirtualSpecimen::kBlurStepPixels)), 0,
        CVirtualSpecimen::kMaxBlurStep);

    // Output pixel o samples level position A + B*o (pixel centres at integer positions).
    const double scale = 1.0 / (1 << level);
    const double bx = upo[0] * scale, by = upo[1] * scale;
    const double ax =
        (pose.x + (roi.left + 0.5 * roi.Width() / W - 0.5 * s.sensorWidth) * s.unitsPerPixel) *
            scale -
        0.5;
    const double ay =
        (pose.y + (roi.top + 0.5 * roi.Height() / H - 0.5 * s.sensorHeight) * s.unitsPerPixel) *
            scale -
        0.5;
    const int64_t ix0 = static_cast<int64_t>(std::floor(ax));
    const int64_t ix1 = static_cast<int64_t>(std::floor(ax + bx * (W - 1))) + 1;
    const int64_t iy0 = static_cast<int64_t>(std::floor(ay));
    const int64_t iy1 = static_cast<int64_t>(std::floor(ay + by * (H - 1))) + 1;
    const int64_t tx0 = FloorDiv(ix0, kT), tx1 = FloorDiv(ix1, kT);
    const int64_t ty0 = FloorDiv(iy0, kT), ty1 = FloorDiv(iy1, kT);
    const int nTx = static_cast<int>(tx1 - tx0 + 1), nTy = static_cast<int>(ty1 - ty0 + 1);

    // Thick section: each pixel's blur follows the specimen's height there. The blur (as a
    // layer position) is looked up on a coarse grid of the frame and interpolated per pixel;
    // the layers the frame spans are sampled and blended.
    const int gw = W / kDepthGrid + 2, gh = H / kDepthGrid + 2;
    int firstLayer = 0, lastLayer = 0;
    if (thick) {
        S.depthGrid.resize(static_cast<size_t>(gw) * gh);
        float lo = 1e9f, hi = -1e9f;
        for (int j = 0; j < gh; ++j)
            for (int i = 0; i < gw; ++i) {
                const int ox = std::min(i * kDepthGrid, W - 1), oy = std::min(j * kDepthGrid, H - 1);
                // Slide point of output pixel (o_x, o_y); flips mirror which pixel that is.
                const int sx = s.hFlip ? W - 1 - ox : ox, sy = s.vFlip ? H - 1 - oy : oy;
                const double px = (ax + bx * sx + 0.5) / scale, py = (ay + by * sy + 0.5) / scale;
                const double blur = DefocusSigmaUnits(pose.z - m_specimen->DepthMicrons(px, py)) / (1 << level);
                const float layer = DepthLayerOf(blur / CVirtualSpecimen::kBlurStepPixels);
                S.depthGrid[j * gw + i] = layer;
                lo = std::min(lo, layer), hi = std::max(hi, layer);
            }
        firstLayer = static_cast<int>(std::floor(lo));
        lastLayer = std::min(kDepthLayers - 1, static_cast<int>(std::ceil(hi)));
        S.depthRow.resize(W);
    }
    S.usedLayers = lastLayer - firstLayer + 1;
    if (static_cast<int>(S.layers.size()) < S.usedLayers) S.layers.resize(S.usedLayers);
    for (size_t k = S.usedLayers; k < S.layers.size(); ++k) S.layers[k].tiles.clear();  // unpin
    for (int k = 0; k < S.usedLayers; ++k) {
        Scratch::Layer& L = S.layers[k];
        L.blurStep = thick ? kDepthSteps[firstLayer + k] : blurStep;
        m_specimen->Tiles(level, L.blurStep, tx0, ty0, nTx, nTy, &L.tiles);
        L.rowA = L.rowB = INT64_MIN;
        for (auto& v : L.t) v.resize(W);
    }
    const int64_t gx0 = tx0 * kT;
    const int lineLen = nTx * kT;

    auto assemble = [&](const Scratch::Layer& L, int64_t r, std::array<std::vector<uint8_t>, 3>& line) {
        const int64_t ty = FloorDiv(r, kT);
        const int oy = static_cast<int>(r - ty * kT);
        const int j = static_cast<int>(ty - ty0);
        for (int c = 0; c < 3; ++c) {
            line[c].resize(lineLen);
            for (int i = 0; i < nTx; ++i)
                std::memcpy(line[c].data() + i * kT,
                            L.tiles[j * nTx + i]->plane[c].data() + oy * kT, kT);
        }
    };

    // Horizontal sampling: a constant shift when level pixels match output pixels, else a
    // gather of precomputed indices and weights.
    const bool shiftOnly = bx == 1.0;
    const double fxConst = ax - std::floor(ax);
    const int shift0 = static_cast<int>(ix0 - gx0);
    if (!shiftOnly) {
        S.xi.resize(W);
        S.xw.resize(W);
        for (int x = 0; x < W; ++x) {
            const int o = s.hFlip ? W - 1 - x : x;
            const double p = ax + bx * o;
            const double f = std::floor(p);
            S.xi[x] = static_cast<int>(static_cast<int64_t>(f) - gx0);
            S.xw[x] = static_cast<float>(p - f);
        }
        S.vert.resize(lineLen + 1);
    }
    for (auto& v : S.t) v.resize(W);
    for (auto& v : S.idx) v.resize(W);

    // Exposure constants per plane (B, G, R).
    const auto lamp = LampColour(s.lampKelvin);
    const double light = s.exposureUs / kReferenceExposureUs * kGlassFraction *
                         FlickerFactor(s.mainsHz, s.flickerDepth, tSeconds, s.exposureUs);
    float K[3];
    for (int c = 0; c < 3; ++c) K[c] = static_cast<float>(lamp[c] * light * s.analogGain);
    const float na = static_cast<float>(s.analogGain * 255.0 / kFullWell);
    const float nb = static_cast<float>(std::pow(s.analogGain * kReadNoise * 255.0 / kFullWell, 2));
    const float* noise = NoiseTable();
    const uint64_t noiseSeed = Mix(m_specimen->Seed() ^ Mix(frame + 0x51ED));

    if (out && !m_isp.Begin(s, out, bits)) return false;
    if (raw) {
        raw->width = W;
        raw->height = H;
        raw->pixels.resize(static_cast<size_t>(W) * H);
    }

    for (int y = 0; y < H; ++y) {
        const int o = s.vFlip ? H - 1 - y : y;
        const double py = ay + by * o;
        const int64_t r0 = static_cast<int64_t>(std::floor(py));
        const float fy = static_cast<float>(py - std::floor(py));
        for (int k = 0; k < S.usedLayers; ++k) {
            Scratch::Layer& L = S.layers[k];
            if (L.rowA != r0) {
                if (L.rowB == r0) {
                    std::swap(L.lineA, L.lineB);
                    L.rowA = r0;
                    L.rowB = INT64_MIN;
                } else {
                    assemble(L, r0, L.lineA);
                    L.rowA = r0;
                }
            }
            if (L.rowB != r0 + 1) {
                assemble(L, r0 + 1, L.lineB);
                L.rowB = r0 + 1;
            }
        }
        if (thick) {
            // This row's layer position per pixel, between the grid rows above and below it.
            const float gy = static_cast<float>(y) / kDepthGrid;
            const int j0 = std::min(static_cast<int>(gy), gh - 2);
            const float wy = std::min(1.f, gy - j0);
            const float* g0 = &S.depthGrid[j0 * gw];
            const float* g1 = g0 + gw;
            for (int x = 0; x < W; ++x) {
                const float gx = static_cast<float>(x) / kDepthGrid;
                const int i0 = std::min(static_cast<int>(gx), gw - 2);
                const float wx = std::min(1.f, gx - i0);
                const float top = g0[i0] + (g0[i0 + 1] - g0[i0]) * wx;
                const float bottom = g1[i0] + (g1[i0 + 1] - g1[i0]) * wx;
                S.depthRow[x] = top + (bottom - top) * wy - firstLayer;
            }
        }
        for (int c = 0; c < 3; ++c) {
            float* t = S.t[c].data();
            for (int k = 0; k < S.usedLayers; ++k) {
                Scratch::Layer& L = S.layers[k];
                const uint8_t* la = L.lineA[c].data();
                const uint8_t* lb = L.lineB[c].data();
                float* lt = thick ? L.t[c].data() : t;
                if (shiftOnly) {
                    SampleShift(la + shift0, lb + shift0, lt, W, static_cast<float>(fxConst), fy);
                    if (s.hFlip) std::reverse(lt, lt + W);
                } else {
                    const int lo = std::min(S.xi[0], S.xi[W - 1]);
                    const int hi = std::max(S.xi[0], S.xi[W - 1]) + 1;
                    LerpRows(la + lo, lb + lo, S.vert.data() + lo, hi - lo + 1, fy);
                    SampleGather(S.vert.data(), S.xi.data(), S.xw.data(), lt, W);
                }
            }
            if (thick && S.usedLayers == 1) {
                std::memcpy(t, S.layers[0].t[c].data(), sizeof(float) * W);
            } else if (thick) {
                const float top = static_cast<float>(S.usedLayers - 1);
                for (int x = 0; x < W; ++x) {
                    const float f = std::clamp(S.depthRow[x], 0.f, top);
                    const int k = std::min(static_cast<int>(f), S.usedLayers - 2);
                    const float a = S.layers[k].t[c][x];
                    t[x] = a + (S.layers[k + 1].t[c][x] - a) * (f - k);
                }
            }
            // Expose: lamp, time and gain; shot and read noise; the sensor clips at full scale.
            const float* n = nullptr;
            if (s.noise) {
                const uint64_t h = Mix(noiseSeed ^ Mix((static_cast<uint64_t>(y) << 2) | c));
                n = noise + h % static_cast<uint64_t>(kNoiseTable - W);
            }
            Expose(t, n, S.idx[c].data(), W, K[c], na, nb);
        }
        if (out) {
            const int32_t* planes[3] = {S.idx[0].data(), S.idx[1].data(), S.idx[2].data()};
            m_isp.PushRow(planes);
        }
        if (raw) {
            // RGGB: even rows R G, odd rows G B.
            uint8_t* d = raw->pixels.data() + static_cast<size_t>(y) * W;
            const int32_t* first = (y & 1) ? S.idx[1].data() : S.idx[2].data();
            const int32_t* second = (y & 1) ? S.idx[0].data() : S.idx[1].data();
            for (int x = 0; x < W; x += 2)
                d[x] = static_cast<uint8_t>(std::min(255, (first[x] + 2) >> 2));
            for (int x = 1; x < W; x += 2)
                d[x] = static_cast<uint8_t>(std::min(255, (second[x] + 2) >> 2));
        }
    }
    if (out) m_isp.Finish();
    return true;
}
