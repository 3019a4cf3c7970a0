// Picture series handed to the stitching and HDR calls as the Advanced menu's jobs hand them:
// one to four pictures of any size the front bytes choose (also mismatched, one pixel, odd
// widths, 24 or 32 bits) with any pixels. A bad size or depth is refused with a status; a run
// ends in exactly one result or failure callback, never a crash or a hang, and what it reports
// fits the pictures given.
#include <cmath>
#include <cstring>
#include <vector>

#include "advanced/imagepro_hdr.h"
#include "advanced/imagepro_stitching.h"
#include "fuzz_target.h"

namespace {

struct Outcome {
    int results = 0, failures = 0;
    int width = 0, height = 0;
};

int Record(void* context, int status, int, const unsigned char* pixels, int width, int height,
           int) {
    auto* o = static_cast<Outcome*>(context);
    if (status == IMAGEPRO_CB_RESULT) {
        ++o->results;
        NS_FUZZ_CHECK(pixels && width > 0 && height > 0);
        o->width = width;
        o->height = height;
        // The whole result must be readable during the call.
        volatile unsigned sum = 0;
        const size_t bytes = static_cast<size_t>(width) * height * 3;
        sum = sum + pixels[0] + pixels[bytes - 1];
    } else if (status == IMAGEPRO_CB_FAILED) {
        ++o->failures;
    }
    return 0;
}

struct Picture {
    int width, height, depth;
    std::vector<unsigned char> bytes;  // rows padded to 4 bytes, as the picture buffer keeps them
    bool Accepted() const { return !bytes.empty() && depth != 16; }
};

}  // namespace

NS_FUZZ_TARGET(series) {
    ns_fuzz::Consumer in(data, size);
    const int count = 1 + in.Byte() % 4;
    const bool sameSize = in.Byte() & 1;
    std::vector<Picture> pictures;
    for (int i = 0; i < count; ++i) {
        Picture p;
        if (sameSize && i > 0) {
            p.width = pictures[0].width;
            p.height = pictures[0].height;
        } else {
            p.width = in.Byte() % 80 - 4;  // -4 .. 75: zero and below are refused
            p.height = in.Byte() % 80 - 4;
        }
        const uint8_t depth = in.Byte() % 8;
        p.depth = depth == 7 ? 16 : depth & 1 ? 32 : 24;  // 16 bits are refused
        if (p.width > 0 && p.height > 0) {
            const size_t stride = (static_cast<size_t>(p.width) * (p.depth / 8) + 3) & ~size_t{3};
            p.bytes.assign(stride * p.height, 0);
            // Each picture takes its share of the remaining bytes; repeated when short.
            const size_t share = in.size() / static_cast<size_t>(count - i);
            for (size_t k = 0; share > 0 && k < p.bytes.size(); k += share)
                std::memcpy(p.bytes.data() + k, in.data(), std::min(share, p.bytes.size() - k));
            for (size_t k = 0; k < share; ++k) in.Byte();
        }
        pictures.push_back(std::move(p));
    }

    for (const bool stitching : {true, false}) {
        Outcome o;
        const int h = stitching ? imagepro_stitching_new(1, Record, &o, IMAGEPRO_STITCHING_FILES)
                                : imagepro_hdr_new(1, Record, &o, IMAGEPRO_HDR_FILES);
        NS_FUZZ_CHECK(h != 0);
        NS_FUZZ_CHECK((stitching ? imagepro_stitching_start(h) : imagepro_hdr_start(h)) ==
                      IMAGEPRO_OK);
        int handed = 0;
        bool allSame = true;
        const Picture* first = nullptr;
        for (size_t i = 0; i < pictures.size(); ++i) {
            const Picture& p = pictures[i];
            const int isLast = i + 1 == pictures.size();
            const unsigned char* px = p.bytes.empty() ? nullptr : p.bytes.data();
            const int status =
                stitching ? imagepro_stitching_readdata(h, px, p.width, p.height, p.depth, isLast)
                          : imagepro_hdr_readdata(h, px, p.width, p.height, p.depth, isLast);
            if (!p.Accepted()) {
                NS_FUZZ_CHECK(status == IMAGEPRO_ERR_ARGUMENT);
                continue;
            }
            NS_FUZZ_CHECK(status == IMAGEPRO_OK);
            if (!first) first = &p;
            allSame = allSame && p.width == first->width && p.height == first->height;
            ++handed;
        }
        // Stopping waits for the run the last picture started.
        NS_FUZZ_CHECK((stitching ? imagepro_stitching_stop(h) : imagepro_hdr_stop(h)) ==
                      IMAGEPRO_OK);
        // Only the last picture starts the run.
        const bool ran = pictures.back().Accepted();
        NS_FUZZ_CHECK(o.results + o.failures == (ran ? 1 : 0));
        if (o.results && stitching) {
            const int n = imagepro_stitching_get_tilenum(h);
            NS_FUZZ_CHECK(n == handed);
            int k = 0;
            for (const Picture& p : pictures) {
                if (!p.Accepted()) continue;
                double x = 0, y = 0;
                NS_FUZZ_CHECK(imagepro_stitching_get_tileposition(h, k++, &x, &y) == IMAGEPRO_OK);
                NS_FUZZ_CHECK(std::isfinite(x) && std::isfinite(y));
                NS_FUZZ_CHECK(std::fabs(x) <= o.width + p.width && std::fabs(y) <= o.height + p.height);
            }
            double x = 0, y = 0;
            NS_FUZZ_CHECK(imagepro_stitching_get_tileposition(h, n, &x, &y) != IMAGEPRO_OK);
        }
        if (!stitching && ran) {
            // Exposures of one field fuse to its size; anything else is refused.
            const bool fusible = handed >= 2 && allSame;
            NS_FUZZ_CHECK(o.results == (fusible ? 1 : 0));
            if (o.results)
                NS_FUZZ_CHECK(o.width == first->width && o.height == first->height);
        }
        NS_FUZZ_CHECK((stitching ? imagepro_stitching_delete(h) : imagepro_hdr_delete(h)) ==
                      IMAGEPRO_OK);
    }
}
