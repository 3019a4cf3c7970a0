#include "image/gif_codec.h"

#include <gif_lib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "image/image_handle.h"

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

namespace {

struct MemoryInput {
    const uint8_t* next;
    size_t left;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buf, int n) {
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    const size_t k = std::min(in->left, n > 0 ? static_cast<size_t>(n) : size_t(0));
    std::memcpy(buf, in->next, k);
    in->next += k;
    in->left -= k;
    return static_cast<int>(k);
}

// One frame as the file holds it: its place on the screen, its indices and how it is shown.
struct GifFrame {
    int left, top, width, height;
    std::vector<GifByteType> raster;
    std::vector<GifColorType> localMap;  // empty: the global map applies
    GraphicsControlBlock gcb;
};

constexpr GraphicsControlBlock kNoControl{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};

// The frame's indices, rows in display order; false when the data is damaged or cut short.
bool ReadRaster(GifFileType* gif, GifFrame& f) {
    f.raster.resize(size_t(f.width) * size_t(f.height));
    if (!gif->Image.Interlace)
        return DGifGetLine(gif, f.raster.data(), f.width * f.height) == GIF_OK;
    // Interlaced rows arrive in four passes: every 8th from 0, every 8th from 4, every 4th
    // from 2, every 2nd from 1.
    static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < f.height; y += kStep[pass])
            if (DGifGetLine(gif, f.raster.data() + size_t(y) * f.width, f.width) != GIF_OK)
                return false;
    return true;
}

struct GifFile {
    int width = 0, height = 0;  // the logical screen
    std::vector<GifColorType> globalMap;
    int background = 0;
    std::vector<GifFrame> frames;  // those decoded
    bool localMaps = false;        // whether any sound frame, decoded or not, has its own map
    int left = INT_MAX, top = INT_MAX, right = 0, bottom = 0;  // what the sound frames cover
};

// A screen is the picture's size; one far larger than everything its frames cover is a size
// made up to make us allocate (all but a corner would be background).
constexpr int64_t kGifScreenPerCovered = 16;
constexpr int64_t kGifScreenAlways = int64_t(1) << 20;
// Composed frames repeat the screen: LZW codes at most about 2,700 pixels per byte, so pictures
// of more pixels than this per byte of file are no longer the file's content.
constexpr int64_t kGifPixelsPerByte = 4096;

// Reads the screen and the frames that are sound, decoding up to maxFrames of them (0: all)
// and looking at the rest. Every size is checked before memory is taken for it: a frame must
// lie inside the screen, and neither the screen nor a frame may hold more pixels than the
// bytes left in the file could code.
bool ReadGifFrames(const uint8_t* data, size_t size, int maxFrames, GifFile& out) {
    MemoryInput in{data, size};
    int err = 0;
    GifFileType* gif = DGifOpen(&in, ReadFromMemory, &err);
    if (!gif) return false;
    struct Closer {
        GifFileType* g;
        ~Closer() {
            int e = 0;
            DGifCloseFile(g, &e);
        }
    } closer{gif};
    if (const ColorMapObject* m = gif->SColorMap; m && m->Colors && m->ColorCount > 0) {
        out.globalMap.assign(m->Colors, m->Colors + std::min(m->ColorCount, 256));
        if (gif->SBackGroundColor < static_cast<int>(out.globalMap.size()))
            out.background = gif->SBackGroundColor;
    }
    GraphicsControlBlock gcb = kNoControl;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) != GIF_OK || type == TERMINATE_RECORD_TYPE) break;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) != GIF_OK) break;
            // The control block applies to the next frame only.
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] == 4)
                DGifExtensionToGCB(4, ext + 1, &gcb);
            bool ok = true;
            while (ext && (ok = DGifGetExtensionNext(gif, &ext) == GIF_OK)) {
            }
            if (!ok) break;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) != GIF_OK) break;
        const GifImageDesc& d = gif->Image;
        if (out.frames.empty()) {
            // A file without a screen size gets the first frame's extent.
            if (gif->SWidth <= 0 || gif->SHeight <= 0) {
                out.width = d.Left + d.Width;
                out.height = d.Top + d.Height;
            } else {
                out.width = gif->SWidth;
                out.height = gif->SHeight;
            }
            if (out.width <= 0 || out.height <= 0 ||
                !FCDecodeBudget::Plausible(int64_t(out.width) * out.height, size))
                return false;
        }
        if (d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0 ||
            d.Left + d.Width > out.width || d.Top + d.Height > out.height ||
            !FCDecodeBudget::Plausible(int64_t(d.Width) * d.Height, in.left))
            break;
        GifFrame f{d.Left, d.Top, d.Width, d.Height, {}, {}, gcb};
        gcb = kNoControl;
        const bool localMap = d.ColorMap && d.ColorMap->Colors && d.ColorMap->ColorCount > 0;
        if (maxFrames == 0 || static_cast<int>(out.frames.size()) < maxFrames) {
            if (localMap)
                f.localMap.assign(d.ColorMap->Colors,
                                  d.ColorMap->Colors + std::min(d.ColorMap->ColorCount, 256));
            // A file cut short still gives the frames read before the damage.
            if (!ReadRaster(gif, f)) break;
            out.frames.push_back(std::move(f));
        } else {
            // Past the frames wanted only the coded blocks are stepped over.
            int codeSize = 0;
            GifByteType* block = nullptr;
            if (DGifGetCode(gif, &codeSize, &block) != GIF_OK) break;
            bool ok = true;
            while (block && (ok = DGifGetCodeNext(gif, &block) == GIF_OK)) {
            }
            if (!ok) break;
        }
        out.localMaps = out.localMaps || localMap;
        out.left = std::min(out.left, d.Left);
        out.top = std::min(out.top, d.Top);
        out.right = std::max(out.right, d.Left + d.Width);
        out.bottom = std::max(out.bottom, d.Top + d.Height);
    }
    if (out.frames.empty()) return false;
    const int64_t covered = int64_t(out.right - out.left) * (out.bottom - out.top);
    return int64_t(out.width) * out.height <= std::max(kGifScreenAlways, kGifScreenPerCovered * covered);
}

// Composes the frames on the screen as a viewer shows them, one picture per frame, while the
// decoded pictures stay within the budget.
template <typename Pixel>
void ComposeFrames(const GifFile& file, bool indexed, size_t fileBytes,
                   PCL_Interface_Composite<FCObjImage>& images) {
    const int w = file.width, h = file.height;
    const Pixel background = indexed ? Pixel(file.background) : Pixel(0);
    FCDecodeBudget budget(fileBytes, kGifPixelsPerByte);
    const int bits = indexed ? 8 : 32;
    const int64_t frameBytes = FCObjImage::StrideFor(w, bits) * h;
    const int64_t canvasBytes = int64_t(w) * h * int64_t(sizeof(Pixel));
    std::vector<Pixel> canvas, saved;
    if (!budget.Take(0, canvasBytes)) return;
    canvas.assign(size_t(w) * h, background);
    for (const GifFrame& f : file.frames) {
        if (!budget.Take(int64_t(w) * h, frameBytes)) return;
        const std::vector<GifColorType>& map = f.localMap.empty() ? file.globalMap : f.localMap;
        if (f.gcb.DisposalMode == DISPOSE_PREVIOUS) {
            if (saved.empty() && !budget.Take(0, canvasBytes)) return;
            saved = canvas;
        }
        for (int y = 0; y < f.height; ++y) {
            const GifByteType* src = f.raster.data() + size_t(y) * f.width;
            Pixel* dst = canvas.data() + size_t(f.top + y) * w + f.left;
            for (int x = 0; x < f.width; ++x) {
                const int idx = src[x];
                if (idx == f.gcb.TransparentColor || idx >= static_cast<int>(map.size())) continue;
                if constexpr (sizeof(Pixel) == 1) {
                    dst[x] = static_cast<Pixel>(idx);
                } else {
                    const GifColorType& c = map[idx];
                    dst[x] = c.Blue | (c.Green << 8) | (c.Red << 16) | 0xFF000000u;
                }
            }
        }

        auto img = std::make_unique<FCObjImage>();
        if (!img->AllocateForOverwrite(w, h, bits)) return;
        for (int y = 0; y < h; ++y)
            std::memcpy(img->GetRow(y), canvas.data() + size_t(y) * w, sizeof(Pixel) * size_t(w));
        img->ZeroRowPadding();
        if (indexed) {
            FCRgbQuad pal[256] = {};
            for (size_t i = 0; i < file.globalMap.size(); ++i)
                pal[i] = FCRgbQuad{file.globalMap[i].Blue, file.globalMap[i].Green,
                                   file.globalMap[i].Red, 0};
            img->WritePalette(256, pal);
        }
        images.PCL_PushObject(std::move(img));

        if (f.gcb.DisposalMode == DISPOSE_BACKGROUND) {
            for (int y = 0; y < f.height; ++y) {
                Pixel* row = canvas.data() + size_t(f.top + y) * w + f.left;
                std::fill(row, row + f.width, background);
            }
        } else if (f.gcb.DisposalMode == DISPOSE_PREVIOUS && !saved.empty()) {
            canvas.swap(saved);
        }
    }
}

}  // namespace

bool IsGifData(const uint8_t* data, size_t size) {
    return size >= 6 && std::memcmp(data, "GIF8", 4) == 0 && (data[4] == '7' || data[4] == '9') &&
           data[5] == 'a';
}

bool ReadGifMemory(const uint8_t* data, size_t size, PCL_Interface_Composite<FCObjImage>& images,
                   int maxFrames) {
    if (!data || !IsGifData(data, size)) return false;
    GifFile file;
    if (!ReadGifFrames(data, size, maxFrames, file)) return false;
    // Frames with colour maps of their own are composed in 32 bits.
    const bool indexed = !file.localMaps && !file.globalMap.empty();
    if (indexed)
        ComposeFrames<uint8_t>(file, true, size, images);
    else
        ComposeFrames<uint32_t>(file, false, size, images);
    return images.PCL_GetObjectCount() > 0;
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
