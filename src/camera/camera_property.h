#pragma once
// The camera property model: each camera family describes every setting it offers once
// (name, kind of value, range, step, unit, automatic flag, read-only), and the camera pages, the
// command-line tool's `props --set/--get` and the per-camera memory all read that description.
// Values travel as text in one format: "0"/"1" for switches, a number, "R,G,B" for the three
// white-balance gains, "on,LEVEL"/"off" for sharpening, and ",auto" after a value whose
// automatic mode is on.

#include <array>
#include <optional>
#include <string>
#include <vector>

enum class CameraPropertyId : int {
    AutoExposure,    // "ae"
    ExposureTarget,  // "ae-target"
    ExposureTime,    // "exposure-us"
    Gain,            // "gain"
    WhiteBalance,    // "wb"
    Gamma,           // "gamma"
    Contrast,        // "contrast"
    Saturation,      // "saturation"
    Hue,             // "hue"
    Brightness,      // "brightness"
    Sharpen,         // "sharpen"
    HFlip,           // "hflip"
    VFlip,           // "vflip"
    FrameSpeed,      // "speed"
    Mains,           // "mains"
    Video,           // a UVC property by its number ("uvc:N")
};

// Which property of a camera: the id, and for Video the property number.
struct CameraPropertyKey {
    CameraPropertyId id = CameraPropertyId::Gain;
    int video = -1;
    bool operator==(const CameraPropertyKey&) const = default;
};

enum class CameraValueKind {
    Toggle,    // 0 or 1
    Number,    // one number in [min, max]
    Choice,    // an index into choices
    Triple,    // three numbers in [min, max] (red, green, blue)
    Switched,  // on/off plus a level in [min, max]
};

struct CameraPropertyValue {
    // Number, Toggle, Choice: v[0]. Triple: v[0..2]. Switched: v[0] on (0/1), v[1] the level.
    std::array<double, 3> v{};
    bool automatic = false;
    bool operator==(const CameraPropertyValue&) const = default;
};

struct CameraPropertyInfo {
    CameraPropertyKey key;
    // The name the tool and the memory use; a UVC property is also reachable as "uvc:N".
    std::string name;
    CameraValueKind kind = CameraValueKind::Number;
    double min = 0, max = 0, step = 1;
    // What one unit of the value is in the family's own terms ("us", "K", "1/64" ...), and the
    // divisor that shows it as a plain factor (white-balance gains: 100 or 64).
    std::string unit;
    double scale = 1;
    bool hasAuto = false;   // the value can be left to the camera (",auto")
    bool readOnly = false;
    std::vector<std::string> choices;
    // The camera's own default, where it says what that is.
    std::optional<CameraPropertyValue> defaultValue;
};

using CameraProperties = std::vector<CameraPropertyInfo>;

// A description of a fixed id, named after it.
CameraPropertyInfo DescribeProperty(CameraPropertyId id, CameraValueKind kind, double min, double max,
                                    std::string unit = {});

// The name of a fixed id ("gain"); "uvc:N" for Video properties.
std::string CameraPropertyName(CameraPropertyKey key);
// The description a name refers to: its own name, or "uvc:N" for a property of that number.
const CameraPropertyInfo* FindCameraProperty(const CameraProperties& list, const std::string& name);
const CameraPropertyInfo* FindCameraProperty(const CameraProperties& list, CameraPropertyKey key);

// Text of a value as the tool prints it. keepLevel: sharpening that is off keeps its level
// ("off,60"), as the memory stores it.
std::string FormatCameraValue(const CameraPropertyInfo& info, const CameraPropertyValue& value,
                              bool keepLevel = false);
// Reads a value of this property from text, checking it against the description. On failure the
// reason ("gain: 70 is out of range (1 to 48)") goes to *error.
std::optional<CameraPropertyValue> ParseCameraValue(const CameraPropertyInfo& info, const std::string& text,
                                                    std::string* error);
