#include "image/image_draw.h"

#include <algorithm>

namespace {

QList<QRgb> ColorTable(const FCObjImage& img) {
    QList<QRgb> table;
    table.reserve(img.PaletteSize());
    for (int i = 0; i < img.PaletteSize(); ++i) {
        const FCRgbQuad& q = img.GetPalette()[i];
        table.push_back(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
    }
    return table;
}

}  // namespace

QImage WrapStorageOrder(const FCObjImage& img) {
    if (!img.IsValid()) return {};
    const int w = img.Width(), h = img.Height();
    const uchar* bits = img.GetMemStart();
    const qsizetype bpl = img.RowStride();
    QImage out;
    switch (img.ColorBits()) {
        case 1:
            out = QImage(bits, w, h, bpl, QImage::Format_Mono);
            break;
        case 4: {
            out = QImage(w, h, QImage::Format_Indexed8);
            if (out.isNull()) return out;
            for (int y = 0; y < h; ++y) {
                uchar* d = out.scanLine(h - 1 - y);
                for (int x = 0; x < w; ++x) d[x] = static_cast<uchar>(img.ReadPixel(x, y));
            }
            break;
        }
        case 8:
            out = QImage(bits, w, h, bpl, QImage::Format_Indexed8);
            break;
        case 16:
            out =
                QImage(bits, w, h, bpl,
                       img.GetMasks()[1] == 0x07E0 ? QImage::Format_RGB16 : QImage::Format_RGB555);
            break;
        case 24:
            out = QImage(bits, w, h, bpl, QImage::Format_BGR888);
            break;
        case 32:
            out = QImage(bits, w, h, bpl, QImage::Format_RGB32);
            break;
        default:
            return {};
    }
    if (img.ColorBits() <= 8) out.setColorTable(ColorTable(img));
    return out;
}

void DrawTo(const FCObjImage& img, QPainter* painter, const QRect& dst, const QRect& src) {
    if (!img.IsValid() || !painter || dst.isEmpty() || src.isEmpty()) return;
    const QImage wrapped = WrapStorageOrder(img);
    if (wrapped.isNull()) return;
    // The block is stored bottom-up: take the mirrored source rows and mirror them back.
    const QRect flippedSrc(src.x(), img.Height() - (src.y() + src.height()), src.width(),
                           src.height());
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->setCompositionMode(QPainter::CompositionMode_Source);
    painter->translate(dst.x(), dst.y() + dst.height());
    painter->scale(1.0, -1.0);
    painter->drawImage(QRect(0, 0, dst.width(), dst.height()), wrapped, flippedSrc);
    painter->restore();
}

QRect FittedRect(int imageWidth, int imageHeight, const QRect& rc) {
    if (imageWidth <= 0 || imageHeight <= 0) return {};
    int dw = imageWidth, dh = imageHeight;
    if (imageWidth > rc.width() || imageHeight > rc.height()) {
        const double k = std::min(static_cast<double>(rc.height()) / imageHeight,
                                  static_cast<double>(rc.width()) / imageWidth);
        dw = std::max(1, static_cast<int>(imageWidth * k));
        dh = std::max(1, static_cast<int>(imageHeight * k));
    }
    return QRect(rc.left() + (rc.width() - dw) / 2, rc.top() + (rc.height() - dh) / 2, dw, dh);
}

QRect DrawFitted(const FCObjImage& img, QPainter* painter, const QRect& rc) {
    if (!img.IsValid()) return {};
    const QRect r = FittedRect(img.Width(), img.Height(), rc);
    DrawTo(img, painter, r, QRect(0, 0, img.Width(), img.Height()));
    return r;
}

FCBufferedPainter::FCBufferedPainter(QPainter* target, const QRect& rc)
    : m_target(target),
      m_rc(rc),
      m_buffer(rc.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32) {
    m_buffer.fill(Qt::black);
    m_painter = std::make_unique<QPainter>(&m_buffer);
    m_painter->translate(-rc.topLeft());
}

FCBufferedPainter::~FCBufferedPainter() {
    if (m_painter) m_painter->end();
}

void FCBufferedPainter::Flush() {
    if (!m_target || !m_painter) return;
    m_painter->end();
    m_target->drawImage(m_rc.topLeft(), m_buffer);
    m_painter = std::make_unique<QPainter>(&m_buffer);
    m_painter->translate(-m_rc.topLeft());
}
