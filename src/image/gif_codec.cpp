#include "image/gif_codec.h"

#include <gif_lib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

struct Rgb {
    uint8_t r, g, b;
};

struct Box {
    size_t begin, end;  // range in the colour list
};

// Median cut over a list of (colour, count) pairs.
std::vector<Rgb> MedianCut(std::vector<std::pair<uint32_t, uint32_t>>& colors, size_t target) {
    auto chan = [](uint32_t c, int k) { return static_cast<int>((c >> (16 - 8 * k)) & 0xFF); };
    std::vector<Box> boxes{{0, colors.size()}};
    while (boxes.size() < target) {
        // Split the box with the widest channel range that still holds two colours.
        int best = -1, bestRange = 0, bestChan = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].end - boxes[i].begin < 2) continue;
            for (int k = 0; k < 3; ++k) {
                int lo = 255, hi = 0;
                for (size_t j = boxes[i].begin; j < boxes[i].end; ++j) {
                    lo = std::min(lo, chan(colors[j].first, k));
                    hi = std::max(hi, chan(colors[j].first, k));
                }
                if (hi - lo > bestRange)
                    bestRange = hi - lo, best = static_cast<int>(i), bestChan = k;
            }
        }
        if (best < 0) break;
        Box b = boxes[best];
        std::sort(colors.begin() + b.begin, colors.begin() + b.end, [&](auto& a, auto& c) {
            return chan(a.first, bestChan) < chan(c.first, bestChan);
        });
        uint64_t total = 0;
        for (size_t j = b.begin; j < b.end; ++j) total += colors[j].second;
        uint64_t acc = 0;
        size_t mid = b.begin;
        while (mid < b.end - 1 && acc + colors[mid].second <= total / 2)
            acc += colors[mid++].second;
        if (mid == b.begin) mid = b.begin + 1;
        boxes[best] = {b.begin, mid};
        boxes.push_back({mid, b.end});
    }
    std::vector<Rgb> out;
    for (const Box& b : boxes) {
        uint64_t sum[3] = {0, 0, 0}, n = 0;
        for (size_t j = b.begin; j < b.end; ++j) {
            for (int k = 0; k < 3; ++k)
                sum[k] += uint64_t(chan(colors[j].first, k)) * colors[j].second;
            n += colors[j].second;
        }
        if (n == 0) n = 1;
        out.push_back({uint8_t(sum[0] / n), uint8_t(sum[1] / n), uint8_t(sum[2] / n)});
    }
    return out;
}

bool Encode(const std::string& path, int w, int h, const std::vector<Rgb>& palette,
            const std::vector<uint8_t>& indices) {
    int colors = 2;
    while (colors < static_cast<int>(palette.size())) colors *= 2;
    std::vector<GifColorType> entries(colors, GifColorType{0, 0, 0});
    for (size_t i = 0; i < palette.size(); ++i)
        entries[i] = {palette[i].r, palette[i].g, palette[i].b};

    int err = 0;
    // Written beside the target and renamed over it only when complete.
    std::string tmp = path + ".XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) return false;
    GifFileType* gif = EGifOpenFileHandle(fd, &err);
    if (!gif) {
        close(fd);
        unlink(tmp.c_str());
        return false;
    }
    ColorMapObject* map = GifMakeMapObject(colors, entries.data());
    bool ok = map != nullptr;
    EGifSetGifVersion(gif, true);
    ok = ok && EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK;
    ok = ok && EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < h; ++y)
        ok = EGifPutLine(gif, const_cast<GifPixelType*>(indices.data() + size_t(y) * w), w) ==
             GIF_OK;
    if (EGifCloseFile(gif, &err) != GIF_OK) ok = false;
    if (map) GifFreeMapObject(map);
    if (ok) {
        const mode_t mask = umask(0);
        umask(mask);
        chmod(tmp.c_str(), 0666 & ~mask);
        ok = rename(tmp.c_str(), path.c_str()) == 0;
    }
    if (!ok) unlink(tmp.c_str());
    return ok;
}

}  // namespace

bool ReadGifFile(const std::string& path, PCL_Interface_Composite<FCObjImage>& images) {
    int err = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
    if (!gif) return false;
    struct Closer {
        GifFileType* g;
        ~Closer() {
            int e = 0;
            DGifCloseFile(g, &e);
        }
    } closer{gif};
    // A file cut short still gives the frames read before the damage.
    DGifSlurp(gif);
    int frames = 0;
    while (frames < gif->ImageCount && gif->SavedImages[frames].RasterBits) ++frames;
    if (frames == 0) return false;

    int w = gif->SWidth, h = gif->SHeight;
    if (w <= 0 || h <= 0) {
        w = gif->SavedImages[0].ImageDesc.Width;
        h = gif->SavedImages[0].ImageDesc.Height;
    }
    if (w <= 0 || h <= 0 || static_cast<int64_t>(w) * h > (int64_t(1) << 28)) return false;

    bool localMaps = false;
    for (int i = 0; i < frames; ++i)
        localMaps = localMaps || gif->SavedImages[i].ImageDesc.ColorMap;
    const ColorMapObject* global = gif->SColorMap;
    const bool indexed = !localMaps && global;
    const int background =
        (global && gif->SBackGroundColor < global->ColorCount) ? gif->SBackGroundColor : 0;

    // The logical screen: palette indices, or B, G, R, A words.
    std::vector<uint32_t> canvas(size_t(w) * h, indexed ? uint32_t(background) : 0u);
    std::vector<uint32_t> saved;
    for (int f = 0; f < frames; ++f) {
        const SavedImage& frame = gif->SavedImages[f];
        const GifImageDesc& d = frame.ImageDesc;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : global;
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        DGifSavedExtensionToGCB(gif, f, &gcb);
        if (gcb.DisposalMode == DISPOSE_PREVIOUS) saved = canvas;
        const int x0 = std::max(0, d.Left), y0 = std::max(0, d.Top);
        const int x1 = std::min(w, d.Left + d.Width), y1 = std::min(h, d.Top + d.Height);
        if (map) {
            for (int y = y0; y < y1; ++y) {
                const GifByteType* src =
                    frame.RasterBits + size_t(y - d.Top) * d.Width + (x0 - d.Left);
                uint32_t* dst = canvas.data() + size_t(y) * w;
                for (int x = x0; x < x1; ++x, ++src) {
                    const int idx = *src;
                    if (idx == gcb.TransparentColor || idx >= map->ColorCount) continue;
                    const GifColorType& c = map->Colors[idx];
                    dst[x] = indexed ? uint32_t(idx)
                                     : (c.Blue | (c.Green << 8) | (c.Red << 16) | 0xFF000000u);
                }
            }
        }

        auto img = std::make_unique<FCObjImage>();
        if (!img->AllocateForOverwrite(w, h, indexed ? 8 : 32))
            return images.PCL_GetObjectCount() > 0;
        for (int y = 0; y < h; ++y) {
            const uint32_t* src = canvas.data() + size_t(y) * w;
            uint8_t* row = img->GetRow(y);
            if (indexed)
                for (int x = 0; x < w; ++x) row[x] = static_cast<uint8_t>(src[x]);
            else
                std::memcpy(row, src, 4 * size_t(w));
        }
        img->ZeroRowPadding();
        if (indexed) {
            FCRgbQuad pal[256] = {};
            for (int i = 0; i < global->ColorCount && i < 256; ++i)
                pal[i] = FCRgbQuad{global->Colors[i].Blue, global->Colors[i].Green,
                                   global->Colors[i].Red, 0};
            img->WritePalette(256, pal);
        }
        images.PCL_PushObject(std::move(img));

        if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
            for (int y = y0; y < y1; ++y)
                std::fill(canvas.begin() + size_t(y) * w + x0, canvas.begin() + size_t(y) * w + x1,
                          indexed ? uint32_t(background) : 0u);
        } else if (gcb.DisposalMode == DISPOSE_PREVIOUS && !saved.empty()) {
            canvas.swap(saved);
        }
    }
    return true;
}

bool WriteGifFile(const std::string& path, const FCObjImage& img) {
    if (!img.IsValid() || img.Width() > 0xFFFF || img.Height() > 0xFFFF) return false;
    const int w = img.Width(), h = img.Height();
    std::vector<uint8_t> indices(size_t(w) * h);
    std::vector<Rgb> palette;

    if (img.ColorBits() <= 8) {
        for (int i = 0; i < img.PaletteSize(); ++i) {
            const FCRgbQuad& q = img.GetPalette()[i];
            palette.push_back({q.rgbRed, q.rgbGreen, q.rgbBlue});
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                indices[size_t(y) * w + x] = static_cast<uint8_t>(img.ReadPixel(x, y));
        return Encode(path, w, h, palette, indices);
    }

    FCObjImage rgb(img);
    rgb.ToTrueColor24();
    if (!rgb.IsValid()) return false;
    auto pixel = [&](int x, int y) {
        const uint8_t* p = rgb.GetRow(y) + 3 * x;
        return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    };
    // Few colours: the palette holds each of them exactly.
    std::unordered_map<uint32_t, uint8_t> exact;
    for (int y = 0; y < h && exact.size() <= 256; ++y)
        for (int x = 0; x < w && exact.size() <= 256; ++x) exact.emplace(pixel(x, y), 0);
    if (exact.size() <= 256) {
        for (auto& [c, i] : exact) {
            i = static_cast<uint8_t>(palette.size());
            palette.push_back({uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) indices[size_t(y) * w + x] = exact[pixel(x, y)];
        return Encode(path, w, h, palette, indices);
    }

    // Otherwise a median cut over a 5-5-5 histogram.
    std::vector<uint32_t> hist(32768, 0);
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = rgb.GetRow(y);
        for (int x = 0; x < w; ++x, p += 3)
            ++hist[((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3)];
    }
    std::vector<std::pair<uint32_t, uint32_t>> colors;
    for (uint32_t c = 0; c < 32768; ++c) {
        if (!hist[c]) continue;
        const uint32_t r = ((c >> 10) & 31) * 255 / 31, g = ((c >> 5) & 31) * 255 / 31,
                       b = (c & 31) * 255 / 31;
        colors.emplace_back((r << 16) | (g << 8) | b, hist[c]);
    }
    palette = MedianCut(colors, 256);
    // Nearest palette entry for every 5-5-5 cell, then one table lookup per pixel.
    std::vector<uint8_t> lut(32768);
    for (int c = 0; c < 32768; ++c) {
        const int r = ((c >> 10) & 31) * 255 / 31, g = ((c >> 5) & 31) * 255 / 31,
                  b = (c & 31) * 255 / 31;
        int best = 0, bestD = 1 << 30;
        for (size_t i = 0; i < palette.size(); ++i) {
            const int dr = r - palette[i].r, dg = g - palette[i].g, db = b - palette[i].b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestD) bestD = d, best = static_cast<int>(i);
        }
        lut[c] = static_cast<uint8_t>(best);
    }
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = rgb.GetRow(y);
        for (int x = 0; x < w; ++x, p += 3)
            indices[size_t(y) * w + x] =
                lut[((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3)];
    }
    return Encode(path, w, h, palette, indices);
}
