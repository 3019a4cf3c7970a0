#pragma once
// How many simulated cameras of each family are attached, from the environment variable
// NORVANESCOPE_SIM_CAMERAS: comma-separated items `family=count`, families "maker",
// "maker-usb2" (maker cameras running in USB 2.0 mode, listed after the plain maker cameras),
// "mc-a", "mc-b", "mc-c", "mc-d". A family not named keeps its default (maker 1, maker-usb2 0,
// every mc-* 1). The item `none` sets every family to 0 (later items still count, so
// "none,mc-b=2" attaches two MC-B cameras and nothing else). Counts are clamped to 0..8;
// malformed items and unknown families are ignored. Blanks around names and numbers are allowed.
// A count may be followed by a fault of the family's cameras: ":busy" (opening fails, as for a
// camera another program holds) or ":silent" (it opens and plays but never delivers a frame).

#include <string_view>

inline constexpr const char* kSimCamerasVariable = "NORVANESCOPE_SIM_CAMERAS";
inline constexpr int kSimMaxCamerasPerFamily = 8;

// The count for a family under the current environment (read at each call, so a test can
// change the variable between enumerations). 0 for an unknown family.
int SimCameraCount(std::string_view family);

// The same for an explicit value of the variable; null means unset.
int SimCameraCountIn(const char* value, std::string_view family);

enum class SimCameraFault { None, Busy, Silent };
SimCameraFault SimCameraFaultOf(std::string_view family);
SimCameraFault SimCameraFaultIn(const char* value, std::string_view family);
