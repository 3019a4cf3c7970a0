#include "camera/recording/frame_converter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "camera/camera_types.h"

CFrameConverter::~CFrameConverter() { sws_freeContext(m_pScaler); }

bool CFrameConverter::ConvertFrame(const uint8_t* pixels, int width, int height, int bitCount,
                                   AVFrame* target) {
    if (!pixels || !target || width <= 0 || height <= 0 || (bitCount != 24 && bitCount != 32)) return false;
    if (target->format != AV_PIX_FMT_YUV420P || target->width <= 0 || target->height <= 0) return false;
    const int64_t stride = DibStride(width, bitCount);
    if (stride <= 0 || stride > INT32_MAX) return false;
    const AVPixelFormat format = bitCount == 24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
    // An odd frame at the even size below it is cropped, not scaled.
    int srcWidth = width, srcHeight = height;
    if ((width & ~1) == target->width && (height & ~1) == target->height) {
        srcWidth = target->width;
        srcHeight = target->height;
    }
    if (!m_pScaler || srcWidth != m_nSrcWidth || srcHeight != m_nSrcHeight || format != m_nSrcFormat ||
        target->width != m_nDstWidth || target->height != m_nDstHeight) {
        m_pScaler = sws_getCachedContext(m_pScaler, srcWidth, srcHeight, format, target->width, target->height,
                                         AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!m_pScaler) return false;
        ++m_nScalersMade;
        m_nSrcWidth = srcWidth;
        m_nSrcHeight = srcHeight;
        m_nSrcFormat = format;
        m_nDstWidth = target->width;
        m_nDstHeight = target->height;
    }
    if (av_frame_make_writable(target) < 0) return false;
    // Bottom-up rows: start at the last row of the block and step back one row at a time. A
    // cropped row is the picture's bottom one, which is the block's first.
    const uint8_t* top = pixels + (static_cast<int64_t>(height) - 1) * stride;
    const uint8_t* const src[4] = {top, nullptr, nullptr, nullptr};
    const int srcStride[4] = {-static_cast<int>(stride), 0, 0, 0};
    const int rows = sws_scale(m_pScaler, src, srcStride, 0, srcHeight, target->data, target->linesize);
    return rows == target->height;
}
