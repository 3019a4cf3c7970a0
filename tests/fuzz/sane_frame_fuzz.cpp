// The frame assembler: what a SANE device sends for one picture (frame parameters, then the
// image bytes in pieces of any size) is outside input. The input holds up to four frames, each:
//   int32 format, int32 last_frame, int32 bytes_per_line, int32 pixels_per_line, int32 lines,
//   int32 depth, uint8 piece size (0: one piece), uint32 byte count, then that many bytes.
// A refused frame gives its reason; a picture that comes out is a consistent packed 24-bit
// bitmap, its pixel block inside the handle.
#include <cstring>
#include <string>

#include "camera/acquisition/sane_frame_assembler.h"
#include "fuzz_target.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    template <class T>
    bool Take(T& v) {
        if (n < sizeof(T)) return false;
        std::memcpy(&v, p, sizeof(T));
        p += sizeof(T);
        n -= sizeof(T);
        return true;
    }
};

}  // namespace

NS_FUZZ_TARGET(sane_frame) {
    // Small enough for the fuzzer's memory limit, large enough for real line lengths.
    CSaneFrameAssembler assembler(int64_t(16) << 20);
    Reader in{data, size};
    for (int frame = 0; frame < 4; ++frame) {
        int32_t format, last, bpl, ppl, lines, depth;
        uint8_t piece;
        uint32_t count;
        if (!in.Take(format) || !in.Take(last) || !in.Take(bpl) || !in.Take(ppl) || !in.Take(lines) ||
            !in.Take(depth) || !in.Take(piece) || !in.Take(count))
            break;
        SANE_Parameters p{};
        std::memcpy(&p.format, &format, sizeof(format));  // any number, as a device may send
        p.last_frame = last;
        p.bytes_per_line = bpl;
        p.pixels_per_line = ppl;
        p.lines = lines;
        p.depth = depth;
        std::string reason;
        if (!assembler.BeginFrame(p, &reason)) {
            NS_FUZZ_CHECK(!reason.empty());
            break;
        }
        const size_t bytes = count < in.n ? count : in.n;
        const size_t step = piece ? piece : (bytes ? bytes : 1);
        bool fed = true;
        for (size_t at = 0; at < bytes && fed; at += step)
            fed = assembler.Feed(in.p + at, bytes - at < step ? bytes - at : step, &reason);
        in.p += bytes;
        in.n -= bytes;
        if (!fed) {
            NS_FUZZ_CHECK(!reason.empty());
            break;
        }
        assembler.EndFrame();
        if (assembler.IsComplete()) break;
    }
    std::string reason;
    CTwHandle dib = assembler.TakePicture(&reason);
    if (!dib) {
        NS_FUZZ_CHECK(!reason.empty());
        return;
    }
    const size_t total = TwGlobalSize(dib.Get());
    NS_FUZZ_CHECK(total >= 40);
    const auto* h = static_cast<const uint8_t*>(TwGlobalLock(dib.Get()));
    int32_t width, height;
    uint16_t bits;
    uint32_t image;
    std::memcpy(&width, h + 4, 4);
    std::memcpy(&height, h + 8, 4);
    std::memcpy(&bits, h + 14, 2);
    std::memcpy(&image, h + 20, 4);
    NS_FUZZ_CHECK(width > 0 && height > 0 && bits == 24);
    NS_FUZZ_CHECK(uint64_t(image) == uint64_t((int64_t(width) * 24 + 31) / 32 * 4) * uint64_t(height));
    NS_FUZZ_CHECK(40 + uint64_t(image) <= total);
}
