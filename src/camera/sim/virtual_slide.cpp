#include "camera/sim/virtual_slide.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kT = SpecimenTile::kSize;
constexpr int kObjectCell = kT;  // objects are seeded per 256-unit cell of the slide

inline uint64_t Mix(uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

inline uint64_t Hash(uint64_t seed, int64_t a, int64_t b, uint64_t salt) {
    return Mix(seed ^ Mix(static_cast<uint64_t>(a) ^ Mix(static_cast<uint64_t>(b) ^ Mix(salt))));
}

inline double U01(uint64_t h) {
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

struct Rng {
    uint64_t s;
    double Next() {
        s = Mix(s);
        return U01(s);
    }
    double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }
};

inline int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

inline float Smooth(float f) {
    return f * f * (3.f - 2.f * f);
}

inline float LatticeValue(uint64_t seed, uint64_t salt, int64_t i, int64_t j) {
    return static_cast<float>(U01(Hash(seed, i, j, salt)) * 2.0 - 1.0);
}

// Value noise in [-1, 1] at a point, lattice spacing 1.
float ValueNoise(uint64_t seed, uint64_t salt, double x, double y) {
    const int64_t i = static_cast<int64_t>(std::floor(x)), j = static_cast<int64_t>(std::floor(y));
    const float fx = Smooth(static_cast<float>(x - i)), fy = Smooth(static_cast<float>(y - j));
    const float a = LatticeValue(seed, salt, i, j), b = LatticeValue(seed, salt, i + 1, j);
    const float c = LatticeValue(seed, salt, i, j + 1), d = LatticeValue(seed, salt, i + 1, j + 1);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

// Value noise of lattice spacing `period` units over one level-0 tile, at pixel centres.
void NoiseField(uint64_t seed, uint64_t salt, int period, int64_t x0, int64_t y0, float* out) {
    const int64_t i0 = FloorDiv(x0, period), j0 = FloorDiv(y0, period);
    const int n = kT / period + 3;
    std::vector<float> lattice(static_cast<size_t>(n) * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) lattice[j * n + i] = LatticeValue(seed, salt, i0 + i, j0 + j);
    int ix[kT];
    float fx[kT];
    for (int x = 0; x < kT; ++x) {
        const double g = (static_cast<double>(x0 + x) + 0.5) / period;
        const int64_t gi = static_cast<int64_t>(std::floor(g));
        ix[x] = static_cast<int>(gi - i0);
        fx[x] = Smooth(static_cast<float>(g - gi));
    }
    for (int y = 0; y < kT; ++y) {
        const double g = (static_cast<double>(y0 + y) + 0.5) / period;
        const int64_t gj = static_cast<int64_t>(std::floor(g));
        const int jy = static_cast<int>(gj - j0);
        const float fy = Smooth(static_cast<float>(g - gj));
        const float* r0 = &lattice[jy * n];
        const float* r1 = r0 + n;
        float* o = out + y * kT;
        for (int x = 0; x < kT; ++x) {
            const float top = r0[ix[x]] + (r0[ix[x] + 1] - r0[ix[x]]) * fx[x];
            const float bot = r1[ix[x]] + (r1[ix[x] + 1] - r1[ix[x]]) * fx[x];
            o[x] = top + (bot - top) * fy;
        }
    }
}

bool Intersects(const SpecimenRect& r, double l, double t, double rr, double b) {
    return l < r.right && rr > r.left && t < r.bottom && b > r.top;
}

inline uint64_t Key(int level, int blurStep, int64_t tx, int64_t ty) {
    constexpr int64_t kOff = int64_t{1} << 27;
    const uint64_t ux = static_cast<uint64_t>(std::clamp<int64_t>(tx + kOff, 0, 2 * kOff - 1));
    const uint64_t uy = static_cast<uint64_t>(std::clamp<int64_t>(ty + kOff, 0, 2 * kOff - 1));
    return (static_cast<uint64_t>(level) << 60) | (static_cast<uint64_t>(blurStep) << 56) |
           (ux << 28) | uy;
}

// The cells of one object cell of the slide come first from its generator, so drawing the
// slide and listing its cells take them the same way.
int CellCount(uint64_t seed, int64_t ox, int64_t oy, Rng* rng) {
    *rng = Rng{Hash(seed, ox, oy, 1)};
    const double density = 0.5 + 0.5 * ValueNoise(seed, 2, static_cast<double>(ox) / 6.0,
                                                  static_cast<double>(oy) / 6.0);
    return static_cast<int>(density * density * 5.0 + rng->Next());
}

struct CellDraw {
    double cx, cy, a, b, th, na, nb, nth, ndx, ndy;
    float stain;
};

CellDraw DrawCell(Rng& rng, double cx0, double cy0) {
    CellDraw c;
    c.cx = cx0 + rng.Range(0, kObjectCell);
    c.cy = cy0 + rng.Range(0, kObjectCell);
    c.a = rng.Range(16, 42);
    c.b = c.a * rng.Range(0.65, 1.0);
    c.th = rng.Range(0, M_PI);
    c.na = c.a * rng.Range(0.3, 0.45);
    c.nb = c.na * rng.Range(0.75, 1.0);
    c.nth = rng.Range(0, M_PI);
    c.ndx = rng.Range(-0.2, 0.2) * c.a;
    c.ndy = rng.Range(-0.2, 0.2) * c.b;
    c.stain = static_cast<float>(rng.Range(0.7, 1.2));
    return c;
}

// Object cells near the clear glass stay empty.
bool ObjectCellIsClear(const SpecimenRect& clear, double cx0, double cy0) {
    return Intersects(clear, cx0 - kObjectCell, cy0 - kObjectCell, cx0 + 2 * kObjectCell,
                      cy0 + 2 * kObjectCell);
}

// Absorbance (natural log, B, G, R) of the stains and materials.
constexpr float kCytoplasm[3] = {0.12f, 0.55f, 0.08f};
constexpr float kNucleus[3] = {0.45f, 1.30f, 1.50f};
constexpr float kFibre[3] = {0.30f, 0.65f, 0.35f};
constexpr float kDebris[3] = {1.40f, 1.50f, 1.30f};
constexpr float kChrome = 3.0f;
constexpr float kGlass[3] = {240.f, 238.f, 236.f};

}  // namespace

CVirtualSpecimen::CVirtualSpecimen(uint64_t seed, size_t cacheTiles)
    : m_seed(seed), m_capacity(std::max<size_t>(cacheTiles, 16)) {}

SpecimenRect CVirtualSpecimen::MicrometerRegion() {
    const double half = kMicrometerDivisions / 2 * kMicrometerPitchUnits;
    return {-half - 1, -80, half + 1, 3};
}

double CVirtualSpecimen::MicrometerLineX(int i) {
    return (i - kMicrometerDivisions / 2) * kMicrometerPitchUnits;
}

SpecimenRect CVirtualSpecimen::ClearGlassRegion() {
    return {-6144, -4096, 6144, 4096};
}

SpecimenRect CVirtualSpecimen::TissueRegion() {
    return {20000, 20000, 60000, 60000};
}

SpecimenRect CVirtualSpecimen::ThickSectionRegion() {
    return {60000, 20000, 100000, 60000};
}

bool CVirtualSpecimen::HasDepth(const SpecimenRect& r) {
    const SpecimenRect t = ThickSectionRegion();
    return Intersects(t, r.left, r.top, r.right, r.bottom);
}

double CVirtualSpecimen::DepthMicrons(double x, double y) const {
    const SpecimenRect t = ThickSectionRegion();
    if (x < t.left || x >= t.right || y < t.top || y >= t.bottom) return 0;
    constexpr double kEase = 500;
    const double edge = std::min({x - t.left, t.right - x, y - t.top, t.bottom - y});
    const double ease = Smooth(static_cast<float>(std::min(1.0, edge / kEase)));
    const double cx = (t.left + t.right) / 2;
    const double tilt = kThickTiltMicrons * std::sin(2 * M_PI * (x - cx) / kThickTiltPeriod);
    const double relief = kThickReliefMicrons * ValueNoise(m_seed, 21, x / 700, y / 700);
    return ease * (tilt + relief);
}

size_t CVirtualSpecimen::CachedTiles() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cache.size();
}

std::shared_ptr<const SpecimenTile> CVirtualSpecimen::Tile(int level, int blurStep, int64_t tx,
                                                           int64_t ty) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return GetLocked(level, blurStep, tx, ty);
}

void CVirtualSpecimen::Tiles(int level, int blurStep, int64_t tx0, int64_t ty0, int nx, int ny,
                             std::vector<std::shared_ptr<const SpecimenTile>>* out) {
    out->clear();
    out->reserve(static_cast<size_t>(std::max(nx, 0)) * std::max(ny, 0));
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) out->push_back(GetLocked(level, blurStep, tx0 + i, ty0 + j));
}

std::array<uint8_t, 3> CVirtualSpecimen::Pixel(int64_t x, int64_t y) {
    const int64_t tx = FloorDiv(x, kT), ty = FloorDiv(y, kT);
    auto tile = Tile(0, 0, tx, ty);
    const int o = static_cast<int>((y - ty * kT) * kT + (x - tx * kT));
    return {tile->plane[0][o], tile->plane[1][o], tile->plane[2][o]};
}

CVirtualSpecimen::TilePtr CVirtualSpecimen::NewTileLocked() {
    if (!m_free.empty()) {
        TilePtr t = std::move(m_free.back());
        m_free.pop_back();
        return t;
    }
    return std::make_shared<SpecimenTile>();
}

CVirtualSpecimen::TilePtr CVirtualSpecimen::GetLocked(int level, int blurStep, int64_t tx,
                                                      int64_t ty) {
    level = std::clamp(level, 0, kMaxLevel);
    blurStep = std::clamp(blurStep, 0, kMaxDepthBlurStep);
    const uint64_t key = Key(level, blurStep, tx, ty);
    auto it = m_cache.find(key);
    if (it != m_cache.end()) {
        m_lru.splice(m_lru.begin(), m_lru, it->second.lru);
        return it->second.tile;
    }
    TilePtr tile = NewTileLocked();
    if (blurStep > 0)
        RenderBlurred(level, blurStep, tx, ty, tile.get());
    else if (level > 0)
        RenderReduced(level, tx, ty, tile.get());
    else
        RenderBase(tx, ty, tile.get());
    m_lru.push_front(key);
    m_cache.emplace(key, Entry{tile, m_lru.begin()});
    while (m_cache.size() > m_capacity) {
        const uint64_t old = m_lru.back();
        m_lru.pop_back();
        auto victim = m_cache.find(old);
        // A tile still pinned by a frame stays alive with its holder; only idle ones are reused.
        if (victim->second.tile.use_count() == 1 && m_free.size() < 64)
            m_free.push_back(std::move(victim->second.tile));
        m_cache.erase(victim);
    }
    return tile;
}

std::vector<SpecimenCell> CVirtualSpecimen::CellsIn(const SpecimenRect& r) const {
    std::vector<SpecimenCell> cells;
    const SpecimenRect clear = ClearGlassRegion();
    const int64_t ox0 = FloorDiv(static_cast<int64_t>(std::floor(r.left)), kObjectCell);
    const int64_t oy0 = FloorDiv(static_cast<int64_t>(std::floor(r.top)), kObjectCell);
    const int64_t ox1 = FloorDiv(static_cast<int64_t>(std::ceil(r.right)), kObjectCell);
    const int64_t oy1 = FloorDiv(static_cast<int64_t>(std::ceil(r.bottom)), kObjectCell);
    for (int64_t oy = oy0; oy <= oy1; ++oy)
        for (int64_t ox = ox0; ox <= ox1; ++ox) {
            const double cx0 = static_cast<double>(ox * kObjectCell);
            const double cy0 = static_cast<double>(oy * kObjectCell);
            if (ObjectCellIsClear(clear, cx0, cy0)) continue;
            Rng rng{0};
            const int n = CellCount(m_seed, ox, oy, &rng);
            for (int k = 0; k < n; ++k) {
                const CellDraw c = DrawCell(rng, cx0, cy0);
                if (c.cx >= r.left && c.cx < r.right && c.cy >= r.top && c.cy < r.bottom)
                    cells.push_back({c.cx, c.cy, c.a, c.b, c.th});
            }
        }
    return cells;
}

void CVirtualSpecimen::RenderBase(int64_t tx, int64_t ty, SpecimenTile* tile) const {
    const int64_t x0 = tx * kT, y0 = ty * kT;
    thread_local std::vector<float> absorb, fine, mid, low, cover;
    absorb.assign(3 * SpecimenTile::kPixels, 0.f);
    fine.resize(SpecimenTile::kPixels);
    mid.resize(SpecimenTile::kPixels);
    low.resize(SpecimenTile::kPixels);
    cover.assign(SpecimenTile::kPixels, 0.f);
    NoiseField(m_seed, 11, 3, x0, y0, fine.data());
    NoiseField(m_seed, 12, 9, x0, y0, mid.data());
    NoiseField(m_seed, 13, 600, x0, y0, low.data());
    float* A[3] = {absorb.data(), absorb.data() + SpecimenTile::kPixels,
                   absorb.data() + 2 * SpecimenTile::kPixels};

    const SpecimenRect clear = ClearGlassRegion();
    const bool tileInClear =
        x0 >= clear.left && x0 + kT <= clear.right && y0 >= clear.top && y0 + kT <= clear.bottom;
    const bool tileTouchesClear = Intersects(clear, x0, y0, x0 + kT, y0 + kT);

    // Clip a box in slide units to the tile, in tile pixels; false when empty.
    auto clip = [&](double l, double t, double r, double b, int* xa, int* ya, int* xb, int* yb) {
        *xa = static_cast<int>(std::max<double>(0, std::floor(l - x0)));
        *ya = static_cast<int>(std::max<double>(0, std::floor(t - y0)));
        *xb = static_cast<int>(std::min<double>(kT, std::ceil(r - x0)));
        *yb = static_cast<int>(std::min<double>(kT, std::ceil(b - y0)));
        return *xa < *xb && *ya < *yb;
    };

    // Objects of the 3x3 object cells around the tile, in one global order, so a pixel shared
    // by two tiles sums the same contributions in the same order.
    for (int64_t oy = ty - 1; oy <= ty + 1; ++oy) {
        for (int64_t ox = tx - 1; ox <= tx + 1; ++ox) {
            const double cx0 = static_cast<double>(ox * kObjectCell);
            const double cy0 = static_cast<double>(oy * kObjectCell);
            if (ObjectCellIsClear(clear, cx0, cy0)) continue;
            Rng rng{0};
            const int nCells = CellCount(m_seed, ox, oy, &rng);
            for (int k = 0; k < nCells; ++k) {
                const auto [cx, cy, a, b, th, na, nb, nth, ndx, ndy, stain] = DrawCell(rng, cx0, cy0);
                int xa, ya, xb, yb;
                if (!clip(cx - a - 2, cy - a - 2, cx + a + 2, cy + a + 2, &xa, &ya, &xb, &yb))
                    continue;
                const double c = std::cos(th), s = std::sin(th);
                const double nc = std::cos(nth), ns = std::sin(nth);
                for (int y = ya; y < yb; ++y) {
                    const double dy = static_cast<double>(y0 + y) + 0.5 - cy;
                    for (int x = xa; x < xb; ++x) {
                        const double dx = static_cast<double>(x0 + x) + 0.5 - cx;
                        const double u = (dx * c + dy * s) / a, v = (-dx * s + dy * c) / b;
                        const double r2 = u * u + v * v;
                        if (r2 >= 1.1) continue;
                        const int p = y * kT + x;
                        const double r = std::sqrt(r2);
                        float w = static_cast<float>(std::clamp((1.05 - r) / 0.1, 0.0, 1.0));
                        if (r > 0.85 && r < 1.0) w *= 1.3f;  // the membrane
                        const float tex = stain * (0.75f + 0.5f * mid[p]) * w;
                        for (int ch = 0; ch < 3; ++ch) A[ch][p] += kCytoplasm[ch] * tex;
                        const double ex = dx - ndx, ey = dy - ndy;
                        const double nu = (ex * nc + ey * ns) / na, nv = (-ex * ns + ey * nc) / nb;
                        const double nr = std::sqrt(nu * nu + nv * nv);
                        if (nr >= 1.05) continue;
                        const float nw =
                            static_cast<float>(std::clamp((1.05 - nr) / 0.1, 0.0, 1.0));
                        const float chrom = stain * (0.7f + 0.6f * fine[p]) * nw;
                        for (int ch = 0; ch < 3; ++ch) A[ch][p] += kNucleus[ch] * chrom;
                    }
                }
            }
            if (rng.Next() < 0.35) {
                // A fibre: a quadratic curve within 220 units of its start.
                double px[3], py[3];
                px[0] = cx0 + rng.Range(0, kObjectCell);
                py[0] = cy0 + rng.Range(0, kObjectCell);
                for (int q = 1; q < 3; ++q) {
                    const double ang = rng.Range(0, 2 * M_PI), len = rng.Range(60, 220);
                    px[q] = px[0] + len * std::cos(ang);
                    py[q] = py[0] + len * std::sin(ang);
                }
                const double w = rng.Range(1.2, 3.0);
                const float strength = static_cast<float>(rng.Range(0.6, 1.2));
                double lx = px[0], ly = py[0];
                int ua = kT, va = kT, ub = 0, vb = 0;
                constexpr int kSeg = 24;
                for (int q = 1; q <= kSeg; ++q) {
                    const double t = static_cast<double>(q) / kSeg, it = 1 - t;
                    const double nx = it * it * px[0] + 2 * it * t * px[1] + t * t * px[2];
                    const double ny = it * it * py[0] + 2 * it * t * py[1] + t * t * py[2];
                    int xa, ya, xb, yb;
                    if (clip(std::min(lx, nx) - w - 1, std::min(ly, ny) - w - 1,
                             std::max(lx, nx) + w + 1, std::max(ly, ny) + w + 1, &xa, &ya, &xb,
                             &yb)) {
                        const double sx = nx - lx, sy = ny - ly;
                        const double len2 = std::max(sx * sx + sy * sy, 1e-9);
                        for (int y = ya; y < yb; ++y) {
                            const double ry = static_cast<double>(y0 + y) + 0.5 - ly;
                            for (int x = xa; x < xb; ++x) {
                                const double rx = static_cast<double>(x0 + x) + 0.5 - lx;
                                const double h = std::clamp((rx * sx + ry * sy) / len2, 0.0, 1.0);
                                const double ddx = rx - h * sx, ddy = ry - h * sy;
                                const double d = std::sqrt(ddx * ddx + ddy * ddy);
                                const float cov = static_cast<float>(std::clamp(w - d, 0.0, 1.0));
                                float& cv = cover[y * kT + x];
                                cv = std::max(cv, cov);
                            }
                        }
                        ua = std::min(ua, xa), va = std::min(va, ya);
                        ub = std::max(ub, xb), vb = std::max(vb, yb);
                    }
                    lx = nx, ly = ny;
                }
                for (int y = va; y < vb; ++y)
                    for (int x = ua; x < ub; ++x) {
                        float& cv = cover[y * kT + x];
                        if (cv > 0.f) {
                            const float k = strength * cv * (0.85f + 0.3f * fine[y * kT + x]);
                            for (int ch = 0; ch < 3; ++ch) A[ch][y * kT + x] += kFibre[ch] * k;
                            cv = 0.f;
                        }
                    }
            }
            const int nDebris = static_cast<int>(rng.Range(0, 3.5));
            for (int k = 0; k < nDebris; ++k) {
                const double cx = cx0 + rng.Range(0, kObjectCell);
                const double cy = cy0 + rng.Range(0, kObjectCell);
                const double rad = rng.Range(1.5, 5.0);
                int xa, ya, xb, yb;
                if (!clip(cx - rad * 1.3 - 1, cy - rad * 1.3 - 1, cx + rad * 1.3 + 1,
                          cy + rad * 1.3 + 1, &xa, &ya, &xb, &yb))
                    continue;
                for (int y = ya; y < yb; ++y)
                    for (int x = xa; x < xb; ++x) {
                        const int p = y * kT + x;
                        const double dx = static_cast<double>(x0 + x) + 0.5 - cx;
                        const double dy = static_cast<double>(y0 + y) + 0.5 - cy;
                        const double rr = rad * (1.0 + 0.25 * fine[p]);
                        const float e = static_cast<float>(
                            std::clamp(rr + 0.5 - std::sqrt(dx * dx + dy * dy), 0.0, 1.0));
                        for (int ch = 0; ch < 3; ++ch) A[ch][p] += kDebris[ch] * e;
                    }
            }
        }
    }

    // The stage micrometer: chrome lines on clear glass.
    const SpecimenRect mr = MicrometerRegion();
    if (Intersects(mr, x0, y0, x0 + kT, y0 + kT)) {
        auto rule = [&](double l, double t, double r, double b) {
            int xa, ya, xb, yb;
            if (!clip(l, t, r, b, &xa, &ya, &xb, &yb)) return;
            for (int y = ya; y < yb; ++y)
                for (int x = xa; x < xb; ++x)
                    for (int ch = 0; ch < 3; ++ch) A[ch][y * kT + x] = kChrome;
        };
        for (int i = 0; i <= kMicrometerDivisions; ++i) {
            const double lx = MicrometerLineX(i);
            const double h = i % 10 == 0 ? 80 : (i % 5 == 0 ? 60 : 40);
            rule(lx - 1, -h, lx + 1, 0);
        }
        rule(mr.left, 0, mr.right, 3);
    }

    for (int y = 0; y < kT; ++y) {
        for (int x = 0; x < kT; ++x) {
            const int p = y * kT + x;
            bool flat = tileInClear;
            if (!flat && tileTouchesClear) {
                const double gx = static_cast<double>(x0 + x), gy = static_cast<double>(y0 + y);
                flat = gx >= clear.left && gx < clear.right && gy >= clear.top && gy < clear.bottom;
            }
            const float bg = flat ? 1.f : (1.f + 0.05f * low[p]) * (1.f + 0.015f * fine[p]);
            for (int ch = 0; ch < 3; ++ch) {
                const float v = kGlass[ch] * bg * std::exp(-A[ch][p]);
                tile->plane[ch][p] = static_cast<uint8_t>(std::clamp(v + 0.5f, 0.f, 255.f));
            }
        }
    }
}

void CVirtualSpecimen::RenderReduced(int level, int64_t tx, int64_t ty, SpecimenTile* tile) {
    constexpr int h = kT / 2;
    for (int q = 0; q < 4; ++q) {
        const int qx = q & 1, qy = q >> 1;
        TilePtr child = GetLocked(level - 1, 0, 2 * tx + qx, 2 * ty + qy);
        for (int ch = 0; ch < 3; ++ch) {
            const uint8_t* src = child->plane[ch].data();
            uint8_t* dst = tile->plane[ch].data() + qy * h * kT + qx * h;
            for (int y = 0; y < h; ++y) {
                const uint8_t* s0 = src + 2 * y * kT;
                const uint8_t* s1 = s0 + kT;
                uint8_t* d = dst + y * kT;
                for (int x = 0; x < h; ++x)
                    d[x] = static_cast<uint8_t>(
                        (s0[2 * x] + s0[2 * x + 1] + s1[2 * x] + s1[2 * x + 1] + 2) >> 2);
            }
        }
    }
}

void CVirtualSpecimen::RenderBlurred(int level, int blurStep, int64_t tx, int64_t ty,
                                     SpecimenTile* tile) {
    const double sigma = blurStep * kBlurStepPixels;
    const int R = static_cast<int>(std::ceil(3 * sigma));
    std::vector<float> kernel(2 * R + 1);
    double sum = 0;
    for (int i = -R; i <= R; ++i) sum += kernel[i + R] = std::exp(-0.5 * i * i / (sigma * sigma));
    for (float& k : kernel) k = static_cast<float>(k / sum);

    TilePtr around[3][3];
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) around[j][i] = GetLocked(level, 0, tx + i - 1, ty + j - 1);

    const int P = kT + 2 * R;
    std::vector<float> padded(static_cast<size_t>(P) * P), rows(static_cast<size_t>(P) * kT);
    for (int ch = 0; ch < 3; ++ch) {
        for (int y = 0; y < P; ++y) {
            const int gy = y - R + kT;  // 0..3*kT
            const int jy = gy / kT, oy = gy % kT;
            for (int x = 0; x < P; ++x) {
                const int gx = x - R + kT;
                padded[y * P + x] = around[jy][gx / kT]->plane[ch][oy * kT + gx % kT];
            }
        }
        for (int y = 0; y < P; ++y) {
            const float* s = &padded[y * P];
            float* d = &rows[y * kT];
            for (int x = 0; x < kT; ++x) d[x] = 0.f;
            for (int k = 0; k <= 2 * R; ++k) {
                const float w = kernel[k];
                for (int x = 0; x < kT; ++x) d[x] += w * s[x + k];
            }
        }
        for (int y = 0; y < kT; ++y) {
            float acc[kT] = {};
            for (int k = 0; k <= 2 * R; ++k) {
                const float w = kernel[k];
                const float* s = &rows[(y + k) * kT];
                for (int x = 0; x < kT; ++x) acc[x] += w * s[x];
            }
            uint8_t* d = tile->plane[ch].data() + y * kT;
            for (int x = 0; x < kT; ++x)
                d[x] = static_cast<uint8_t>(std::clamp(acc[x] + 0.5f, 0.f, 255.f));
        }
    }
}
