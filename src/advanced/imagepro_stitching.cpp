// The stitching calls: handle and argument checks around a picture series whose work is
// StitchTiles.

#include "advanced/imagepro_stitching.h"

#include <memory>
#include <mutex>

#include "advanced/imagepro_facade.h"
#include "advanced/imagepro_series.h"
#include "advanced/stitching/tile_stitcher.h"

namespace {

constexpr const char* kFamily = "stitching";

struct StitchingObject : imagepro::Object {
    explicit StitchingObject(imagepro::CallbackSink sink)
        : series(sink, false,
                 [this](const std::vector<cv::Mat>& pictures, cv::Mat* result,
                        std::string* reason) { return Stitch(pictures, result, reason); }) {}
    ~StitchingObject() override { series.Stop(); }

    bool Stitch(const std::vector<cv::Mat>& pictures, cv::Mat* result, std::string* reason) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            positions.clear();
        }
        if (pictures.size() < 2) {
            *reason = "at least two pictures are needed to stitch";
            return false;
        }
        const imagepro::CallbackSink& sink = series.Sink();
        StitchResult r =
            StitchTiles(pictures, StitchOptions{}, [&](int percent) { sink.Progress(percent); });
        if (!r.ok) {
            *reason = "no consistent layout: " + r.error;
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            positions = r.positions;
        }
        *result = std::move(r.picture);
        return true;
    }

    std::mutex mutex;  // guards positions
    std::vector<cv::Point2d> positions;
    imagepro::PictureSeries series;
};

template <class F>
int WithStitching(int h, F&& call) {
    auto object = imagepro::Handles().Get<StitchingObject>(h);
    if (!object) return imagepro::BadHandle(kFamily, h);
    return imagepro::Guarded([&] { return call(*object); });
}

}  // namespace

int imagepro_stitching_new(int version, imagepro_callback callback, void* context, int mode) {
    if (version != 1)
        return imagepro::Fail(IMAGEPRO_ERR_ARGUMENT,
                              "stitching version " + std::to_string(version) + " is unknown"),
               0;
    if (mode != IMAGEPRO_STITCHING_FILES)
        return imagepro::Fail(IMAGEPRO_ERR_ARGUMENT,
                              "stitching mode " + std::to_string(mode) + " is unknown"),
               0;
    int h = 0;
    const int status = imagepro::Guarded([&] {
        h = imagepro::Handles().Add(
            std::make_shared<StitchingObject>(imagepro::CallbackSink(callback, context)));
        return h ? IMAGEPRO_OK : imagepro::Fail(IMAGEPRO_ERR_MEMORY, "no handle left");
    });
    return status == IMAGEPRO_OK ? h : 0;
}

int imagepro_stitching_start(int h) {
    return WithStitching(h, [](StitchingObject& o) { return o.series.Start(); });
}

int imagepro_stitching_readdata(int h, const unsigned char* pixels, int width, int height,
                                int depth, int isLast) {
    if (const int bad = imagepro::CheckPictureIn(pixels, width, height, depth)) return bad;
    return WithStitching(h, [&](StitchingObject& o) {
        return o.series.Add(imagepro::PictureIn(pixels, width, height, depth), isLast != 0);
    });
}

int imagepro_stitching_stop(int h) {
    return WithStitching(h, [](StitchingObject& o) { return o.series.Stop(); });
}

int imagepro_stitching_delete(int h) {
    // Destroyed here, outside the table's lock: the destructor waits for the worker.
    std::shared_ptr<StitchingObject> object = imagepro::Handles().Remove<StitchingObject>(h);
    if (!object) return imagepro::BadHandle(kFamily, h);
    object->series.Stop();
    return IMAGEPRO_OK;
}

int imagepro_stitching_get_tilenum(int h) {
    auto object = imagepro::Handles().Get<StitchingObject>(h);
    if (!object) return imagepro::BadHandle(kFamily, h), -1;
    std::lock_guard<std::mutex> lock(object->mutex);
    return object->positions.empty() ? -1 : static_cast<int>(object->positions.size());
}

int imagepro_stitching_get_tileposition(int h, int i, double* x, double* y) {
    if (!x || !y) return imagepro::Fail(IMAGEPRO_ERR_ARGUMENT, "no place for the position given");
    return WithStitching(h, [&](StitchingObject& o) -> int {
        std::lock_guard<std::mutex> lock(o.mutex);
        if (o.positions.empty())
            return imagepro::Fail(IMAGEPRO_ERR_STATE, "no stitched result yet");
        if (i < 0 || i >= static_cast<int>(o.positions.size()))
            return imagepro::Fail(IMAGEPRO_ERR_ARGUMENT, "no tile " + std::to_string(i));
        *x = o.positions[i].x;
        *y = o.positions[i].y;
        return IMAGEPRO_OK;
    });
}
