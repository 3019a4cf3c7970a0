// JPEG, GIF, PNG, TIFF and ICO through Qt's image I/O; GIF is written by giflib because
// Qt has no GIF writer.

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QString>
#include <cstring>
#include <string_view>

#include "image/file_io.h"
#include "image/gif_codec.h"
#include "image/image_handle.h"
#include "image/jpeg_scans.h"
#include "image/pixel_kernels.h"

namespace {

FCRgbQuad ToQuad(QRgb c) {
    return FCRgbQuad{static_cast<uint8_t>(qBlue(c)), static_cast<uint8_t>(qGreen(c)),
                     static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qAlpha(c))};
}

bool AllocateMasked(FCObjImage& img, int w, int h, uint32_t r, uint32_t g, uint32_t b) {
    uint8_t block[sizeof(FCBitmapInfoHeader) + 12];
    FCBitmapInfoHeader hdr;
    hdr.biWidth = w;
    hdr.biHeight = h;
    hdr.biBitCount = 16;
    hdr.biCompression = kBiBitfields;
    std::memcpy(block, &hdr, sizeof(hdr));
    const uint32_t masks[3] = {r, g, b};
    std::memcpy(block + sizeof(hdr), masks, sizeof(masks));
    return img.AllocateForOverwrite(block);
}

// One decoded frame as a picture; null for pixel formats that have no picture form.
std::unique_ptr<FCObjImage> FrameToImage(QImage frame) {
    const int w = frame.width(), h = frame.height();
    auto img = std::make_unique<FCObjImage>();
    switch (frame.format()) {
        case QImage::Format_MonoLSB:
            frame = frame.convertToFormat(QImage::Format_Mono);
            [[fallthrough]];
        case QImage::Format_Mono:
        case QImage::Format_Indexed8: {
            const int bits = frame.format() == QImage::Format_Mono ? 1 : 8;
            if (!img->AllocateForOverwrite(w, h, bits)) return nullptr;
            const QList<QRgb> table = frame.colorTable();
            std::vector<FCRgbQuad> pal;
            for (QRgb c : table) pal.push_back(ToQuad(c));
            if (!pal.empty()) img->WritePalette(static_cast<int>(pal.size()), pal.data());
            const size_t rowBytes = (static_cast<size_t>(w) * bits + 7) / 8;
            for (int y = 0; y < h; ++y)
                std::memcpy(img->GetRow(y), frame.constScanLine(y), rowBytes);
            return img;
        }
        case QImage::Format_Grayscale8:
            // A grey frame is an 8-bit picture with the grey ramp it gets on allocation.
            if (!img->AllocateForOverwrite(w, h, 8)) return nullptr;
            for (int y = 0; y < h; ++y) std::memcpy(img->GetRow(y), frame.constScanLine(y), w);
            return img;
        case QImage::Format_RGB555:
        case QImage::Format_RGB16: {
            const bool is565 = frame.format() == QImage::Format_RGB16;
            if (!AllocateMasked(*img, w, h, is565 ? 0xF800 : 0x7C00, is565 ? 0x07E0 : 0x03E0,
                                0x001F))
                return nullptr;
            for (int y = 0; y < h; ++y)
                std::memcpy(img->GetRow(y), frame.constScanLine(y), 2 * size_t(w));
            return img;
        }
        case QImage::Format_RGB32:
        case QImage::Format_RGB888:
        case QImage::Format_BGR888: {
            // Qt holds 24-bit colour files (JPEG, PNG, TIFF) in this form; they are 24-bit
            // pictures.
            if (!img->AllocateForOverwrite(w, h, 24)) return nullptr;
            for (int y = 0; y < h; ++y) {
                const uint8_t* s = frame.constScanLine(y);
                uint8_t* d = img->GetRow(y);
                if (frame.format() == QImage::Format_BGR888)
                    std::memcpy(d, s, 3 * size_t(w));
                else if (frame.format() == QImage::Format_RGB888)
                    pixel::SwapRedBlue24(s, d, w);
                else
                    pixel::Bgra32ToBgr24(s, d, w);
            }
            return img;
        }
        case QImage::Format_RGBX8888: {
            // 32-bit colour without alpha: the alpha bytes are made opaque.
            frame = frame.convertToFormat(QImage::Format_RGB32);
            if (!img->AllocateForOverwrite(w, h, 32)) return nullptr;
            for (int y = 0; y < h; ++y) {
                const uint8_t* s = frame.constScanLine(y);
                uint8_t* d = img->GetRow(y);
                std::memcpy(d, s, 4 * size_t(w));
                for (int x = 0; x < w; ++x) d[4 * x + 3] = 255;
            }
            return img;
        }
        case QImage::Format_ARGB32:
        case QImage::Format_ARGB32_Premultiplied:
        case QImage::Format_RGBA8888:
        case QImage::Format_RGBA8888_Premultiplied: {
            if (frame.format() == QImage::Format_RGBA8888)
                frame = frame.convertToFormat(QImage::Format_ARGB32);
            else if (frame.format() == QImage::Format_RGBA8888_Premultiplied)
                frame = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            if (!img->AllocateForOverwrite(w, h, 32)) return nullptr;
            for (int y = 0; y < h; ++y)
                std::memcpy(img->GetRow(y), frame.constScanLine(y), 4 * size_t(w));
            return img;
        }
        case QImage::Format_Grayscale16:
            // 16-bit grey (common for scientific cameras) keeps its upper 8 bits.
            return FrameToImage(frame.convertToFormat(QImage::Format_Grayscale8));
        case QImage::Format_RGBX64:
        case QImage::Format_RGB30:
        case QImage::Format_BGR30:
        case QImage::Format_RGBX16FPx4:
        case QImage::Format_RGBX32FPx4:
            // Deeper colour without alpha: 8 bits per channel.
            return FrameToImage(frame.convertToFormat(QImage::Format_RGB32));
        case QImage::Format_RGBA64:
        case QImage::Format_RGBA64_Premultiplied:
        case QImage::Format_A2RGB30_Premultiplied:
        case QImage::Format_A2BGR30_Premultiplied:
        case QImage::Format_RGBA16FPx4:
        case QImage::Format_RGBA16FPx4_Premultiplied:
        case QImage::Format_RGBA32FPx4:
        case QImage::Format_RGBA32FPx4_Premultiplied:
            return FrameToImage(frame.convertToFormat(QImage::Format_ARGB32));
        default:
            return nullptr;
    }
}

// Known metadata tags and the names Qt gives them.
struct TagName {
    int32_t tag;
    const char* key;
};
constexpr TagName kTags[] = {
    {0x010E, "Description"}, {0x010F, "Make"},      {0x0110, "Model"},    {0x0131, "Software"},
    {0x013B, "Author"},      {0x8298, "Copyright"}, {0x0132, "DateTime"}, {0x9286, "Comment"},
};

QImage ImageToQImage(const FCObjImage& img) {
    const int w = img.Width(), h = img.Height();
    QImage out;
    switch (img.ColorBits()) {
        case 1:
        case 4:
        case 8: {
            // Qt has no 4-bit form: those pictures are written as 8-bit indexed.
            out =
                QImage(w, h, img.ColorBits() == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
            if (out.isNull()) return out;
            QList<QRgb> table;
            for (int i = 0; i < img.PaletteSize(); ++i) {
                const FCRgbQuad& q = img.GetPalette()[i];
                table.push_back(qRgba(q.rgbRed, q.rgbGreen, q.rgbBlue, 255));
            }
            out.setColorTable(table);
            for (int y = 0; y < h; ++y) {
                if (img.ColorBits() == 4) {
                    uint8_t* d = out.scanLine(y);
                    for (int x = 0; x < w; ++x) d[x] = static_cast<uint8_t>(img.ReadPixel(x, y));
                } else {
                    std::memcpy(out.scanLine(y), img.GetRow(y),
                                (size_t(w) * img.ColorBits() + 7) / 8);
                }
            }
            return out;
        }
        case 16:
            out = QImage(
                w, h, img.GetMasks()[1] == 0x07E0 ? QImage::Format_RGB16 : QImage::Format_RGB555);
            if (out.isNull()) return out;
            for (int y = 0; y < h; ++y) std::memcpy(out.scanLine(y), img.GetRow(y), 2 * size_t(w));
            return out;
        case 24:
            out = QImage(w, h, QImage::Format_RGB888);
            if (out.isNull()) return out;
            for (int y = 0; y < h; ++y) pixel::SwapRedBlue24(img.GetRow(y), out.scanLine(y), w);
            return out;
        case 32:
            out = QImage(w, h, QImage::Format_ARGB32);
            if (out.isNull()) return out;
            for (int y = 0; y < h; ++y) std::memcpy(out.scanLine(y), img.GetRow(y), 4 * size_t(w));
            return out;
    }
    return out;
}

}  // namespace

int FCImageHandle_Qt::JpegQuality(const FCPropertyMap& props) {
    const std::string* text = nullptr;
    auto it = props.find(kPropJpegQuality);
    if (it != props.end() && !it->second.empty()) {
        text = &it->second;
    } else {
        it = props.find(kPropJpegQualityAlt);
        if (it != props.end()) text = &it->second;
    }
    if (!text || *text == "-1") return 80;
    // Decimal text; whatever does not parse counts as 0 and is clamped like any other value.
    long v = 0;
    try {
        v = std::stol(*text);
    } catch (...) {
        v = 0;
    }
    return static_cast<int>(std::clamp<long>(v, 1, 100));
}

namespace {

// The Qt reader for the file's signature, or null for bytes this handler does not read.
const char* QtFormatOf(const uint8_t* p, size_t n) {
    auto starts = [&](const char* sig, size_t len) {
        return n >= len && std::memcmp(p, sig, len) == 0;
    };
    if (starts("\xFF\xD8\xFF", 3)) return "jpeg";
    if (starts("\x89PNG\r\n\x1A\n", 8)) return "png";
    // Classic and big TIFF, either byte order.
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
        return "tiff";
    // Icons and cursors: reserved 0, type 1 or 2, at least one image.
    if (n >= 6 && p[0] == 0 && p[1] == 0 && (p[2] == 1 || p[2] == 2) && p[3] == 0 &&
        (p[4] | p[5]) != 0)
        return "ico";
    return nullptr;
}

bool ReadWithQt(const char* format, const uint8_t* pStart, size_t nBytes, int maxFrames,
                PCL_Interface_Composite<FCObjImage>& images, std::unique_ptr<FCPropertyMap>& props) {
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(pStart), qsizetype(nBytes));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return false;
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(false);
    reader.setDecideFormatFromContent(false);
    if (!reader.canRead()) return false;

    FCDecodeBudget budget(nBytes);
    // Counting the frames walks the whole file (every TIFF directory); one frame needs none of it.
    int count = maxFrames == 1 ? 1 : std::max(1, reader.imageCount());
    if (maxFrames > 0) count = std::min(count, maxFrames);
    const bool animated = reader.supportsAnimation();
    for (int i = 0; i < count; ++i) {
        // Step by step: jumping to page i walks a TIFF's directories from the first again.
        if (i > 0 && !animated && !reader.jumpToNextImage() && !reader.jumpToImage(i)) break;
        // A size the file cannot hold is refused before the decoder allocates for it.
        const QSize declared = reader.size();
        if (declared.isValid() &&
            !FCDecodeBudget::Plausible(int64_t(declared.width()) * declared.height(), nBytes))
            break;
        QImage frame;
        if (!reader.read(&frame)) break;
        if (i == 0) {
            if (!props) props = std::make_unique<FCPropertyMap>();
            for (const TagName& t : kTags) {
                const QString v = frame.text(QString::fromLatin1(t.key));
                if (!v.isEmpty()) (*props)[t.tag] = v.toStdString();
            }
        }
        if (!budget.Take(int64_t(frame.width()) * frame.height(), frame.sizeInBytes())) break;
        if (auto img = FrameToImage(std::move(frame))) {
            img->ZeroRowPadding();
            images.PCL_PushObject(std::move(img));
        }
    }
    return images.PCL_GetObjectCount() > 0;
}

}  // namespace

bool FCImageHandle_Qt::LoadImageMemory(const uint8_t* pStart, size_t nBytes,
                                       PCL_Interface_Composite<FCObjImage>& images,
                                       std::unique_ptr<FCPropertyMap>& props) {
    if (!pStart || nBytes == 0) return false;
    // GIF frames keep their palette when giflib reads them; Qt would hand them over as RGB.
    if (IsGifData(pStart, nBytes)) {
        if (!ReadGifMemory(pStart, nBytes, images, m_nFrameLimit)) return false;
        if (!props) props = std::make_unique<FCPropertyMap>();
        return true;
    }
    // A bitmap under another name goes to our own codec.
    if (nBytes >= 2 && pStart[0] == 'B' && pStart[1] == 'M')
        return FCImageHandle_Bmp().LoadImageMemory(pStart, nBytes, images, props);
    const char* format = QtFormatOf(pStart, nBytes);
    if (!format) return false;
    if (format == std::string_view("jpeg") && JpegScanCount(pStart, nBytes) > kMaxJpegScans)
        return false;
    return ReadWithQt(format, pStart, nBytes, m_nFrameLimit, images, props);
}

bool FCImageHandle_Qt::SaveImageFile(const std::string& path,
                                     const std::vector<const FCObjImage*>& images,
                                     const FCPropertyMap& props) {
    if (images.empty() || !images[0] || !images[0]->IsValid()) return false;
    const FCObjImage& img = *images[0];
    const IMAGE_TYPE type = FCImageHandleFactory::QueryImageFileType(path);
    const char* format = nullptr;
    switch (type) {
        case IMG_JPG:
            format = "jpeg";
            break;
        case IMG_TIF:
            format = "tiff";
            break;
        case IMG_PNG:
            format = "png";
            break;
        case IMG_GIF:
            return WriteGifFile(path, img);
        default:
            return false;
    }
    QImage out = ImageToQImage(img);
    if (out.isNull()) return false;
    for (const TagName& t : kTags) {
        auto it = props.find(t.tag);
        if (it != props.end())
            out.setText(QString::fromLatin1(t.key), QString::fromStdString(it->second));
    }
    // Encode into memory first, so a failed encode never truncates an existing file.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (type == IMG_JPG) writer.setQuality(JpegQuality(props));
    // PNG: fastest compression, as a camera program saves many large frames.
    if (type == IMG_PNG) writer.setCompression(1);
    if (!writer.write(out)) return false;
    return WriteWholeFile(path, {{bytes.constData(), static_cast<size_t>(bytes.size())}});
}
