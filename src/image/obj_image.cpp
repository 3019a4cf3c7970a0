#include "image/obj_image.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "image/pixel_kernels.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define NS_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NS_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef NS_ADDRESS_SANITIZER
// Under AddressSanitizer every block is an exact-size heap block (still page aligned), so a
// read or write one byte past the pixels is caught (whole pages would hide it), and so is a
// use after release.
uint8_t* MapPages(size_t bytes, size_t* mapped, bool zero) {
    void* p = nullptr;
    if (posix_memalign(&p, size_t(sysconf(_SC_PAGESIZE)), bytes) != 0) return nullptr;
    if (zero) std::memset(p, 0, bytes);
    *mapped = bytes;
    return static_cast<uint8_t*>(p);
}

void UnmapPages(uint8_t* p, size_t) {
    std::free(p);
}
#else
size_t PageSize() {
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

constexpr size_t kHugePage = size_t(2) << 20;
// Blocks from this size on are mapped on 2 MiB boundaries with transparent huge pages: on
// virtual machines a 4 KiB page fault costs microseconds, so a large frame faulted in 4 KiB
// steps would cost many times its copy.
constexpr size_t kHugeFrom = size_t(1) << 20;

size_t MappedLength(size_t bytes) {
    const size_t unit = bytes >= kHugeFrom ? kHugePage : PageSize();
    return std::max(unit, (bytes + unit - 1) / unit * unit);
}

// Recently released pixel blocks, kept for reuse: pictures of one size come and go all the
// time (live frames, copies, conversions), and a reused block needs no page faults.
class BlockCache {
public:
    static BlockCache& Get() {
        static BlockCache* cache = new BlockCache;  // never destroyed: used until exit
        return *cache;
    }
    uint8_t* Take(size_t len) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t i = 0; i < m_blocks.size(); ++i) {
            if (m_blocks[i].second == len) {
                uint8_t* p = m_blocks[i].first;
                m_blocks.erase(m_blocks.begin() + static_cast<std::ptrdiff_t>(i));
                m_bytes -= len;
                return p;
            }
        }
        return nullptr;
    }
    void Put(uint8_t* p, size_t len) {
        if (len > kMaxBytes / 2) {
            munmap(p, len);
            return;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_blocks.emplace_back(p, len);
        m_bytes += len;
        // Drop the oldest blocks beyond the limits.
        while (m_blocks.size() > kMaxBlocks || m_bytes > kMaxBytes) {
            munmap(m_blocks.front().first, m_blocks.front().second);
            m_bytes -= m_blocks.front().second;
            m_blocks.erase(m_blocks.begin());
        }
    }

private:
    static constexpr size_t kMaxBlocks = 6;
    static constexpr size_t kMaxBytes = size_t(384) << 20;
    std::mutex m_mutex;
    std::vector<std::pair<uint8_t*, size_t>> m_blocks;
    size_t m_bytes = 0;
};
// Readable and writable pages straight from the kernel (zeroed), or a released block, which
// is cleared when `zero` asks for it.
uint8_t* MapPages(size_t bytes, size_t* mapped, bool zero) {
    const size_t len = MappedLength(bytes);
    if (uint8_t* p = BlockCache::Get().Take(len)) {
        if (zero) std::memset(p, 0, bytes);
        *mapped = len;
        return p;
    }
    if (len < kHugeFrom) {
        void* p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return nullptr;
        *mapped = len;
        return static_cast<uint8_t*>(p);
    }
    // Map one huge page more than needed, then trim to a 2 MiB aligned range.
    void* raw =
        mmap(nullptr, len + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t(kHugePage) - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const size_t tail = (start + len + kHugePage) - (aligned + len);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + len), tail);
    madvise(reinterpret_cast<void*>(aligned), len, MADV_HUGEPAGE);
    *mapped = len;
    return reinterpret_cast<uint8_t*>(aligned);
}

void UnmapPages(uint8_t* p, size_t len) {
    BlockCache::Get().Put(p, len);
}
#endif

bool IsSupportedDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

int64_t FCObjImage::StrideFor(int64_t width, int nColorBit) {
    if (width <= 0 || !IsSupportedDepth(nColorBit)) return -1;
    const int64_t stride = (nColorBit * width + 31) / 32 * 4;
    return stride > kMaxPixelBytes ? -1 : stride;
}

FCObjImage& FCObjImage::operator=(FCObjImage&& other) noexcept {
    if (this != &other) {
        Release();
        Swap(other);
    }
    return *this;
}

void FCObjImage::Swap(FCObjImage& other) noexcept {
    std::swap(m_info, other.m_info);
    std::swap(m_pixels, other.m_pixels);
    std::swap(m_mapped, other.m_mapped);
    std::swap(m_stride, other.m_stride);
    std::swap(m_rows, other.m_rows);
    std::swap(m_palette, other.m_palette);
    std::swap(m_masks, other.m_masks);
    std::swap(x, other.x);
    std::swap(y, other.y);
}

bool FCObjImage::Allocate(const uint8_t* pHeaderBlock) {
    return AllocateImpl(pHeaderBlock, true);
}

bool FCObjImage::AllocateForOverwrite(const uint8_t* pHeaderBlock) {
    return AllocateImpl(pHeaderBlock, false);
}

bool FCObjImage::AllocateForOverwrite(int nWidth, int nHeight, int nColorBit) {
    const FCBitmapInfoHeader h = MakeHeader(nWidth, nHeight, nColorBit);
    return AllocateImpl(reinterpret_cast<const uint8_t*>(&h), false);
}

FCBitmapInfoHeader FCObjImage::MakeHeader(int nWidth, int nHeight, int nColorBit) {
    FCBitmapInfoHeader h;
    h.biWidth = nWidth;
    h.biHeight = nHeight;
    h.biBitCount = static_cast<uint16_t>(nColorBit < 0 || nColorBit > 0xFFFF ? 0 : nColorBit);
    return h;
}

void FCObjImage::ZeroRowPadding() {
    if (!IsValid()) return;
    const size_t used = (static_cast<size_t>(Width()) * ColorBits() + 7) / 8;
    if (used == static_cast<size_t>(m_stride)) return;
    for (int i = 0; i < Height(); ++i) std::memset(m_rows[i] + used, 0, m_stride - used);
}

bool FCObjImage::AllocateImpl(const uint8_t* pHeaderBlock, bool zero) {
    if (!pHeaderBlock) return false;
    FCBitmapInfoHeader in;
    std::memcpy(&in, pHeaderBlock, sizeof(in));
    if (in.biHeight <= 0 || in.biWidth <= 0) return false;
    if (in.biCompression != kBiRgb && in.biCompression != kBiBitfields) return false;
    if (!IsSupportedDepth(in.biBitCount)) return false;

    const int64_t stride = StrideFor(in.biWidth, in.biBitCount);
    if (stride < 0 || stride * in.biHeight > kMaxPixelBytes) return false;

    // Everything new is built aside first, so a failure leaves this picture as it was.
    FCObjImage fresh;
    FCBitmapInfoHeader& h = fresh.m_info;
    h.biSize = sizeof(FCBitmapInfoHeader);
    h.biWidth = in.biWidth;
    h.biHeight = in.biHeight;
    h.biPlanes = 1;
    h.biBitCount = in.biBitCount;
    h.biCompression = in.biCompression;
    h.biXPelsPerMeter = in.biXPelsPerMeter;
    h.biYPelsPerMeter = in.biYPelsPerMeter;
    if (h.biBitCount == 16) {
        if (h.biCompression == kBiBitfields) {
            std::memcpy(fresh.m_masks, pHeaderBlock + sizeof(FCBitmapInfoHeader), sizeof(m_masks));
        } else {
            fresh.m_masks[0] = 0x7C00;
            fresh.m_masks[1] = 0x03E0;
            fresh.m_masks[2] = 0x001F;
        }
    } else {
        h.biCompression = kBiRgb;
    }

    fresh.m_stride = static_cast<int>(stride);
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(h.biHeight);
    fresh.m_pixels = MapPages(bytes, &fresh.m_mapped, zero);
    if (!fresh.m_pixels) return false;

    fresh.m_rows.reset(new (std::nothrow) uint8_t*[h.biHeight]);
    if (!fresh.m_rows) return false;
    uint8_t* row = fresh.m_pixels + (h.biHeight - 1) * stride;
    for (int i = 0; i < h.biHeight; ++i, row -= stride) fresh.m_rows[i] = row;

    if (h.biBitCount <= 8) {
        const int n = 1 << h.biBitCount;
        if (!fresh.m_palette.Reset(n)) return false;
        const int step = 255 / (n - 1);
        for (int i = 0; i < n; ++i) {
            const auto v = static_cast<uint8_t>((i * step) % 256);
            fresh.m_palette[i] = FCRgbQuad{v, v, v, 0};
        }
    }

    const int32_t keepX = x, keepY = y;
    Release();
    Swap(fresh);
    x = keepX;
    y = keepY;
    return true;
}

bool FCObjImage::Allocate(int nWidth, int nHeight, int nColorBit) {
    const FCBitmapInfoHeader h = MakeHeader(nWidth, nHeight, nColorBit);
    return AllocateImpl(reinterpret_cast<const uint8_t*>(&h), true);
}

void FCObjImage::Release() {
    if (m_pixels) UnmapPages(m_pixels, m_mapped);
    m_pixels = nullptr;
    m_mapped = 0;
    m_stride = 0;
    m_rows.reset();
    m_palette.Reset(0);
    m_info = FCBitmapInfoHeader{};
    std::fill(std::begin(m_masks), std::end(m_masks), 0u);
}

uint8_t* FCObjImage::PixelPointer(int px, int py) const {
    const int bits = ColorBits();
    size_t off;
    if (bits == 32)
        off = static_cast<size_t>(px) * 4;
    else if (bits == 8)
        off = static_cast<size_t>(px);
    else
        off = static_cast<size_t>(px) * bits / 8;
    return m_rows[py] + off;
}

uint32_t FCObjImage::ReadPixel(int px, int py) const {
    if (!IsValid() || px < 0 || py < 0 || px >= Width() || py >= Height()) return 0;
    const uint8_t* p = PixelPointer(px, py);
    switch (ColorBits()) {
        case 1:
            return (*p >> (7 - px % 8)) & 1;
        case 4:
            return (px % 2 == 0) ? (*p >> 4) : (*p & 0x0F);
        case 8:
            return *p;
        case 16:
            return p[0] | (p[1] << 8);
        case 24:
            return p[0] | (p[1] << 8) | (p[2] << 16);
        case 32: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
    return 0;
}

void FCObjImage::WritePixel(int px, int py, uint32_t value) {
    if (!IsValid() || px < 0 || py < 0 || px >= Width() || py >= Height()) return;
    uint8_t* p = PixelPointer(px, py);
    switch (ColorBits()) {
        case 1: {
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (px % 8));
            *p = (value & 1) ? (*p | bit) : (*p & ~bit);
            break;
        }
        case 4:
            if (px % 2 == 0)
                *p = static_cast<uint8_t>((*p & 0x0F) | ((value & 0x0F) << 4));
            else
                *p = static_cast<uint8_t>((*p & 0xF0) | (value & 0x0F));
            break;
        case 8:
            *p = static_cast<uint8_t>(value);
            break;
        case 16:
            p[0] = static_cast<uint8_t>(value);
            p[1] = static_cast<uint8_t>(value >> 8);
            break;
        case 24:
            p[0] = static_cast<uint8_t>(value);
            p[1] = static_cast<uint8_t>(value >> 8);
            p[2] = static_cast<uint8_t>(value >> 16);
            break;
        case 32:
            std::memcpy(p, &value, 4);
            break;
    }
}

bool FCObjImage::ReadPalette(int nCount, FCRgbQuad* pEntries) const {
    if (!IsValid() || ColorBits() > 8 || PaletteSize() == 0 || !pEntries) return false;
    const int n = std::clamp(nCount, 0, PaletteSize());
    std::copy_n(m_palette.get(), n, pEntries);
    return true;
}

bool FCObjImage::WritePalette(int nCount, const FCRgbQuad* pEntries) {
    if (!IsValid() || ColorBits() > 8 || PaletteSize() == 0 || !pEntries) return false;
    const int n = std::clamp(nCount, 0, PaletteSize());
    std::copy_n(pEntries, n, m_palette.get());
    return true;
}

void FCObjImage::TakePaletteFrom(const FCObjImage& other) {
    if (!IsValid() || ColorBits() > 8 || other.ColorBits() != ColorBits()) return;
    if (other.PaletteSize() != PaletteSize()) return;
    std::copy_n(other.m_palette.get(), PaletteSize(), m_palette.get());
}

std::vector<uint8_t> FCObjImage::BuildBitmapInfo() const {
    std::vector<uint8_t> block(sizeof(FCBitmapInfoHeader));
    std::memcpy(block.data(), &m_info, sizeof(m_info));
    if (ColorBits() <= 8 && IsValid()) {
        const size_t n = sizeof(FCRgbQuad) * static_cast<size_t>(PaletteSize());
        block.resize(block.size() + n);
        std::memcpy(block.data() + sizeof(FCBitmapInfoHeader), m_palette.get(), n);
    } else {
        block.resize(block.size() + sizeof(m_masks));
        std::memcpy(block.data() + sizeof(FCBitmapInfoHeader), m_masks, sizeof(m_masks));
    }
    return block;
}

FCObjImage& FCObjImage::CopyFrom(const FCObjImage& other) {
    if (!other.IsValid() || &other == this) return *this;
    // The header block carries the masks for 16-bit pictures.
    FCBitmapInfoHeader h = other.m_info;
    uint8_t block[sizeof(FCBitmapInfoHeader) + sizeof(m_masks)];
    std::memcpy(block, &h, sizeof(h));
    std::memcpy(block + sizeof(h), other.m_masks, sizeof(m_masks));
    if (!AllocateForOverwrite(block)) return *this;
    std::memcpy(m_pixels, other.m_pixels, other.PixelBytes());
    if (ColorBits() <= 8) TakePaletteFrom(other);
    x = other.x;
    y = other.y;
    return *this;
}

void FCObjImage::ToTrueColor24() {
    if (!IsValid() || ColorBits() == 24) return;
    FCObjImage out;
    if (!out.AllocateForOverwrite(Width(), Height(), 24)) return;
    out.m_info.biXPelsPerMeter = m_info.biXPelsPerMeter;
    out.m_info.biYPelsPerMeter = m_info.biYPelsPerMeter;
    out.x = x;
    out.y = y;
    const int w = Width();
    const int bits = ColorBits();
    // Palette pictures go through a packed table; a plain grey ramp needs no table at all.
    uint32_t table[256] = {};
    bool greyRamp = bits == 8;
    for (int i = 0; i < PaletteSize(); ++i) {
        const FCRgbQuad& q = m_palette[i];
        table[i] = q.rgbBlue | (q.rgbGreen << 8) | (uint32_t(q.rgbRed) << 16);
        greyRamp = greyRamp && q.rgbBlue == i && q.rgbGreen == i && q.rgbRed == i;
    }
    const bool is565 = m_masks[1] == 0x07E0;
    for (int yy = 0; yy < Height(); ++yy) {
        const uint8_t* __restrict s = m_rows[yy];
        uint8_t* __restrict d = out.m_rows[yy];
        switch (bits) {
            case 32:
                pixel::Bgra32ToBgr24(s, d, w);
                break;
            case 8:
                if (greyRamp)
                    pixel::Gray8ToBgr24(s, d, w);
                else
                    pixel::Indexed8ToBgr24(s, d, w, table);
                break;
            case 16:
                for (int i = 0; i < w; ++i) {
                    const unsigned v = s[2 * i] | (s[2 * i + 1] << 8);
                    if (is565) {
                        d[3 * i + 2] = static_cast<uint8_t>((v >> 8) & 0xF8);
                        d[3 * i + 1] = static_cast<uint8_t>((v >> 3) & 0xFC);
                    } else {
                        d[3 * i + 2] = static_cast<uint8_t>((v >> 7) & 0xF8);
                        d[3 * i + 1] = static_cast<uint8_t>((v >> 2) & 0xF8);
                    }
                    d[3 * i] = static_cast<uint8_t>((v << 3) & 0xF8);
                }
                break;
            default:  // 1 and 4 bits
                for (int i = 0; i < w; ++i) {
                    const uint32_t v = table[ReadPixel(i, yy)];
                    d[3 * i] = static_cast<uint8_t>(v);
                    d[3 * i + 1] = static_cast<uint8_t>(v >> 8);
                    d[3 * i + 2] = static_cast<uint8_t>(v >> 16);
                }
                break;
        }
    }
    out.ZeroRowPadding();
    Release();
    Swap(out);
}

void FCObjImage::ResizeNearest(int nNewWidth, int nNewHeight) {
    if (!IsValid() || ColorBits() < 8) return;
    if (nNewWidth == Width() && nNewHeight == Height()) return;
    FCObjImage out;
    uint8_t block[sizeof(FCBitmapInfoHeader) + sizeof(m_masks)];
    FCBitmapInfoHeader h = m_info;
    h.biWidth = nNewWidth;
    h.biHeight = nNewHeight;
    std::memcpy(block, &h, sizeof(h));
    std::memcpy(block + sizeof(h), m_masks, sizeof(m_masks));
    if (!out.AllocateForOverwrite(block)) return;
    if (ColorBits() <= 8) out.TakePaletteFrom(*this);
    out.x = x;
    out.y = y;

    const int bpp = ColorBits() / 8;
    const int64_t oldW = Width(), oldH = Height();
    // Byte offsets of the source pixel of every destination column, computed once: the
    // loads of a row then do not depend on each other.
    std::vector<int> offsets(nNewWidth);
    for (int i = 0; i < nNewWidth; ++i) offsets[i] = static_cast<int>((i * oldW / nNewWidth) * bpp);
    const int* ofs = offsets.data();
    // Destination columns (a prefix) whose source pixel has another pixel after it in the row.
    int fastColumns = 0;
    while (fastColumns < nNewWidth - 1 && (fastColumns * oldW / nNewWidth) < oldW - 1)
        ++fastColumns;
    const size_t rowBytes = static_cast<size_t>(nNewWidth) * bpp;
    int64_t lastSrc = -1;
    for (int yy = 0; yy < nNewHeight; ++yy) {
        const int64_t sy = yy * oldH / nNewHeight;
        uint8_t* __restrict d = out.m_rows[yy];
        if (sy == lastSrc) {  // same source row as the row above: copy it whole
            std::memcpy(d, out.m_rows[yy - 1], rowBytes);
            continue;
        }
        lastSrc = sy;
        const uint8_t* __restrict s = m_rows[sy];
        switch (bpp) {
            case 1:
                for (int i = 0; i < nNewWidth; ++i) d[i] = s[ofs[i]];
                break;
            case 2:
                for (int i = 0; i < nNewWidth; ++i) std::memcpy(d + 2 * i, s + ofs[i], 2);
                break;
            case 3: {
                // Four-byte moves while the source pixel is not the last of its row (the
                // spilled byte is overwritten by the next pixel), three-byte moves after.
                int i = 0;
                for (; i < fastColumns; ++i) std::memcpy(d + 3 * i, s + ofs[i], 4);
                for (; i < nNewWidth; ++i) std::memcpy(d + 3 * i, s + ofs[i], 3);
                break;
            }
            case 4:
                for (int i = 0; i < nNewWidth; ++i) std::memcpy(d + 4 * i, s + ofs[i], 4);
                break;
        }
    }
    out.ZeroRowPadding();
    Release();
    Swap(out);
}

bool FCObjImage::ExtractRegion(FCObjImage* pDest, FCRect rc) const {
    if (!IsValid() || !pDest || pDest == this || ColorBits() < 8) return false;
    const int l = std::max(rc.left, 0), t = std::max(rc.top, 0);
    const int r = std::min(rc.right, Width()), b = std::min(rc.bottom, Height());
    if (l >= r || t >= b) return false;
    uint8_t block[sizeof(FCBitmapInfoHeader) + sizeof(m_masks)];
    FCBitmapInfoHeader h = m_info;
    h.biWidth = r - l;
    h.biHeight = b - t;
    std::memcpy(block, &h, sizeof(h));
    std::memcpy(block + sizeof(h), m_masks, sizeof(m_masks));
    if (!pDest->AllocateForOverwrite(block)) return false;
    const size_t bpp = ColorBits() / 8;
    const size_t rowBytes = static_cast<size_t>(r - l) * bpp;
    for (int yy = t; yy < b; ++yy)
        std::memcpy(pDest->m_rows[yy - t], m_rows[yy] + l * bpp, rowBytes);
    if (ColorBits() <= 8) pDest->TakePaletteFrom(*this);
    pDest->ZeroRowPadding();
    pDest->x = l;
    pDest->y = t;
    return true;
}

int64_t FCObjImage::SaveRestoreBlock(bool bSave, uint8_t* pBlock) {
    constexpr size_t kHead = sizeof(FCBitmapInfoHeader) + sizeof(m_masks);
    if (bSave) {
        const int64_t size = static_cast<int64_t>(PixelBytes()) + kHead + 8;
        if (!pBlock) return size;
        std::memcpy(pBlock, &m_info, sizeof(m_info));
        std::memcpy(pBlock + sizeof(m_info), m_masks, sizeof(m_masks));
        if (IsValid()) std::memcpy(pBlock + kHead, m_pixels, PixelBytes());
        std::memcpy(pBlock + kHead + PixelBytes(), &x, 4);
        std::memcpy(pBlock + kHead + PixelBytes() + 4, &y, 4);
        return size;
    }
    if (!pBlock) return 0;
    FCBitmapInfoHeader h;
    std::memcpy(&h, pBlock, sizeof(h));
    uint8_t head[kHead];
    std::memcpy(head, pBlock, kHead);
    // The stored masks are used whatever the compression says.
    if (h.biBitCount == 16) {
        h.biCompression = kBiBitfields;
        std::memcpy(head, &h, sizeof(h));
    }
    if (!Allocate(head)) return 0;
    if (h.biBitCount == 16)
        m_info.biCompression = reinterpret_cast<const FCBitmapInfoHeader*>(pBlock)->biCompression;
    std::memcpy(m_pixels, pBlock + kHead, PixelBytes());
    std::memcpy(&x, pBlock + kHead + PixelBytes(), 4);
    std::memcpy(&y, pBlock + kHead + PixelBytes() + 4, 4);
    return static_cast<int64_t>(PixelBytes()) + kHead + 8;
}
