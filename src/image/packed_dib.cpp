#include "image/packed_dib.h"

#include <cstring>
#include <vector>

bool ImageFromPackedDib(const uint8_t* block, size_t size, FCObjImage& image) {
    if (!block || size < sizeof(FCBitmapInfoHeader)) return false;
    FCBitmapInfoHeader h;
    std::memcpy(&h, block, sizeof(h));
    if (h.biSize < sizeof(FCBitmapInfoHeader) || h.biSize > size) return false;
    const bool topDown = h.biHeight < 0;
    if (h.biHeight == INT32_MIN) return false;
    const int32_t height = topDown ? -h.biHeight : h.biHeight;

    size_t offset = h.biSize;
    // The header block FCObjImage takes: the header, then the masks of a bitfields picture.
    uint8_t headerBlock[sizeof(FCBitmapInfoHeader) + 3 * sizeof(uint32_t)] = {};
    FCBitmapInfoHeader fixed = h;
    fixed.biSize = sizeof(FCBitmapInfoHeader);
    fixed.biHeight = height;
    std::memcpy(headerBlock, &fixed, sizeof(fixed));
    if (h.biCompression == kBiBitfields) {
        if (size - offset < 3 * sizeof(uint32_t)) return false;
        std::memcpy(headerBlock + sizeof(fixed), block + offset, 3 * sizeof(uint32_t));
        offset += 3 * sizeof(uint32_t);
    }

    FCObjImage picture;
    if (!picture.Allocate(headerBlock)) return false;
    int colors = 0;
    if (picture.ColorBits() <= 8) {
        colors = h.biClrUsed ? static_cast<int>(h.biClrUsed) : 1 << picture.ColorBits();
        if (colors > (1 << picture.ColorBits())) return false;
        if ((size - offset) / sizeof(FCRgbQuad) < static_cast<size_t>(colors)) return false;
        std::vector<FCRgbQuad> palette(static_cast<size_t>(colors));
        std::memcpy(palette.data(), block + offset, colors * sizeof(FCRgbQuad));
        picture.WritePalette(colors, palette.data());
        offset += colors * sizeof(FCRgbQuad);
    }
    const size_t stride = static_cast<size_t>(picture.RowStride());
    if ((size - offset) / stride < static_cast<size_t>(height)) return false;
    const uint8_t* bits = block + offset;
    if (topDown) {
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(picture.GetRow(y), bits + y * stride, stride);
    } else {
        std::memcpy(picture.GetMemStart(), bits, stride * static_cast<size_t>(height));
    }
    image.Swap(picture);
    return true;
}
