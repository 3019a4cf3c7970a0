// TGA: raw and run-length true-colour, colour-mapped and grey files. Every read is checked
// against the end of the data and every packet against the end of its row.

#include <cstring>

#include "image/file_io.h"
#include "image/image_handle.h"

namespace {

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

constexpr size_t kHeader = 18;
constexpr char kIdent[12] = {'N', 'o', 'r', 'v', 'a', 'n', 'e', 'S', 'c', 'o', 'p', 'e'};

}  // namespace

bool FCImageHandle_Tga::LoadImageMemory(const uint8_t* pStart, size_t nBytes,
                                        PCL_Interface_Composite<FCObjImage>& images,
                                        std::unique_ptr<FCPropertyMap>& props) {
    if (!pStart || nBytes <= kHeader) return false;
    const uint8_t idLength = pStart[0];
    const uint8_t mapType = pStart[1];
    const uint8_t imageType = pStart[2];
    const unsigned mapFirst = Le16(pStart + 3);
    const unsigned mapLength = Le16(pStart + 5);
    const uint8_t mapEntryBits = pStart[7];
    const int width = Le16(pStart + 12);
    const int height = Le16(pStart + 14);
    int bits = pStart[16];
    const uint8_t descriptor = pStart[17];
    if (mapEntryBits == 15 || mapEntryBits == 16) return false;
    if (bits == 15) bits = 16;
    // Only whole-byte pixels can be stored in a TGA file we understand.
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (width <= 0 || height <= 0) return false;
    const bool rle = imageType >= 9 && imageType <= 11;
    const size_t pixBytes = static_cast<size_t>(bits) / 8;
    const size_t rowBytes = static_cast<size_t>(width) * pixBytes;

    size_t pos = kHeader + idLength;
    if (pos > nBytes) return false;

    FCRgbQuad table[256] = {};
    if (mapType == 1) {
        if (mapFirst + mapLength > 256) return false;
        if (mapEntryBits != 24 && mapEntryBits != 32) return false;
        const size_t entryBytes = mapEntryBits / 8;
        if (mapLength * entryBytes > nBytes - pos) return false;
        for (unsigned i = 0; i < mapLength; ++i) {
            const uint8_t* e = pStart + pos + i * entryBytes;
            table[mapFirst + i] = FCRgbQuad{e[0], e[1], e[2], entryBytes == 4 ? e[3] : uint8_t(0)};
        }
        pos += mapLength * entryBytes;
    }

    // Refuse sizes the data cannot hold before allocating: raw rows must all be present;
    // a run-length packet of 1 + pixBytes bytes covers at most 128 pixels.
    const size_t left = nBytes - pos;
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (!rle && static_cast<uint64_t>(rowBytes) * height > left) return false;
    if (rle && pixels > (left / (1 + pixBytes)) * 128) return false;

    auto img = std::make_unique<FCObjImage>();
    if (!img->AllocateForOverwrite(width, height, bits)) return false;
    if (mapType == 1) img->WritePalette(256, table);

    const uint8_t* src = pStart + pos;
    const uint8_t* const end = pStart + nBytes;
    const bool topFirst = (descriptor & 0x20) != 0;
    for (int i = 0; i < height; ++i) {
        uint8_t* dst = img->GetRow(topFirst ? i : height - 1 - i);
        if (!rle) {
            std::memcpy(dst, src, rowBytes);
            src += rowBytes;
            continue;
        }
        size_t done = 0;  // pixels of this row decoded so far
        while (done < static_cast<size_t>(width)) {
            if (src >= end) return false;
            const uint8_t c = *src++;
            const size_t count = (c & 0x7F) + 1u;
            if (done + count > static_cast<size_t>(width)) return false;  // packet crosses the row
            if (c & 0x80) {
                if (static_cast<size_t>(end - src) < pixBytes) return false;
                uint8_t* d = dst + done * pixBytes;
                for (size_t k = 0; k < count; ++k, d += pixBytes) std::memcpy(d, src, pixBytes);
                src += pixBytes;
            } else {
                const size_t n = count * pixBytes;
                if (static_cast<size_t>(end - src) < n) return false;
                std::memcpy(dst + done * pixBytes, src, n);
                src += n;
            }
            done += count;
        }
    }

    img->ZeroRowPadding();
    if (!props) props = std::make_unique<FCPropertyMap>();
    (*props)[kPropTgaRle] = rle ? "1" : "-1";
    images.PCL_PushObject(std::move(img));
    return true;
}

bool FCImageHandle_Tga::SaveImageFile(const std::string& path,
                                      const std::vector<const FCObjImage*>& images,
                                      const FCPropertyMap& props) {
    (void)props;
    if (images.empty() || !images[0] || !images[0]->IsValid()) return false;
    const FCObjImage& img = *images[0];
    const int bits = img.ColorBits();
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (img.Width() > 0xFFFF || img.Height() > 0xFFFF) return false;  // the header holds 16 bits

    const bool mapped = bits == 8;
    const size_t rowBytes = static_cast<size_t>(img.Width()) * bits / 8;
    uint8_t head[kHeader + sizeof(kIdent) + 256 * 3] = {};
    uint8_t* h = head;
    h[0] = sizeof(kIdent);
    h[1] = mapped ? 1 : 0;
    h[2] = mapped ? 1 : 2;
    h[5] = 0x00;  // colour-map length 256, entries of 24 bits, also without a map
    h[6] = 0x01;
    h[7] = 24;
    h[12] = static_cast<uint8_t>(img.Width());
    h[13] = static_cast<uint8_t>(img.Width() >> 8);
    h[14] = static_cast<uint8_t>(img.Height());
    h[15] = static_cast<uint8_t>(img.Height() >> 8);
    h[16] = static_cast<uint8_t>(bits);
    h[17] = 0x20;  // top row first
    uint8_t* p = h + kHeader;
    std::memcpy(p, kIdent, sizeof(kIdent));
    p += sizeof(kIdent);
    if (mapped) {
        const FCRgbQuad* pal = img.GetPalette();
        for (int i = 0; i < 256; ++i, p += 3) {
            p[0] = pal[i].rgbBlue;
            p[1] = pal[i].rgbGreen;
            p[2] = pal[i].rgbRed;
        }
    }
    // The rows go straight from the pixel block to the file, top row first.
    std::vector<std::pair<const void*, size_t>> pieces;
    pieces.reserve(1 + img.Height());
    pieces.emplace_back(head, static_cast<size_t>(p - head));
    for (int yy = 0; yy < img.Height(); ++yy) pieces.emplace_back(img.GetRow(yy), rowBytes);
    return WriteWholeFile(path, pieces);
}
