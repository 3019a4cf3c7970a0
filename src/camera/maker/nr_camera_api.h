#pragma once
// The maker camera library's call set (libnrcamera.so, loaded at run time from the program's
// folder). Every call returns an int status, 0 for success; the first argument of the per-device
// calls is the device's index within this library. The library serves simulated cameras; the
// NRCamera_Sim_ calls steer their simulation (stage, focus, faults) and are optional extras.

#include <cstddef>
#include <cstdint>

#include "camera/camera_types.h"

#pragma pack(push, 1)
// Device record of NRCamera_Get_DevList: 592 bytes, ANSI (UTF-8) name at byte 200, the two mode
// values at 584 and 588 (1 and 0: the camera runs in USB 2.0 mode).
struct NRDeviceRecord {
    uint8_t reserved0[200];
    char name[384];
    int32_t modeFirst;
    int32_t modeSecond;
};
// Capability record of NRCamera_Get_Capability: at least 380 bytes.
struct NRCapability {
    uint8_t reserved0[88];
    int64_t minExposureUs;  // byte 88
    int64_t maxExposureUs;  // byte 96
    uint8_t reserved1[16];
    int32_t minAnalogGain;  // byte 120
    int32_t maxAnalogGain;  // byte 124
    uint8_t reserved2[256];
};
#pragma pack(pop)
static_assert(sizeof(NRDeviceRecord) == 592);
static_assert(offsetof(NRDeviceRecord, name) == 200);
static_assert(offsetof(NRDeviceRecord, modeFirst) == 584);
static_assert(sizeof(NRCapability) >= 380);
static_assert(offsetof(NRCapability, maxExposureUs) == 96);
static_assert(offsetof(NRCapability, minAnalogGain) == 120);

// The ISP callback: (a, raw frame, header of the displayable frame, context). Called on the
// library's own thread once per frame after NRCamera_Play; the receiver hands a and raw to
// NRCameraISP, which returns the displayable frame (32 bits, bottom-up, described by header) or
// null to drop it. The raw frame and the displayable frame stay valid until the callback returns.
using NRCameraIspCallback = int (*)(int a, uint8_t* raw, FCBitmapInfoHeader* header, void* context);

extern "C" {
// count: in, the room in records; out, the number of devices (the records written are at most
// the room).
int NRCamera_Get_DevList(NRDeviceRecord* records, int* count);
int NRCamera_Init(NRCameraIspCallback isp, void* context, int reserved, void* window, int index);
int NRCamera_Play(int index);
int NRCamera_Pause(int index);
int NRCamera_Stop(int index);
int NRCamera_UnInit(int index);
uint8_t* NRCameraISP(int a, uint8_t* raw);

// A 24-bit still (B,G,R DIB rows) at still resolution stillIndex; complete on return.
int NRCamera_CaptureToBuf(int index, uint8_t* buffer, int stillIndex);

int NRCamera_Get_ResolutionCount(int index, int* count);
int NRCamera_Get_ResolutionSize(int index, int i, int* width, int* height);
int NRCamera_Get_ResolutionIndex(int index, int* i);
int NRCamera_Set_ResolutionIndex(int index, int i);
int NRCamera_Get_StillResolutionCount(int index, int* count);
int NRCamera_Get_StillResolutionSize(int index, int i, int* width, int* height);
int NRCamera_Get_StillResolutionIndex(int index, int* i);
int NRCamera_Set_StillResolutionIndex(int index, int i);
int NRCamera_Get_Resolution(int index, int* width, int* height);
int NRCamera_Set_Resolution(int index, int width, int height);
// flag 1: the last resolution of each list is the region-of-interest entry.
int NRCamera_IsSupportROI(int index, int* flag);

int NRCamera_Set_AeState(int index, int on);
int NRCamera_Get_AeState(int index, int* on);
int NRCamera_Set_AeTarget(int index, int target, int tolerance);  // target 1..255; tolerance 15
int NRCamera_Get_AeTarget(int index, uint8_t* target);
int NRCamera_Set_ExpoTime(int index, int64_t microseconds);
int NRCamera_Get_ExpoTime(int index, int64_t* microseconds);
int NRCamera_Set_AnalogGain(int index, double gain);
int NRCamera_Get_AnalogGain(int index, double* gain);
int NRCamera_Get_SupportAutoGain(int index, int* supported);
// White-balance gains, 1.0 neutral, 0.1 .. 4.0.
int NRCamera_Set_Gain(int index, double red, double green, double blue);
int NRCamera_Get_Gain(int index, double* red, double* green, double* blue);
int NRCamera_Set_Gamma(int index, int gamma);            // 1 .. 255, 100 = 1.0
int NRCamera_Get_Gamma(int index, int* gamma);
int NRCamera_Set_Saturation(int index, int saturation);  // 0 .. 200, 100 = unchanged
int NRCamera_Get_Saturation(int index, int* saturation);
int NRCamera_Set_Contrast(int index, int contrast);      // 0 .. 256, 128 = unchanged
int NRCamera_Get_Contrast(int index, int* contrast);
int NRCamera_Set_Hue(int index, int degrees);            // -180 .. 180
int NRCamera_Get_Hue(int index, int* degrees);
int NRCamera_Set_Brightness(int index, int brightness);  // -100 .. 100
int NRCamera_Get_Brightness(int index, int* brightness);
int NRCamera_Set_Sharpen(int index, int enable, int level);  // level 30 .. 100
int NRCamera_Get_Sharpen(int index, int* enable, int* level);
int NRCamera_Set_HFlip(int index, int on);
int NRCamera_Get_HFlip(int index, int* on);
int NRCamera_Set_VFlip(int index, int on);
int NRCamera_Get_VFlip(int index, int* on);
int NRCamera_Set_FrameSpeed(int index, int speed);  // 1 normal, 2 high, 3 super
int NRCamera_Get_FrameSpeed(int index, int* speed);
int NRCamera_Set_LightFrequency(int index, int value);  // 0 AC 50 Hz, 1 AC 60 Hz, 2 DC
int NRCamera_Get_LightFrequency(int index, int* value);
int NRCamera_Get_Capability(int index, NRCapability* capability);
// Starts one white balance (on = 1); the result arrives through the white-balance callback.
int NRCamera_Set_OnceWB(int index, int on);
int NRCamera_Set_WhiteBlanceCallback(int index, CameraWhiteBalanceCallback callback, void* user);
int NRCamera_Get_CaptureFrameRate(int index, float* fps);
int NRCamera_Get_DisplayFrameRate(int index, float* fps);

// Simulation controls.
int NRCamera_Sim_SetStage(int index, double x, double y);  // specimen units (2 per micrometre)
int NRCamera_Sim_MoveStage(int index, double dx, double dy);
// The field centre now (specimen units, drift included) and the units per live frame pixel.
int NRCamera_Sim_GetStage(int index, double* x, double* y, double* unitsPerPixelX, double* unitsPerPixelY);
// The specimen moves by (dx, dy) live pixels in the picture, as under a hand moving the slide.
int NRCamera_Sim_MoveStagePixels(int index, double dx, double dy);
// The stage's slow wander in specimen units; 0 holds it still where it is.
int NRCamera_Sim_SetStageDrift(int index, double amplitude);
int NRCamera_Sim_SetFocus(int index, double zMicrons);
// dropEvery: every n-th frame is dropped (0 never); stallAfter: no frames from that frame on
// (-1 never); removed: the device is gone (frames stop, calls fail with -1).
int NRCamera_Sim_SetFaults(int index, int dropEvery, int64_t stallAfter, int removed);
}
