// Driver module of the MC-B camera: raw 8-bit mosaics, 2048 x 1536 sensor, dead-pixel map
// and sync input.
#include "common/module_driver.h"

namespace {

ModuleModel MakeModel() {
    ModuleModel m;
    m.name = "MC-B";
    m.family = "mc-b";
    m.sensorWidth = 2048;
    m.sensorHeight = 1536;
    m.unitsPerPixel = 0.75;
    m.raw = true;
    // By resolution number: size, then microseconds per row at normal and high frame speed
    // (frame rates at normal speed).
    m.resolutions = {
        {2048, 1536, {60, 40}},  // 11 fps
        {1024, 768, {40, 27}},   // 33 fps
        {640, 480, {30, 20}},    // 69 fps
    };
    return m;
}

}  // namespace

#define NS_MODULE_COUNT_OUTPUTS 3
#define NS_MODULE_RAW 1
#define NS_MODULE_DEAD_PIXEL_SYNC 1
#include "common/module_entry_points.inc"
