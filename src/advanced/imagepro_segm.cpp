// The segmentation calls: handle checks, argument checks and the hand-over of pictures around
// segm::CSegmenter.

#include "advanced/imagepro_segm.h"

#include <mutex>
#include <string>

#include "advanced/imagepro_facade.h"
#include "advanced/segmentation/segmenter.h"

namespace {

constexpr const char* kFamily = "segmentation";

struct SegmObject : imagepro::Object {
    std::mutex mutex;
    segm::CSegmenter segmenter;
    imagepro::PictureOut result;
};

// Runs a call on the handle's object under its lock; the status of the call.
template <class F>
int WithSegm(int h, F&& call) {
    auto object = imagepro::Handles().Get<SegmObject>(h);
    if (!object) return imagepro::BadHandle(kFamily, h);
    std::lock_guard<std::mutex> lock(object->mutex);
    return imagepro::Guarded([&] { return call(*object); });
}

// A value of the handle's object, or the fallback for a bad handle.
template <class T, class F>
T ValueOf(int h, T fallback, F&& read) {
    auto object = imagepro::Handles().Get<SegmObject>(h);
    if (!object) {
        imagepro::BadHandle(kFamily, h);
        return fallback;
    }
    std::lock_guard<std::mutex> lock(object->mutex);
    return read(*object);
}

segm::SegmSettings& Settings(SegmObject& o) {
    return o.segmenter.Settings();
}

int OutOfRange(const char* what, int value) {
    return imagepro::Fail(IMAGEPRO_ERR_ARGUMENT,
                          std::string(what) + " " + std::to_string(value) + " is out of range");
}

int SetStyle(int h, int value, int segm::SegmSettings::*field, const char* what) {
    if (value < 0 || value > 2) return OutOfRange(what, value);
    return WithSegm(h, [&](SegmObject& o) {
        Settings(o).*field = value;
        return IMAGEPRO_OK;
    });
}

int SetBound(int h, int value, int segm::SegmSettings::*field, const char* what) {
    if (value < IMAGEPRO_SEGM_NO_BOUND) return OutOfRange(what, value);
    return WithSegm(h, [&](SegmObject& o) {
        Settings(o).*field = value;
        return IMAGEPRO_OK;
    });
}

int SetColour(int h, std::array<uint8_t, 3> segm::SegmSettings::*field, unsigned char r,
              unsigned char g, unsigned char b) {
    return WithSegm(h, [&](SegmObject& o) {
        Settings(o).*field = {r, g, b};
        return IMAGEPRO_OK;
    });
}

int GetColour(int h, std::array<uint8_t, 3> segm::SegmSettings::*field, unsigned char* r,
              unsigned char* g, unsigned char* b) {
    if (!r || !g || !b)
        return imagepro::Fail(IMAGEPRO_ERR_ARGUMENT, "no place for the colour given");
    return WithSegm(h, [&](SegmObject& o) {
        const auto& c = Settings(o).*field;
        *r = c[0];
        *g = c[1];
        *b = c[2];
        return IMAGEPRO_OK;
    });
}

int SetInt(int h, int segm::SegmSettings::*field, int value) {
    return WithSegm(h, [&](SegmObject& o) {
        Settings(o).*field = value;
        return IMAGEPRO_OK;
    });
}

int GetInt(int h, int segm::SegmSettings::*field) {
    const int fallback = segm::SegmSettings{}.*field;
    return ValueOf(h, fallback, [&](SegmObject& o) { return Settings(o).*field; });
}

double Statistic(int h, double segm::SegmStats::*field) {
    return ValueOf(h, 0.0, [&](SegmObject& o) { return o.segmenter.Stats().*field; });
}

}  // namespace

extern "C" {

int imagepro_segm_new(void) {
    int h = 0;
    const int status = imagepro::Guarded([&] {
        h = imagepro::Handles().Add(std::make_shared<SegmObject>());
        return h ? IMAGEPRO_OK : imagepro::Fail(IMAGEPRO_ERR_MEMORY, "no handle left");
    });
    return status == IMAGEPRO_OK ? h : 0;
}

int imagepro_segm_delete(int h) {
    std::shared_ptr<SegmObject> object = imagepro::Handles().Remove<SegmObject>(h);
    if (!object) return imagepro::BadHandle(kFamily, h);
    std::lock_guard<std::mutex> lock(object->mutex);  // a call still running finishes first
    return IMAGEPRO_OK;
}

int imagepro_segm_readdata(int h, const unsigned char* pixels, int width, int height) {
    if (const int bad = imagepro::CheckPictureIn(pixels, width, height, 24)) return bad;
    return WithSegm(h, [&](SegmObject& o) {
        o.result.Clear();
        o.segmenter.SetPicture(imagepro::PictureIn(pixels, width, height, 24));
        return IMAGEPRO_OK;
    });
}

int imagepro_segm_set_contourlinetype(int h, int type) {
    return SetStyle(h, type, &segm::SegmSettings::outlineType, "outline type");
}
int imagepro_segm_get_contourlinetype(int h) {
    return GetInt(h, &segm::SegmSettings::outlineType);
}
int imagepro_segm_set_tabtype(int h, int type) {
    return SetStyle(h, type, &segm::SegmSettings::labelType, "label type");
}
int imagepro_segm_get_tabtype(int h) {
    return GetInt(h, &segm::SegmSettings::labelType);
}

int imagepro_segm_set_contourlinecolor(int h, unsigned char r, unsigned char g, unsigned char b) {
    return SetColour(h, &segm::SegmSettings::outlineRgb, r, g, b);
}
int imagepro_segm_get_contourlinecolor(int h, unsigned char* r, unsigned char* g,
                                       unsigned char* b) {
    return GetColour(h, &segm::SegmSettings::outlineRgb, r, g, b);
}
int imagepro_segm_set_tabcolor(int h, unsigned char r, unsigned char g, unsigned char b) {
    return SetColour(h, &segm::SegmSettings::labelRgb, r, g, b);
}
int imagepro_segm_get_tabcolor(int h, unsigned char* r, unsigned char* g, unsigned char* b) {
    return GetColour(h, &segm::SegmSettings::labelRgb, r, g, b);
}

int imagepro_segm_set_contourlinecolorindex(int h, int index) {
    return SetInt(h, &segm::SegmSettings::outlineColorIndex, index);
}
int imagepro_segm_get_contourlinecolorindex(int h) {
    return GetInt(h, &segm::SegmSettings::outlineColorIndex);
}
int imagepro_segm_set_tabcolorindex(int h, int index) {
    return SetInt(h, &segm::SegmSettings::labelColorIndex, index);
}
int imagepro_segm_get_tabcolorindex(int h) {
    return GetInt(h, &segm::SegmSettings::labelColorIndex);
}

int imagepro_segm_set_findbyareaorlength(int h, unsigned char byArea, unsigned char byPerimeter) {
    return WithSegm(h, [&](SegmObject& o) {
        Settings(o).byArea = byArea != 0;
        Settings(o).byPerimeter = byPerimeter != 0;
        return IMAGEPRO_OK;
    });
}
int imagepro_segm_get_findbyareaorlength(int h, unsigned char* byArea, unsigned char* byPerimeter) {
    if (!byArea || !byPerimeter)
        return imagepro::Fail(IMAGEPRO_ERR_ARGUMENT, "no place for the filter switches given");
    return WithSegm(h, [&](SegmObject& o) {
        *byArea = Settings(o).byArea ? 1 : 0;
        *byPerimeter = Settings(o).byPerimeter ? 1 : 0;
        return IMAGEPRO_OK;
    });
}

int imagepro_segm_set_Rangeminarea(int h, int value) {
    return SetBound(h, value, &segm::SegmSettings::minArea, "lower area bound");
}
int imagepro_segm_get_Rangeminarea(int h) {
    return GetInt(h, &segm::SegmSettings::minArea);
}
int imagepro_segm_set_Rangemaxarea(int h, int value) {
    return SetBound(h, value, &segm::SegmSettings::maxArea, "upper area bound");
}
int imagepro_segm_get_Rangemaxarea(int h) {
    return GetInt(h, &segm::SegmSettings::maxArea);
}
int imagepro_segm_set_Rangeminlength(int h, int value) {
    return SetBound(h, value, &segm::SegmSettings::minPerimeter, "lower perimeter bound");
}
int imagepro_segm_get_Rangeminlength(int h) {
    return GetInt(h, &segm::SegmSettings::minPerimeter);
}
int imagepro_segm_set_Rangemaxlength(int h, int value) {
    return SetBound(h, value, &segm::SegmSettings::maxPerimeter, "upper perimeter bound");
}
int imagepro_segm_get_Rangemaxlength(int h) {
    return GetInt(h, &segm::SegmSettings::maxPerimeter);
}

int imagepro_segm_set_findcontourtype(int h, int mode) {
    if (mode != IMAGEPRO_SEGM_CONTOURS_OUTER && mode != IMAGEPRO_SEGM_CONTOURS_WITH_HOLES)
        return OutOfRange("contour mode", mode);
    return SetInt(h, &segm::SegmSettings::contourMode, mode);
}
int imagepro_segm_get_findcontourtype(int h) {
    return GetInt(h, &segm::SegmSettings::contourMode);
}

int imagepro_segm_findcontour(int h) {
    return WithSegm(h, [&](SegmObject& o) -> int {
        if (!o.segmenter.HasPicture())
            return imagepro::Fail(IMAGEPRO_ERR_STATE, "no picture to segment: readdata first");
        o.result.Clear();
        o.segmenter.Run();
        o.result.Set(o.segmenter.Result());
        return IMAGEPRO_OK;
    });
}

const unsigned char* imagepro_segm_getdata(int h) {
    return ValueOf(h, static_cast<const unsigned char*>(nullptr),
                   [](SegmObject& o) { return o.result.Data(); });
}

int imagepro_segm_get_contournum(int h) {
    return ValueOf(h, 0,
                   [](SegmObject& o) { return static_cast<int>(o.segmenter.Objects().size()); });
}

int imagepro_segm_get_contourdata(int h, imagepro_contour* buffer, int n) {
    if (n < 0 || (n > 0 && !buffer))
        return imagepro::Fail(IMAGEPRO_ERR_ARGUMENT, "no buffer for the object records given");
    int copied = 0;
    const int status = WithSegm(h, [&](SegmObject& o) {
        const auto& objects = o.segmenter.Objects();
        for (; copied < n && copied < static_cast<int>(objects.size()); ++copied) {
            const segm::SegObject& s = objects[copied];
            buffer[copied] = imagepro_contour{0, s.centerX, s.centerY, s.area, s.perimeter};
        }
        return IMAGEPRO_OK;
    });
    return status == IMAGEPRO_OK ? copied : status;
}

double imagepro_segm_get_min_area(int h) {
    return Statistic(h, &segm::SegmStats::minArea);
}
double imagepro_segm_get_max_area(int h) {
    return Statistic(h, &segm::SegmStats::maxArea);
}
double imagepro_segm_get_ave_area(int h) {
    return Statistic(h, &segm::SegmStats::aveArea);
}
double imagepro_segm_get_min_length(int h) {
    return Statistic(h, &segm::SegmStats::minPerimeter);
}
double imagepro_segm_get_max_length(int h) {
    return Statistic(h, &segm::SegmStats::maxPerimeter);
}
double imagepro_segm_get_ave_length(int h) {
    return Statistic(h, &segm::SegmStats::avePerimeter);
}

int imagepro_segm_mouse_Ldown(int h, int x, int y) {
    return WithSegm(h, [&](SegmObject& o) {
        o.segmenter.Press(cv::Point(x, y));
        return IMAGEPRO_OK;
    });
}
int imagepro_segm_mouse_move(int h, int x, int y) {
    return WithSegm(h, [&](SegmObject& o) {
        o.segmenter.Move(cv::Point(x, y));
        return IMAGEPRO_OK;
    });
}
int imagepro_segm_mouse_Lup(int h) {
    return WithSegm(h, [&](SegmObject& o) {
        o.segmenter.Release();
        return IMAGEPRO_OK;
    });
}

}  // extern "C"
