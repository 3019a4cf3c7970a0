// Driver module of the MC-A camera: raw 8-bit mosaics, 1280 x 1024 sensor.
#include "common/module_driver.h"

namespace {

ModuleModel MakeModel() {
    ModuleModel m;
    m.name = "MC-A";
    m.family = "mc-a";
    m.sensorWidth = 1280;
    m.sensorHeight = 1024;
    m.unitsPerPixel = 1.0;
    m.raw = true;
    // By resolution number: size, then microseconds per row at normal and high frame speed
    // (frame rates at normal speed).
    m.resolutions = {
        {1280, 1024, {40, 27}},  // 24 fps
        {640, 480, {40, 27}},    // 52 fps
        {320, 240, {40, 27}},    // 104 fps
    };
    return m;
}

}  // namespace

#define NS_MODULE_COUNT_OUTPUTS 3
#define NS_MODULE_RAW 1
#define NS_MODULE_DEAD_PIXEL_SYNC 0
#include "common/module_entry_points.inc"
