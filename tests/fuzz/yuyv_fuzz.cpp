// YUYV camera frames. The first three bytes choose the negotiated format (width, height, row
// stride); the rest is the frame as the device hands it over.
#include <cstring>
#include <vector>

#include "camera/uvc/frame_decode.h"
#include "fuzz_target.h"

NS_FUZZ_TARGET(yuyv) {
    ns_fuzz::Consumer in(data, size);
    const int width = 2 * (1 + in.Byte() % 96);
    const int height = 1 + in.Byte() % 96;
    const int64_t srcStride = int64_t(width) * 2 + 2 * (in.Byte() % 8);
    const int64_t dibStride = (int64_t(width) * 24 + 31) / 32 * 4;
    std::vector<uint8_t> dib(size_t(dibStride * height), 0xAB);
    const bool ok = DecodeYuyv(in.data(), in.size(), srcStride, width, height, dib.data(), dibStride);
    // A frame is decoded exactly when it holds every row's pixels.
    const bool whole = uint64_t(in.size()) >= uint64_t(srcStride) * (height - 1) + uint64_t(width) * 2;
    NS_FUZZ_CHECK(ok == whole);
    if (!ok) return;
    for (int y = 0; y < height; ++y)
        for (int64_t x = int64_t(width) * 3; x < dibStride; ++x)
            NS_FUZZ_CHECK(dib[size_t(y * dibStride + x)] == 0);
}
