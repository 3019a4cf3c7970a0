// Motion-JPEG camera frames, decoded as the capture thread decodes them: with the frame size
// negotiated for the stream and one decompressor kept from frame to frame.
#include <cstring>
#include <vector>

#include "camera/uvc/frame_decode.h"
#include "fuzz_target.h"

namespace {

// The size in the frame's own header (cameras send frames of the agreed size), or 0 x 0.
void FrameSize(const uint8_t* p, size_t n, int* w, int* h) {
    *w = *h = 0;
    size_t i = 2;
    while (i + 9 <= n && p[i] == 0xFF) {
        const uint8_t m = p[i + 1];
        const size_t len = size_t(p[i + 2]) << 8 | p[i + 3];
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            *h = p[i + 5] << 8 | p[i + 6];
            *w = p[i + 7] << 8 | p[i + 8];
            return;
        }
        i += 2 + len;
    }
}

}  // namespace

NS_FUZZ_TARGET(mjpeg) {
    int w = 0, h = 0;
    FrameSize(data, size, &w, &h);
    if (w <= 0 || h <= 0 || int64_t(w) * h > (int64_t(1) << 22)) {
        w = 16;
        h = 8;
    }
    const int64_t stride = (int64_t(w) * 24 + 31) / 32 * 4;
    std::vector<uint8_t> first(size_t(stride * h)), second(first.size());
    CMjpegDecoder decoder;
    const bool ok = decoder.Decode(data, size, w, h, first.data(), stride);
    // Whatever the first frame did to the decoder, the same frame decodes the same way again.
    NS_FUZZ_CHECK(decoder.Decode(data, size, w, h, second.data(), stride) == ok);
    if (ok) NS_FUZZ_CHECK(first == second);
}
