#include "document/live_frame_path.h"

#include <QPainter>

#include <cstring>

#include "camera/camera_types.h"
#include "document/view_layout.h"
#include "overlay/element_manager.h"

bool CLiveFramePath::IsLiveHeader(const FCBitmapInfoHeader& h) {
    return h.biWidth > 0 && h.biHeight > 0 && (h.biBitCount == 24 || h.biBitCount == 32) &&
           FCObjImage::StrideFor(h.biWidth, h.biBitCount) > 0;
}

CLiveFramePath::Result CLiveFramePath::Process(const uint8_t* frame,
                                               const FCBitmapInfoHeader& header,
                                               FCObjImage& live, const ProcessFlags& flags,
                                               const Target& target, CGVLElemMgr* overlay) {
    if (!frame || !IsLiveHeader(header)) return Dropped;
    const int w = header.biWidth, h = header.biHeight, bits = header.biBitCount;
    if (!live.IsValid() || live.Width() != w || live.Height() != h || live.ColorBits() != bits) {
        if (!live.AllocateForOverwrite(w, h, bits)) return Dropped;
        ++m_nLiveAllocations;
    }
    // Rows are padded to 4 bytes in the frame exactly as in the live buffer.
    std::memcpy(live.GetMemStart(), frame, live.PixelBytes());
    uint8_t* pixels = live.GetMemStart();
    if (flags.bProcessEnable) RunLiveChain(pixels, w, h, bits, flags);
    if (m_record) m_record(pixels, w, h, bits);

    QRect where;
    if (target.fullScreen && !target.screen.isEmpty()) {
        where = FullScreenRect(QSize(w, h), target.screen);
    } else if (!target.display.isEmpty()) {
        where = QRect(QPoint(0, 0), target.display);
    }
    if (where.isEmpty()) return Buffered;

    if (m_render.size() != where.size() || m_render.format() != QImage::Format_RGB32) {
        m_render = QImage(where.size(), QImage::Format_RGB32);
        ++m_nSurfaceAllocations;
        if (m_render.isNull()) return Buffered;
    }
    ScaleToRgb32(pixels, w, h, bits, m_render);
    if (overlay) {
        ApplyOverlayZoom(*overlay, target.fullScreen, where.width(), w);
        QPainter painter(&m_render);
        overlay->Draw(painter, where.width(), where.height());
    }
    {
        std::lock_guard lock(m_handoff);
        // The picture the user-interface thread has not taken yet is simply replaced.
        m_pending.swap(m_render);
        m_pendingRect = where;
        m_bPending = true;
    }
    return Rendered;
}

void CLiveFramePath::ApplyOverlayZoom(CGVLElemMgr& overlay, bool fullScreen, int drawnWidth,
                                      int frameWidth) {
    if (frameWidth <= 0 || drawnWidth <= 0) return;
    if (fullScreen == m_bZoomForFullScreen) return;
    overlay.SetZoom(static_cast<float>(drawnWidth) / static_cast<float>(frameWidth));
    m_bZoomForFullScreen = fullScreen;
}

bool CLiveFramePath::TakeNewest(QImage& picture, QRect& where) {
    std::lock_guard lock(m_handoff);
    if (!m_bPending) return false;
    picture.swap(m_pending);
    where = m_pendingRect;
    m_bPending = false;
    return true;
}

bool CLiveFramePath::HasPending() const {
    std::lock_guard lock(m_handoff);
    return m_bPending;
}

void CLiveFramePath::ScaleToRgb32(const uint8_t* bits, int width, int height, int bitCount,
                                  QImage& dst) {
    const int dw = dst.width(), dh = dst.height();
    if (!bits || width <= 0 || height <= 0 || dw <= 0 || dh <= 0) return;
    const int bpp = bitCount / 8;
    const int64_t stride = DibStride(width, bitCount);
    const bool same = dw == width;
    if (!same && (m_nColumnsFor[0] != width || m_nColumnsFor[1] != bitCount ||
                  m_nColumnsFor[2] != dw)) {
        m_columns.resize(static_cast<size_t>(dw));
        for (int x = 0; x < dw; ++x)
            m_columns[static_cast<size_t>(x)] =
                static_cast<int32_t>(static_cast<int64_t>(x) * width / dw) * bpp;
        m_nColumnsFor[0] = width;
        m_nColumnsFor[1] = bitCount;
        m_nColumnsFor[2] = dw;
    }
    const int32_t* cols = m_columns.data();
    for (int y = 0; y < dh; ++y) {
        const int sy = static_cast<int>(static_cast<int64_t>(y) * height / dh);
        const uint8_t* src = bits + static_cast<int64_t>(height - 1 - sy) * stride;
        auto* out = reinterpret_cast<uint32_t*>(dst.scanLine(y));
        if (bpp == 4) {
            if (same) {
                for (int x = 0; x < dw; ++x) {
                    uint32_t v;
                    std::memcpy(&v, src + 4 * x, 4);
                    out[x] = v | 0xFF000000u;
                }
            } else {
                for (int x = 0; x < dw; ++x) {
                    uint32_t v;
                    std::memcpy(&v, src + cols[x], 4);
                    out[x] = v | 0xFF000000u;
                }
            }
        } else if (same) {
            for (int x = 0; x < dw; ++x) {
                const uint8_t* p = src + 3 * x;
                out[x] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
            }
        } else {
            for (int x = 0; x < dw; ++x) {
                const uint8_t* p = src + cols[x];
                out[x] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
            }
        }
    }
}
