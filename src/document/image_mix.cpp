#include "document/image_mix.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

namespace {

constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;

// The source pixels one output pixel reads along one axis, with fixed-point weights that add
// up to kWeightOne.
struct Taps {
    int first = 0;
    std::vector<int> weights;
};

std::vector<Taps> MakeTaps(int srcLen, int dstLen) {
    const double scale = static_cast<double>(dstLen) / srcLen;
    const double reach = std::max(1.0, 1.0 / scale);
    std::vector<Taps> taps(static_cast<size_t>(dstLen));
    std::vector<double> w;
    for (int x = 0; x < dstLen; ++x) {
        // Pixel centres line up: output centre x + 0.5 sits at source position (x + 0.5) / scale.
        const double centre = (x + 0.5) / scale - 0.5;
        const int lo = std::max(0, static_cast<int>(std::floor(centre - reach)) + 1);
        const int hi = std::min(srcLen - 1, static_cast<int>(std::ceil(centre + reach)) - 1);
        w.clear();
        double sum = 0;
        for (int i = lo; i <= hi; ++i) {
            const double v = std::max(0.0, 1.0 - std::abs(i - centre) / reach);
            w.push_back(v);
            sum += v;
        }
        Taps& t = taps[static_cast<size_t>(x)];
        if (w.empty() || sum <= 0) {
            // Cannot happen for centres inside the source; keep the nearest pixel regardless.
            t.first = std::clamp(static_cast<int>(std::lround(centre)), 0, srcLen - 1);
            t.weights = {kWeightOne};
            continue;
        }
        t.first = lo;
        t.weights.resize(w.size());
        int total = 0;
        size_t biggest = 0;
        for (size_t i = 0; i < w.size(); ++i) {
            t.weights[i] = static_cast<int>(std::lround(w[i] / sum * kWeightOne));
            total += t.weights[i];
            if (t.weights[i] > t.weights[biggest]) biggest = i;
        }
        // Rounding must not brighten or darken a flat area.
        t.weights[biggest] += kWeightOne - total;
    }
    return taps;
}

inline uint8_t ToByte(int acc) {
    return static_cast<uint8_t>(std::clamp((acc + kWeightOne / 2) >> kWeightBits, 0, 255));
}

bool Cancelled(const MixCancel& cancel) {
    return cancel && cancel();
}

}  // namespace

bool ResampleSmooth(const FCObjImage& src, int width, int height, FCObjImage& out,
                    const MixCancel& cancel) {
    if (!src.IsValid() || width <= 0 || height <= 0) return false;
    FCObjImage converted;
    const FCObjImage* in = &src;
    if (src.ColorBits() != 24) {
        converted = src;
        converted.ToTrueColor24();
        if (!converted.IsValid() || converted.ColorBits() != 24) return false;
        in = &converted;
    }
    const int sw = in->Width(), sh = in->Height();
    if (sw == width && sh == height) {
        if (Cancelled(cancel)) return false;
        FCObjImage copy(*in);
        if (!copy.IsValid()) return false;
        out.Swap(copy);
        return true;
    }

    // Across first (source rows into a narrower or wider buffer), then down.
    const std::vector<Taps> across = MakeTaps(sw, width);
    const std::vector<Taps> down = MakeTaps(sh, height);
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> mid;
    try {
        mid.resize(rowBytes * static_cast<size_t>(sh));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int y = 0; y < sh; ++y) {
        if (Cancelled(cancel)) return false;
        const uint8_t* s = in->GetRow(y);
        uint8_t* d = mid.data() + rowBytes * static_cast<size_t>(y);
        for (int x = 0; x < width; ++x) {
            const Taps& t = across[static_cast<size_t>(x)];
            int b = 0, g = 0, r = 0;
            const uint8_t* p = s + static_cast<size_t>(t.first) * 3;
            for (int w : t.weights) {
                b += p[0] * w;
                g += p[1] * w;
                r += p[2] * w;
                p += 3;
            }
            d[0] = ToByte(b);
            d[1] = ToByte(g);
            d[2] = ToByte(r);
            d += 3;
        }
    }

    FCObjImage result;
    if (!result.Allocate(width, height, 24)) return false;
    std::vector<int> acc(rowBytes);
    for (int y = 0; y < height; ++y) {
        if (Cancelled(cancel)) return false;
        const Taps& t = down[static_cast<size_t>(y)];
        std::fill(acc.begin(), acc.end(), 0);
        for (size_t k = 0; k < t.weights.size(); ++k) {
            const int w = t.weights[k];
            const uint8_t* s =
                mid.data() + rowBytes * static_cast<size_t>(t.first + static_cast<int>(k));
            for (size_t i = 0; i < rowBytes; ++i) acc[i] += s[i] * w;
        }
        uint8_t* d = result.GetRow(y);
        for (size_t i = 0; i < rowBytes; ++i) d[i] = ToByte(acc[i]);
    }
    out.Swap(result);
    return true;
}

bool MixInto(FCObjImage& dst, const FCObjImage& src, int left, int top, int transparency,
             const MixCancel& cancel) {
    if (!dst.IsValid() || !src.IsValid() || dst.ColorBits() != 24 || src.ColorBits() != 24)
        return false;
    const int t = std::clamp(transparency, 0, 100);
    const int64_t x0 = std::max<int64_t>(0, left);
    const int64_t x1 = std::min<int64_t>(dst.Width(), int64_t{left} + src.Width());
    const int64_t y0 = std::max<int64_t>(0, top);
    const int64_t y1 = std::min<int64_t>(dst.Height(), int64_t{top} + src.Height());
    if (x0 >= x1 || y0 >= y1) return !Cancelled(cancel);
    const size_t bytes = static_cast<size_t>(x1 - x0) * 3;
    for (int64_t y = y0; y < y1; ++y) {
        if (Cancelled(cancel)) return false;
        uint8_t* d = dst.GetRow(static_cast<int>(y)) + x0 * 3;
        const uint8_t* s = src.GetRow(static_cast<int>(y - top)) + (x0 - left) * 3;
        for (size_t i = 0; i < bytes; ++i)
            d[i] = static_cast<uint8_t>((s[i] * (100 - t) + d[i] * t + 50) / 100);
    }
    return true;
}

bool MixPictures(const FCObjImage& src, const FCObjImage& dst, int xOffset, int yOffset,
                 int transparency, FCObjImage& out) {
    if (!dst.IsValid()) return false;
    FCObjImage result(dst);
    if (!result.IsValid()) return false;
    result.ToTrueColor24();
    if (src.IsValid()) {
        FCObjImage converted;
        const FCObjImage* s = &src;
        if (src.ColorBits() != 24) {
            converted = src;
            converted.ToTrueColor24();
            s = &converted;
        }
        // Offsets far beyond any picture only need to stay clear of it; clamping keeps the
        // negation in range.
        constexpr int kFar = 1 << 30;
        const int left = -std::clamp(xOffset, -kFar, kFar);
        const int top = -std::clamp(yOffset, -kFar, kFar);
        if (!MixInto(result, *s, left, top, transparency)) return false;
    }
    out.Swap(result);
    return true;
}

float MixPreviewScale(int dstWidth, int dstHeight) {
    const int side = std::max(dstWidth, dstHeight);
    if (side <= 0) return 1.0f;
    return std::min(1.0f, 400.0f / static_cast<float>(side));
}

int MixPreviewSide(int side, float scale) {
    return std::max(1, static_cast<int>(static_cast<float>(side) * scale));
}

int MixPreviewOffset(int userOffset, float scale) {
    return static_cast<int>(-static_cast<float>(userOffset) * scale);
}
