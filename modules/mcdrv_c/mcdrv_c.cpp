// Driver module of the MC-C camera: raw 8-bit mosaics, 2592 x 1944 sensor.
#include "common/module_driver.h"

namespace {

ModuleModel MakeModel() {
    ModuleModel m;
    m.name = "MC-C";
    m.family = "mc-c";
    m.sensorWidth = 2592;
    m.sensorHeight = 1944;
    m.unitsPerPixel = 0.6;
    m.raw = true;
    // By resolution number: size, then microseconds per row at normal and high frame speed
    // (frame rates at normal speed).
    m.resolutions = {
        {2592, 1944, {75, 50}},  // 7 fps
        {1280, 960, {45, 30}},   // 23 fps
        {1024, 768, {40, 27}},   // 33 fps
        {640, 480, {30, 20}},    // 69 fps
    };
    return m;
}

}  // namespace

#define NS_MODULE_COUNT_OUTPUTS 3
#define NS_MODULE_RAW 1
#define NS_MODULE_DEAD_PIXEL_SYNC 0
#include "common/module_entry_points.inc"
