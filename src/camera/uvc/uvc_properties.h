#pragma once
// Property numbers of UVCCamera's property calls beyond NRCamVideoProperty (camera_types.h).
// Values are in the camera's own units, as V4L2 reports them:
//   0 brightness, 1 contrast, 2 hue, 3 saturation, 4 sharpness, 5 gamma    - the device's scale
//   7 white balance    - colour temperature in kelvin; automatic flag = automatic white balance
//   9 gain             - the device's scale; automatic flag reports automatic gain (read only)
//   10, 12 red, blue   - white-balance components, where the device has them (11 never)
//   13 exposure target - not offered by UVC devices: always unsupported
//   14 exposure        - units of 100 us; automatic flag = automatic exposure (set: aperture
//                        priority, or full automatic where the device lacks it; clear: manual)
//   19, 20 flips       - 0 or 1
// A set call's flag means "automatic" only for 7 and 14; other properties ignore it.

#include "camera/camera_types.h"

// What a device says about one property.
struct UvcPropertyInfo {
    double min = 0, max = 0, step = 1, defaultValue = 0;
    bool autoSettable = false;  // the set call's flag switches an automatic mode (7, 14)
    bool autoDefault = false;   // that mode's default
    bool toggle = false;        // an on/off control
    bool readOnly = false;
};

// Backlight compensation, the device's scale.
inline constexpr int kUvcPropBacklightCompensation = 8;
// Anti-flicker for the mains frequency of the lighting: 0 off, 1 50 Hz, 2 60 Hz, 3 automatic
// (where the device offers it).
inline constexpr int kUvcPropPowerLineFrequency = 21;
