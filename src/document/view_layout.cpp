#include "document/view_layout.h"

#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/image_draw.h"
#include "image/obj_image.h"
#include "overlay/element_manager.h"

namespace {

struct ZoomEntry {
    const char* text;
    int num;
    int den;
    float scale;
};

// The scales of 67 % and 33 % are the rounded values the overlay has always used, not 2/3 and 1/3.
constexpr ZoomEntry kZoomList[kZoomListCount] = {
    {"250%", 5, 2, 2.5f},  {"200%", 2, 1, 2.0f},  {"150%", 3, 2, 1.5f},   {"125%", 5, 4, 1.25f},
    {"100%", 1, 1, 1.0f},  {"75%", 3, 4, 0.75f},  {"67%", 2, 3, 0.667f},  {"50%", 1, 2, 0.5f},
    {"33%", 1, 3, 0.334f}, {"25%", 1, 4, 0.25f},  {"\u9002\u5408\u7a97\u53e3", 0, 0, 0.0f},
};

bool InList(int index) { return index >= 0 && index < kZoomListCount; }

}  // namespace

QString ZoomText(int index) {
    return InList(index) ? QString::fromUtf8(kZoomList[index].text) : QString();
}

float ZoomFixedScale(int index) {
    return InList(index) && index != kZoomFitIndex ? kZoomList[index].scale : 0.0f;
}

QSize ZoomDisplaySize(int index, QSize frame, QSize client, QSize previous) {
    if (!InList(index)) return previous;
    const int64_t w = frame.width(), h = frame.height();
    if (index != kZoomFitIndex) {
        const ZoomEntry& z = kZoomList[index];
        return QSize(static_cast<int>(w * z.num / z.den), static_cast<int>(h * z.num / z.den));
    }
    if (w <= 0 || h <= 0 || client.isEmpty()) return previous;
    const int64_t cw = client.width(), ch = client.height();
    // 64 bits: the products of two sizes overflow an int from about 46000 pixels on.
    if (cw * h < ch * w) return QSize(static_cast<int>(cw), static_cast<int>(cw * h / w));
    return QSize(static_cast<int>(ch * w / h), static_cast<int>(ch));
}

ViewLayout ComputeViewLayout(int zoomIndex, QSize frame, QSize client, const ViewLayout& previous,
                             bool coverView) {
    ViewLayout l;
    l.display = ZoomDisplaySize(zoomIndex, frame, client, previous.display);
    if (zoomIndex == kZoomFitIndex) {
        l.scale = frame.width() > 0 && l.display.width() > 0
                      ? static_cast<float>(l.display.width()) / static_cast<float>(frame.width())
                      : previous.scale;
    } else {
        l.scale = InList(zoomIndex) ? kZoomList[zoomIndex].scale : previous.scale;
    }
    l.scroll = l.display;
    const int cx = l.display.width() < client.width() ? (client.width() - l.display.width()) / 2 : 0;
    const int cy =
        l.display.height() < client.height() ? (client.height() - l.display.height()) / 2 : 0;
    l.centre = QPoint(cx, cy);
    l.window = coverView ? QRect(QPoint(0, 0), client) : QRect(QPoint(cx, cy), l.display);
    l.origin = QPoint(frame.width() < client.width() ? 0 : cx, frame.height() < client.height() ? 0 : cy);
    return l;
}

std::array<QRect, 4> GreyMarginRects(QSize display, QSize client) {
    const int a = display.width(), b = display.height();
    const int W = client.width(), H = client.height();
    const int m = a < W ? (W - a) / 2 + 5 : 5;
    const int t = b < H ? (H - b) / 2 : 0;
    // Given as left, top, right, bottom with exclusive right and bottom edges.
    const auto box = [](int l, int tp, int r, int bt) { return QRect(l, tp, r - l, bt - tp); };
    return {box(0, 0, m, H), box(m, 0, W, t + 5), box(W - m - 1, t + 5, W, H), box(m, H - t - 6, W - m, H)};
}

QRect FullScreenRect(QSize frame, QSize screen) {
    const int64_t fw = frame.width(), fh = frame.height(), sw = screen.width(), sh = screen.height();
    if (fw <= 0 || fh <= 0 || sw <= 0 || sh <= 0) return {};
    if (fh * sw < fw * sh) {
        const int64_t dh = fh * sw / fw;
        return QRect(0, static_cast<int>(sh > dh ? (sh - dh) / 2 : 0), static_cast<int>(sw), static_cast<int>(dh));
    }
    const int64_t dw = fw * sh / fh;
    return QRect(static_cast<int>(sw > dw ? (sw - dw) / 2 : 0), 0, static_cast<int>(dw), static_cast<int>(sh));
}

// ---- The still picture as shown ----

namespace {

const QColor kGray(128, 128, 128);

// A cheap fingerprint of a picture's pixels: enough to notice that a picture was rewritten in
// place (processing, a capture into the same block) without reading all of it.
uint64_t SampleHash(const FCObjImage& img) {
    const uint8_t* p = img.GetMemStart();
    const size_t n = img.PixelBytes();
    if (!p || n == 0) return 0;
    uint64_t h = 1469598103934665603ull;
    constexpr size_t kSamples = 4096;
    const size_t step = std::max<size_t>(1, n / kSamples);
    for (size_t i = 0; i < n; i += step) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    h ^= p[n - 1];
    return h * 1099511628211ull;
}

}  // namespace

bool DibToRgb32(const uint8_t* bits, int width, int height, int bitCount, QImage& dst) {
    if (!bits || width <= 0 || height <= 0 || (bitCount != 24 && bitCount != 32)) return false;
    if (dst.size() != QSize(width, height) || dst.format() != QImage::Format_RGB32) {
        dst = QImage(width, height, QImage::Format_RGB32);
        if (dst.isNull()) return false;
    }
    const int64_t stride = ((static_cast<int64_t>(width) * bitCount + 31) / 32) * 4;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = bits + stride * (height - 1 - y);
        auto* d = reinterpret_cast<uint32_t*>(dst.scanLine(y));
        if (bitCount == 32) {
            // B,G,R,X in memory is a little-endian 0xXXRRGGBB: only the unused byte changes.
            std::memcpy(d, s, static_cast<size_t>(width) * 4);
            for (int x = 0; x < width; ++x) d[x] |= 0xFF000000u;
        } else {
            for (int x = 0; x < width; ++x, s += 3)
                d[x] = 0xFF000000u | (uint32_t(s[2]) << 16) | (uint32_t(s[1]) << 8) | s[0];
        }
    }
    return true;
}

QImage PictureToRgb32(const FCObjImage& img) {
    if (!img.IsValid()) return {};
    QImage out;
    if (DibToRgb32(img.GetMemStart(), img.Width(), img.Height(), img.ColorBits(), out)) return out;
    // Other depths (palettes, 16 bits): through Qt, then turned the right way up.
    const QImage wrapped = WrapStorageOrder(img);
    if (wrapped.isNull()) return {};
    return wrapped.convertToFormat(QImage::Format_RGB32).mirrored(false, true);
}

QRect PrintedRect(QSize picture, QSizeF pictureDpi, QSizeF deviceDpi, QSize page) {
    if (picture.isEmpty() || pictureDpi.isEmpty() || deviceDpi.isEmpty()) return {};
    double w = picture.width() * deviceDpi.width() / pictureDpi.width();
    double h = picture.height() * deviceDpi.height() / pictureDpi.height();
    if (!page.isEmpty() && (w > page.width() || h > page.height())) {
        const double f = std::min(page.width() / w, page.height() / h);
        // Rounded, and never a dot beyond the page.
        w = std::min<double>(page.width(), std::floor(w * f + 0.5));
        h = std::min<double>(page.height(), std::floor(h * f + 0.5));
    }
    return QRect(0, 0, std::max(1, static_cast<int>(w)), std::max(1, static_cast<int>(h)));
}

void CDisplayPicture::Invalidate() {
    m_key = {};
    m_source = {};
    m_scaled = {};
    m_scaledSize = {};
}

bool CDisplayPicture::PrepareSource(const FCObjImage& img) {
    if (!img.IsValid()) {
        Invalidate();
        return false;
    }
    const Key key{img.GetMemStart(), img.Width(), img.Height(), img.ColorBits(), SampleHash(img)};
    if (key == m_key && !m_source.isNull()) return true;
    Invalidate();
    m_source = PictureToRgb32(img);
    if (m_source.isNull()) return false;
    m_key = key;
    return true;
}

bool CDisplayPicture::PrepareScaled(QSize display) {
    if (display.width() > m_source.width() || display.height() > m_source.height()) {
        // Enlarged pictures are drawn from the source per exposed area: a cached copy at 250 %
        // of a large picture would cost hundreds of megabytes.
        m_scaled = {};
        m_scaledSize = {};
        return false;
    }
    if (m_scaledSize == display && !m_scaled.isNull()) return true;
    // Shrinking averages the source pixels (halftone), so fine structures do not alias away.
    m_scaled = display == m_source.size()
                   ? m_source
                   : m_source.scaled(display, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (m_scaled.format() != QImage::Format_RGB32) m_scaled = m_scaled.convertToFormat(QImage::Format_RGB32);
    m_scaledSize = display;
    return !m_scaled.isNull();
}

bool CDisplayPicture::Draw(QPainter& painter, const FCObjImage& img, QSize display, const QRect& exposed) {
    if (display.isEmpty() || !PrepareSource(img)) return false;
    const QRect part = exposed & QRect(QPoint(0, 0), display);
    if (part.isEmpty()) return true;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (PrepareScaled(display)) {
        painter.drawImage(part.topLeft(), m_scaled, part);
    } else {
        // Enlarging repeats pixels, so each picture pixel stays a sharp square.
        painter.setClipRect(part);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(QPoint(0, 0), display), m_source);
    }
    painter.restore();
    return true;
}

bool PaintStill(QPainter& painter, CDisplayPicture& cache, const FCObjImage& img, CGVLElemMgr& overlay,
                QSize display, const QRect& exposed) {
    if (!cache.Draw(painter, img, display, exposed)) {
        painter.fillRect(exposed, kGray);
        return false;
    }
    // Whatever the window shows beyond the picture (it covers the view while stitching).
    for (const QRect& r : QRegion(exposed) - QRegion(QRect(QPoint(0, 0), display))) painter.fillRect(r, kGray);
    painter.save();
    painter.setClipRect(exposed);
    overlay.Draw(painter, display.width(), display.height());
    painter.restore();
    return true;
}
