// BMP: the pixel block is stored exactly as the file holds it, so reading and writing are
// a header plus one block move.

#include <algorithm>
#include <cstring>

#include "image/file_io.h"
#include "image/image_handle.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}

constexpr size_t kFileHeader = 14;

}  // namespace

bool FCImageHandle_Bmp::LoadImageMemory(const uint8_t* pStart, size_t nBytes,
                                        PCL_Interface_Composite<FCObjImage>& images,
                                        std::unique_ptr<FCPropertyMap>& props) {
    (void)props;
    if (!pStart || nBytes <= kFileHeader || pStart[0] != 'B' || pStart[1] != 'M') return false;
    const size_t offset = Le32(pStart + 10);
    if (nBytes <= offset) return false;

    // The information header must be there whole, with its masks when it declares them.
    if (nBytes < kFileHeader + sizeof(FCBitmapInfoHeader)) return false;
    FCBitmapInfoHeader info;
    std::memcpy(&info, pStart + kFileHeader, sizeof(info));
    if (info.biSize < sizeof(FCBitmapInfoHeader) || info.biSize > nBytes - kFileHeader)
        return false;
    if (info.biCompression == kBiBitfields &&
        nBytes < kFileHeader + sizeof(FCBitmapInfoHeader) + 12)
        return false;

    // Refuse a pixel block the file cannot hold before asking for memory. The padding of
    // the last row may be missing; anything shorter is a truncated file.
    const int64_t stride = FCObjImage::StrideFor(info.biWidth, info.biBitCount);
    if (stride < 0 || info.biHeight <= 0) return false;
    const int64_t pixelBytes = stride * info.biHeight;
    const int64_t lastRow = (static_cast<int64_t>(info.biWidth) * info.biBitCount + 7) / 8;
    if (pixelBytes > FCObjImage::kMaxPixelBytes) return false;
    if (static_cast<int64_t>(nBytes - offset) < pixelBytes - (stride - lastRow)) return false;

    // The colour map: as many entries as the header declares must fit in the file.
    const size_t palOffset = kFileHeader + info.biSize;
    int copyEntries = 0;
    if (info.biBitCount <= 8) {
        const uint32_t full = 1u << info.biBitCount;
        const uint32_t declared =
            (info.biClrUsed > 0 && info.biClrUsed <= full) ? info.biClrUsed : full;
        if (palOffset + 4 * size_t(declared) > nBytes) return false;
        copyEntries = static_cast<int>(std::min<size_t>(full, (nBytes - palOffset) / 4));
    }

    auto img = std::make_unique<FCObjImage>();
    if (!img->AllocateForOverwrite(pStart + kFileHeader)) return false;
    if (copyEntries > 0) {
        std::vector<FCRgbQuad> pal(copyEntries);
        std::memcpy(pal.data(), pStart + palOffset, 4 * size_t(copyEntries));
        img->WritePalette(copyEntries, pal.data());
    }
    const size_t copied = std::min<size_t>(nBytes - offset, img->PixelBytes());
    std::memcpy(img->GetMemStart(), pStart + offset, copied);
    std::memset(img->GetMemStart() + copied, 0, img->PixelBytes() - copied);
    images.PCL_PushObject(std::move(img));
    return true;
}

bool FCImageHandle_Bmp::SaveImageFile(const std::string& path,
                                      const std::vector<const FCObjImage*>& images,
                                      const FCPropertyMap& props) {
    (void)props;
    if (images.empty() || !images[0] || !images[0]->IsValid()) return false;
    const FCObjImage& img = *images[0];
    const std::vector<uint8_t> info = img.BuildBitmapInfo();
    const uint32_t pixelBytes = static_cast<uint32_t>(img.PixelBytes());
    uint32_t offset = 54;
    if (img.ColorBits() <= 8)
        offset = 54 + 4 * (1u << img.ColorBits());
    else if (img.GetInfoHeader().biCompression == kBiBitfields)
        offset = 54 + 12;

    uint8_t fileHeader[kFileHeader] = {'B', 'M'};
    const uint32_t fileSize = offset + pixelBytes;
    std::memcpy(fileHeader + 2, &fileSize, 4);
    std::memcpy(fileHeader + 10, &offset, 4);
    return WriteWholeFile(path, {{fileHeader, kFileHeader},
                                 {info.data(), offset - kFileHeader},
                                 {img.GetMemStart(), pixelBytes}});
}
