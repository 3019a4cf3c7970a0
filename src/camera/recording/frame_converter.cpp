#include "camera/recording/frame_converter.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "camera/camera_types.h"

namespace {

// cols x rows pixels of B,G,R,X rows (stepping by srcStride, which may be negative) into B,G,R
// rows of dstStride bytes. The plain byte loop is what GCC vectorises at -O3 (word tricks run
// three times slower).
void PackRow(const uint8_t* __restrict s, uint8_t* __restrict d, int cols) {
    for (int x = 0; x < cols; ++x) {
        d[3 * x] = s[4 * x];
        d[3 * x + 1] = s[4 * x + 1];
        d[3 * x + 2] = s[4 * x + 2];
    }
}

void PackBgr(const uint8_t* src, int64_t srcStride, int cols, int rows, uint8_t* dst, int64_t dstStride) {
    for (int y = 0; y < rows; ++y) PackRow(src + y * srcStride, dst + y * dstStride, cols);
}

}  // namespace

CFrameConverter::~CFrameConverter() { sws_freeContext(m_pScaler); }

namespace {
// What libswscale may read past the end of a row's pixels.
constexpr size_t kReadMargin = 64;
}  // namespace

bool CFrameConverter::ConvertFrame(const uint8_t* pixels, int width, int height, int bitCount,
                                   AVFrame* target) {
    if (!pixels || !target || width <= 0 || height <= 0 || (bitCount != 24 && bitCount != 32)) return false;
    if (target->format != AV_PIX_FMT_YUV420P || target->width <= 0 || target->height <= 0) return false;
    const int64_t stride = DibStride(width, bitCount);
    if (stride <= 0 || stride > INT32_MAX) return false;
    // An odd frame at the even size below it is cropped, not scaled.
    int srcWidth = width, srcHeight = height;
    if ((width & ~1) == target->width && (height & ~1) == target->height) {
        srcWidth = target->width;
        srcHeight = target->height;
    }
    // Bottom-up rows: start at the last row of the block and step back one row at a time. A
    // cropped row is the picture's bottom one, which is the block's first.
    const uint8_t* top = pixels + (static_cast<int64_t>(height) - 1) * stride;
    int64_t srcStep = -stride;
    // libswscale's vector code reads a little past the end of a row, and the top row of a
    // bottom-up frame is the last thing in its buffer: the rows go in top-down through a buffer
    // of ours with room after its end (32-bit frames packed to B,G,R on the way).
    {
        const int64_t packedStride = (static_cast<int64_t>(srcWidth) * 3 + 31) & ~int64_t{31};
        m_packed.resize(static_cast<size_t>(packedStride * srcHeight) + kReadMargin);
        if (bitCount == 32) {
            PackBgr(top, -stride, srcWidth, srcHeight, m_packed.data(), packedStride);
        } else {
            const size_t rowBytes = static_cast<size_t>(srcWidth) * 3;
            for (int y = 0; y < srcHeight; ++y)
                std::memcpy(m_packed.data() + y * packedStride, top - y * stride, rowBytes);
        }
        top = m_packed.data();
        srcStep = packedStride;
    }
    if (!m_pScaler || srcWidth != m_nSrcWidth || srcHeight != m_nSrcHeight || target->width != m_nDstWidth ||
        target->height != m_nDstHeight) {
        m_pScaler = sws_getCachedContext(m_pScaler, srcWidth, srcHeight, AV_PIX_FMT_BGR24, target->width,
                                         target->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!m_pScaler) return false;
        ++m_nScalersMade;
        m_nSrcWidth = srcWidth;
        m_nSrcHeight = srcHeight;
        m_nDstWidth = target->width;
        m_nDstHeight = target->height;
    }
    if (av_frame_make_writable(target) < 0) return false;
    const uint8_t* const src[4] = {top, nullptr, nullptr, nullptr};
    const int srcStride[4] = {static_cast<int>(srcStep), 0, 0, 0};
    const int rows = sws_scale(m_pScaler, src, srcStride, 0, srcHeight, target->data, target->linesize);
    return rows == target->height;
}
