#include "common/bmp_file.h"

#include <cstdio>
#include <cstring>

namespace {

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool WriteBmp24(const std::string& path, const FCObjImage& image) {
    if (path.empty() || !image.IsValid() || image.ColorBits() != 24) return false;
    const uint64_t pixelBytes = image.PixelBytes();
    const uint64_t offset = 14 + sizeof(FCBitmapInfoHeader);
    if (offset + pixelBytes > 0xFFFFFFFFu) return false;

    uint8_t head[14 + sizeof(FCBitmapInfoHeader)] = {};
    head[0] = 'B';
    head[1] = 'M';
    Put32(head + 2, static_cast<uint32_t>(offset + pixelBytes));
    Put32(head + 10, static_cast<uint32_t>(offset));
    FCBitmapInfoHeader info = image.GetInfoHeader();
    info.biSize = sizeof(FCBitmapInfoHeader);
    info.biPlanes = 1;
    info.biCompression = kBiRgb;
    info.biSizeImage = static_cast<uint32_t>(pixelBytes);
    info.biClrUsed = 0;
    info.biClrImportant = 0;
    std::memcpy(head + 14, &info, sizeof(info));

    const std::string temp = path + ".part";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(head, 1, sizeof(head), f) == sizeof(head) &&
              std::fwrite(image.GetMemStart(), 1, pixelBytes, f) == pixelBytes;
    ok = (std::fclose(f) == 0) && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}
