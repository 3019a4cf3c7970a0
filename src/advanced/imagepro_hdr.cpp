// The HDR calls: handle and argument checks around a picture series whose work is exposure
// fusion.

#include "advanced/imagepro_hdr.h"

#include <memory>

#include "advanced/fusion/exposure_fusion.h"
#include "advanced/imagepro_facade.h"
#include "advanced/imagepro_series.h"

namespace {

constexpr const char* kFamily = "HDR";

bool Fuse(const std::vector<cv::Mat>& pictures, cv::Mat* result, std::string* reason) {
    if (pictures.size() < 2) {
        *reason = "at least two exposures are needed";
        return false;
    }
    ExposureFusionResult r = FuseExposures(pictures);
    if (!r.ok) {
        *reason = r.error;
        return false;
    }
    *result = std::move(r.picture);
    return true;
}

struct HdrObject : imagepro::Object {
    HdrObject(imagepro::CallbackSink sink, bool live) : series(sink, live, Fuse) {}
    imagepro::PictureSeries series;
};

template <class F>
int WithHdr(int h, F&& call) {
    auto object = imagepro::Handles().Get<HdrObject>(h);
    if (!object) return imagepro::BadHandle(kFamily, h);
    return imagepro::Guarded([&] { return call(*object); });
}

}  // namespace

int imagepro_hdr_new(int version, imagepro_callback callback, void* context, int mode) {
    if (version != 1)
        return imagepro::Fail(IMAGEPRO_ERR_ARGUMENT,
                              "HDR version " + std::to_string(version) + " is unknown"),
               0;
    if (mode != IMAGEPRO_HDR_LIVE && mode != IMAGEPRO_HDR_FILES)
        return imagepro::Fail(IMAGEPRO_ERR_ARGUMENT,
                              "HDR mode " + std::to_string(mode) + " is unknown"),
               0;
    int h = 0;
    const int status = imagepro::Guarded([&] {
        h = imagepro::Handles().Add(std::make_shared<HdrObject>(
            imagepro::CallbackSink(callback, context), mode == IMAGEPRO_HDR_LIVE));
        return h ? IMAGEPRO_OK : imagepro::Fail(IMAGEPRO_ERR_MEMORY, "no handle left");
    });
    return status == IMAGEPRO_OK ? h : 0;
}

int imagepro_hdr_start(int h) {
    return WithHdr(h, [](HdrObject& o) { return o.series.Start(); });
}

int imagepro_hdr_readdata(int h, const unsigned char* pixels, int width, int height, int depth,
                          int isLast) {
    if (const int bad = imagepro::CheckPictureIn(pixels, width, height, depth)) return bad;
    return WithHdr(h, [&](HdrObject& o) {
        return o.series.Add(imagepro::PictureIn(pixels, width, height, depth), isLast != 0);
    });
}

int imagepro_hdr_stop(int h) {
    return WithHdr(h, [](HdrObject& o) { return o.series.Stop(); });
}

int imagepro_hdr_delete(int h) {
    std::shared_ptr<HdrObject> object = imagepro::Handles().Remove<HdrObject>(h);
    if (!object) return imagepro::BadHandle(kFamily, h);
    object->series.Stop();
    return IMAGEPRO_OK;
}
