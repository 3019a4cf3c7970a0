// The recording hook's frame conversion on hostile frame descriptions: any size and depth a
// camera header may carry (the live path passes 24- and 32-bit frames of any size), converted
// into a target of another size. Must refuse or convert, never read outside the frame.
//
// Input: width (2 bytes), height (2 bytes), depth selector, target width and height (1 byte
// each, in units of 2 pixels), then pixel bytes (repeated to fill the frame).

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "camera/camera_types.h"
#include "camera/recording/frame_converter.h"
#include "fuzz_target.h"

NS_FUZZ_TARGET(frame_converter) {
    if (size < 8) return;
    const int width = (data[0] | (data[1] << 8)) % 1025;
    const int height = (data[2] | (data[3] << 8)) % 1025;
    const int bits = data[4] % 3 == 0 ? 24 : data[4] % 3 == 1 ? 32 : data[4];
    const int targetWidth = 2 * (data[5] % 200 + 1), targetHeight = 2 * (data[6] % 200 + 1);
    const size_t frameBytes =
        width > 0 && height > 0 && (bits == 24 || bits == 32) ? static_cast<size_t>(DibStride(width, bits) * height) : 16;
    std::vector<uint8_t> frame(frameBytes);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = data[7 + i % (size - 7)];

    AVFrame* target = av_frame_alloc();
    target->format = AV_PIX_FMT_YUV420P;
    target->width = targetWidth;
    target->height = targetHeight;
    if (av_frame_get_buffer(target, 0) == 0) {
        CFrameConverter converter;
        converter.ConvertFrame(frame.data(), width, height, bits, target);
        // Again with the scaler kept.
        converter.ConvertFrame(frame.data(), width, height, bits, target);
    }
    av_frame_free(&target);
}
