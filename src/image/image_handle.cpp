#include "image/image_handle.h"

#include <malloc.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "image/file_io.h"

bool FCImageHandleBase::LoadImageFile(const std::string& path,
                                      PCL_Interface_Composite<FCObjImage>& images,
                                      std::unique_ptr<FCPropertyMap>& props) {
    FCMappedFile file(path);
    if (!file.ok()) return false;
    return LoadImageMemory(file.data(), file.size(), images, props);
}

namespace {
int64_t PixelsFor(size_t bytes, int64_t perByte) {
    const uint64_t maxBytes = uint64_t(INT64_MAX) / uint64_t(perByte);
    return static_cast<int64_t>(std::min<uint64_t>(bytes, maxBytes)) * perByte;
}
}  // namespace

FCDecodeBudget::FCDecodeBudget(size_t fileBytes, int64_t pixelsPerByte)
    : m_pixels(PixelsFor(fileBytes, std::clamp<int64_t>(pixelsPerByte, 1, kMaxPixelsPerFileByte))),
      m_bytes(kMaxDecodedBytes) {}

bool FCDecodeBudget::Plausible(int64_t pixels, size_t bytes) {
    return pixels > 0 && pixels <= PixelsFor(bytes, kMaxPixelsPerFileByte);
}

bool FCDecodeBudget::Take(int64_t pixels, int64_t bytes) {
    if (pixels < 0 || bytes < 0 || pixels > m_pixels || bytes > m_bytes) return false;
    m_pixels -= pixels;
    m_bytes -= bytes;
    return true;
}

FCImageHandleFactory& FCImageHandleFactory::Get() {
    static FCImageHandleFactory factory = [] {
        // Decoders allocate whole frames on the heap (a 3488 x 2616 frame in 32 bits is 36 MB).
        // Above the allocator's mapping threshold every such frame would be mapped afresh and
        // page-faulted in, which on virtual machines costs several times the decoding itself;
        // keep them in the heap and reuse the memory instead.
        mallopt(M_MMAP_THRESHOLD, 256 << 20);
        mallopt(M_TRIM_THRESHOLD, 512 << 20);
        return FCImageHandleFactory();
    }();
    return factory;
}

IMAGE_TYPE FCImageHandleFactory::QueryImageFileType(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return IMG_UNKNOW;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    static const struct {
        const char* ext;
        IMAGE_TYPE type;
    } kTable[] = {
        {"jpg", IMG_JPG}, {"jpeg", IMG_JPG}, {"gif", IMG_GIF},  {"png", IMG_PNG}, {"bmp", IMG_BMP},
        {"pcx", IMG_PCX}, {"tif", IMG_TIF},  {"tiff", IMG_TIF}, {"tga", IMG_TGA}, {"ico", IMG_ICO},
        {"psd", IMG_PSD}, {"xpm", IMG_XPM},  {"oxo", IMG_OXO},
    };
    for (const auto& e : kTable)
        if (ext == e.ext) return e.type;
    return IMG_UNKNOW;
}

FCImageHandleBase* FCImageHandleFactory::CreateImageHandle(IMAGE_TYPE type) const {
    switch (type) {
        case IMG_BMP:
            return new FCImageHandle_Bmp;
        case IMG_TGA:
            return new FCImageHandle_Tga;
        case IMG_JPG:
        case IMG_GIF:
        case IMG_TIF:
        case IMG_PNG:
        case IMG_ICO:
            return new FCImageHandle_Qt;
        default:
            return nullptr;
    }
}

bool FCImageHandleFactory::CanRead(IMAGE_TYPE type) {
    switch (type) {
        case IMG_BMP:
        case IMG_TGA:
        case IMG_JPG:
        case IMG_GIF:
        case IMG_TIF:
        case IMG_PNG:
        case IMG_ICO:
            return true;
        default:
            return false;
    }
}

bool FCImageHandleFactory::CanWrite(IMAGE_TYPE type) {
    return CanRead(type) && type != IMG_ICO;
}
