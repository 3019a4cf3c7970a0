// Driver module of the MC-D camera: finished 24-bit frames, 3488 x 2616 sensor.
#include "common/module_driver.h"

namespace {

ModuleModel MakeModel() {
    ModuleModel m;
    m.name = "MC-D";
    m.family = "mc-d";
    m.sensorWidth = 3488;
    m.sensorHeight = 2616;
    m.unitsPerPixel = 0.45;
    m.raw = false;
    // By resolution number: size, then microseconds per row at normal and high frame speed
    // (frame rates at normal speed).
    m.resolutions = {
        {3488, 2616, {90, 60}},  // 4 fps
        {1600, 1200, {50, 34}},  // 17 fps
        {1280, 960, {40, 27}},   // 26 fps
        {800, 600, {32, 22}},    // 52 fps
        {640, 480, {30, 20}},    // 69 fps
    };
    return m;
}

}  // namespace

#define NS_MODULE_COUNT_OUTPUTS 2
#define NS_MODULE_RAW 0
#define NS_MODULE_DEAD_PIXEL_SYNC 0
#include "common/module_entry_points.inc"
