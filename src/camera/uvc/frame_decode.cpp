#include "camera/uvc/frame_decode.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "image/jpeg_scans.h"

namespace {

constexpr int kMaxFrameScans = 4;
// Even a frame of one flat colour takes a few bits per 8 x 8 block and colour; a frame with
// fewer bytes than this for its size is cut short, and is refused before it is decoded.
constexpr int64_t kMaxFramePixelsPerByte = 1024;

struct JpegError {
    jpeg_error_mgr pub;
    jmp_buf jump;
    bool cutShort = false;
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

void OnJpegMessage(j_common_ptr cinfo, int level) {
    // Warnings only; a frame that ends early is filled with grey by libjpeg, so remember it.
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) err->cutShort = true;
}

void ClearPadding(uint8_t* dib, int64_t stride, int width, int height) {
    const int64_t used = int64_t(width) * 3;
    if (stride <= used) return;
    for (int y = 0; y < height; ++y) std::memset(dib + y * stride + used, 0, stride - used);
}

}  // namespace

struct CMjpegDecoder::Impl {
    jpeg_decompress_struct cinfo{};
    JpegError err{};
    std::vector<JSAMPROW> rows;
};

CMjpegDecoder::CMjpegDecoder() : m(std::make_unique<Impl>()) {
    m->cinfo.err = jpeg_std_error(&m->err.pub);
    m->err.pub.error_exit = OnJpegError;
    m->err.pub.emit_message = OnJpegMessage;
    jpeg_create_decompress(&m->cinfo);
}

CMjpegDecoder::~CMjpegDecoder() {
    jpeg_destroy_decompress(&m->cinfo);
}

bool CMjpegDecoder::Decode(const uint8_t* data, size_t size, int width, int height, uint8_t* dib,
                           int64_t dibStride) {
    if (!data || size < 4 || !dib || width <= 0 || height <= 0 || dibStride < int64_t(width) * 3)
        return false;
    // Cameras send one scan per frame (one per colour at most); every further scan would cost
    // a pass over the whole frame on the capture thread.
    if (JpegScanCount(data, size, kMaxFrameScans + 1) > kMaxFrameScans) return false;
    if (int64_t(width) * height > kMaxFramePixelsPerByte * int64_t(std::min<size_t>(size, INT32_MAX)))
        return false;
    jpeg_decompress_struct* ci = &m->cinfo;
    m->err.cutShort = false;
    m->rows.resize(size_t(height));
    if (setjmp(m->err.jump)) {
        jpeg_abort_decompress(ci);
        return false;
    }
    jpeg_mem_src(ci, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(ci, TRUE) != JPEG_HEADER_OK ||
        ci->image_width != static_cast<JDIMENSION>(width) ||
        ci->image_height != static_cast<JDIMENSION>(height)) {
        jpeg_abort_decompress(ci);
        return false;
    }
    ci->out_color_space = JCS_EXT_BGR;
    ci->dct_method = JDCT_ISLOW;
    jpeg_start_decompress(ci);
    for (int y = 0; y < height; ++y) m->rows[y] = dib + int64_t(height - 1 - y) * dibStride;
    while (ci->output_scanline < ci->output_height) {
        if (jpeg_read_scanlines(ci, m->rows.data() + ci->output_scanline,
                                ci->output_height - ci->output_scanline) == 0)
            break;
    }
    if (ci->output_scanline < ci->output_height) {
        jpeg_abort_decompress(ci);
        return false;
    }
    jpeg_finish_decompress(ci);
    if (m->err.cutShort) return false;
    ClearPadding(dib, dibStride, width, height);
    return true;
}

namespace {

// BT.601 video range in 8-bit fixed point; the same rounding as the common converters.
constexpr int kCy = 298, kCvr = 409, kCug = -100, kCvg = -208, kCub = 516;

inline uint8_t Clamp8(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Sixteen pixels at a time through fixed-size arrays, a shape GCC vectorises at -O3; the row
// loop is also built for AVX2 and picked at load time, where the 3-byte stores vectorise well.
inline __attribute__((always_inline)) void YuyvBlock16(const uint8_t* __restrict s,
                                                       uint8_t* __restrict d) {
    int y[16], u[8], v[8];
    for (int k = 0; k < 16; ++k) y[k] = kCy * (s[2 * k] - 16) + 128;
    for (int k = 0; k < 8; ++k) {
        u[k] = s[4 * k + 1] - 128;
        v[k] = s[4 * k + 3] - 128;
    }
    int rv[16], gu[16], bu[16];
    for (int k = 0; k < 16; ++k) {
        rv[k] = kCvr * v[k / 2];
        gu[k] = kCug * u[k / 2] + kCvg * v[k / 2];
        bu[k] = kCub * u[k / 2];
    }
    for (int k = 0; k < 16; ++k) {
        d[3 * k] = Clamp8((y[k] + bu[k]) >> 8);
        d[3 * k + 1] = Clamp8((y[k] + gu[k]) >> 8);
        d[3 * k + 2] = Clamp8((y[k] + rv[k]) >> 8);
    }
}

// Sanitizer builds go without the load-time choice: its resolver runs before they are set up.
// Clang says so through __has_feature, GCC through __SANITIZE_*__.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define NS_SANITIZED_BUILD 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__) || defined(NS_SANITIZED_BUILD)
#define NS_YUYV_ROW_CLONES
#else
#define NS_YUYV_ROW_CLONES __attribute__((target_clones("avx2", "default")))
#endif

NS_YUYV_ROW_CLONES void YuyvRow(const uint8_t* s, uint8_t* d, int width) {
    int x = 0;
    for (; x + 16 <= width; x += 16) YuyvBlock16(s + 2 * x, d + 3 * x);
    for (; x + 2 <= width; x += 2) {
        const int y0 = kCy * (s[2 * x] - 16) + 128, y1 = kCy * (s[2 * x + 2] - 16) + 128;
        const int u = s[2 * x + 1] - 128, v = s[2 * x + 3] - 128;
        const int rv = kCvr * v, gu = kCug * u + kCvg * v, bu = kCub * u;
        uint8_t* p = d + 3 * x;
        p[0] = Clamp8((y0 + bu) >> 8);
        p[1] = Clamp8((y0 + gu) >> 8);
        p[2] = Clamp8((y0 + rv) >> 8);
        p[3] = Clamp8((y1 + bu) >> 8);
        p[4] = Clamp8((y1 + gu) >> 8);
        p[5] = Clamp8((y1 + rv) >> 8);
    }
}

}  // namespace

bool DecodeYuyv(const uint8_t* src, size_t size, int64_t srcStride, int width, int height,
                uint8_t* dib, int64_t dibStride) {
    if (!src || !dib || width <= 0 || height <= 0 || (width & 1) ||
        srcStride < int64_t(width) * 2 || dibStride < int64_t(width) * 3)
        return false;
    // The last row needs only its pixels, not the full stride.
    if (static_cast<uint64_t>(size) <
        static_cast<uint64_t>(srcStride) * uint64_t(height - 1) + uint64_t(width) * 2)
        return false;
    for (int y = 0; y < height; ++y)
        YuyvRow(src + int64_t(y) * srcStride, dib + int64_t(height - 1 - y) * dibStride, width);
    ClearPadding(dib, dibStride, width, height);
    return true;
}
