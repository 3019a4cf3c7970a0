#pragma once
// CVirtualSpecimen: a procedurally generated slide seen in transmitted light. Every point of
// the (practically unbounded) slide is a pure function of the seed and its position, so the
// same slide point looks the same in every field that contains it. Pixels are produced lazily
// in square tiles (planar B, G, R transmittance, 0..255) and kept in a bounded cache; coarser
// levels are 2x2 averages of finer ones, and defocus is served by blurred tiles per blur step.

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

struct SpecimenTile {
    static constexpr int kSize = 256;
    static constexpr int kPixels = kSize * kSize;
    // Planes in B, G, R order, rows top-down.
    std::array<std::array<uint8_t, kPixels>, 3> plane;
};

// A rectangle of the slide in specimen units; right and bottom exclusive.
struct SpecimenRect {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// A cell the slide placed: centre, semi-axes (a >= b) and the direction of a (radians), in
// specimen units.
struct SpecimenCell {
    double x = 0, y = 0;
    double a = 0, b = 0;
    double angle = 0;
};

class CVirtualSpecimen {
public:
    // Specimen units per micrometre: one unit is half a micrometre.
    static constexpr double kUnitsPerMicron = 2.0;
    // The stage micrometer: 100 divisions of 10 micrometres, ruled along x, centred on x = 0.
    static constexpr double kMicrometerPitchMicrons = 10.0;
    static constexpr int kMicrometerDivisions = 100;
    static constexpr double kMicrometerPitchUnits = kMicrometerPitchMicrons * kUnitsPerMicron;
    // Level-0 tile cache bound in tiles (each about 192 KiB).
    static constexpr size_t kDefaultCacheTiles = 768;
    static constexpr int kMaxLevel = 10;
    // Blur steps are quarter level-pixels of Gaussian sigma, at most two level-pixels.
    static constexpr int kMaxBlurStep = 8;
    static constexpr double kBlurStepPixels = 0.25;
    // Blur steps the depth of a thick section may ask for (the tile key has room for 15).
    static constexpr int kMaxDepthBlurStep = 15;

    explicit CVirtualSpecimen(uint64_t seed, size_t cacheTiles = kDefaultCacheTiles);
    CVirtualSpecimen(const CVirtualSpecimen&) = delete;
    CVirtualSpecimen& operator=(const CVirtualSpecimen&) = delete;

    uint64_t Seed() const { return m_seed; }

    // Where the ruled lines are: the division lines stand on y in [-80, 0) (long lines every 10
    // divisions, medium every 5, short 40 units tall), with a baseline on y in [0, 3).
    static SpecimenRect MicrometerRegion();
    // Slide x of division line i (0..100); each line is 2 units (1 um) wide, centred there.
    static double MicrometerLineX(int i);
    // Clear glass with no objects and no stain variation (for flat-field and white-balance use).
    static SpecimenRect ClearGlassRegion();
    // A region rich in cells, fibres and debris: a good default place for the stage.
    static SpecimenRect TissueRegion();

    // Depth. The slide is flat (a thin smear in focus at z = 0) except in the thick section,
    // beside the tissue region: a tilted mount whose cells lie at different heights, so a
    // focus series there shows different parts sharp at different focus positions.
    static SpecimenRect ThickSectionRegion();
    // Height of the specimen at a slide point in micrometres: the focus z at which it is sharp.
    // 0 outside the thick section; inside, a mount that rises and falls by up to
    // kThickTiltMicrons along x over kThickTiltPeriod units (about 3 um per 1000 units near the
    // section's centre, where it is a plain tilt) plus a smooth relief of up to
    // kThickReliefMicrons, easing in over the section's first 500 units.
    static constexpr double kThickTiltMicrons = 4.0;
    static constexpr double kThickTiltPeriod = 8000;
    static constexpr double kThickReliefMicrons = 3.0;
    double DepthMicrons(double x, double y) const;
    // Whether any point of the rectangle lies in the thick section.
    static bool HasDepth(const SpecimenRect& r);

    // The tile (tx, ty) of a level (0 = one unit per pixel, L = 2^L units per pixel), blurred by
    // blurStep (0 = sharp). Never null.
    std::shared_ptr<const SpecimenTile> Tile(int level, int blurStep, int64_t tx, int64_t ty);
    // The tiles of a block, row-major, under one lock: what a frame needs, pinned at once.
    void Tiles(int level, int blurStep, int64_t tx0, int64_t ty0, int nx, int ny,
               std::vector<std::shared_ptr<const SpecimenTile>>* out);

    // The cells whose centre lies in the rectangle, as the slide draws them: the ground truth
    // for counting.
    std::vector<SpecimenCell> CellsIn(const SpecimenRect& r) const;

    // Level-0 transmittance at one unit pixel (B, G, R).
    std::array<uint8_t, 3> Pixel(int64_t x, int64_t y);

    size_t CachedTiles() const;

private:
    using TilePtr = std::shared_ptr<SpecimenTile>;
    struct Entry {
        TilePtr tile;
        std::list<uint64_t>::iterator lru;
    };

    TilePtr GetLocked(int level, int blurStep, int64_t tx, int64_t ty);
    TilePtr NewTileLocked();
    void RenderBase(int64_t tx, int64_t ty, SpecimenTile* tile) const;
    void RenderReduced(int level, int64_t tx, int64_t ty, SpecimenTile* tile);
    void RenderBlurred(int level, int blurStep, int64_t tx, int64_t ty, SpecimenTile* tile);

    const uint64_t m_seed;
    const size_t m_capacity;
    mutable std::mutex m_mutex;
    std::unordered_map<uint64_t, Entry> m_cache;
    std::list<uint64_t> m_lru;  // most recently used first
    std::vector<TilePtr> m_free;
};
