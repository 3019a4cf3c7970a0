#pragma once
// Types shared by the camera manager and the three camera families. Plain data only: these
// cross shared-object boundaries.

#include <cstdint>

#include "image/obj_image.h"  // FCBitmapInfoHeader: every frame is described by one

// The camera family of a device entry; stored as an int.
enum CameraKind : int32_t {
    KindUvc = 0,
    KindModule1 = 1,
    KindModule2 = 2,
    KindModule3 = 3,
    KindModule4 = 4,
    KindMaker = 5,
};

#pragma pack(push, 1)
// One entry of the device list. The UVC library's device record has the same layout, so the
// same type serves both (`CameraInformation`).
struct CameraDeviceEntry {
    int32_t kind = KindUvc;
    int32_t listIndex = 0;
    int32_t libraryIndex = 0;
    int32_t modeFirst = 0;
    int32_t modeSecond = 0;
    char16_t name[260] = {};  // UTF-16, zero-terminated
};
#pragma pack(pop)
static_assert(sizeof(CameraDeviceEntry) == 540);
using CameraInformation = CameraDeviceEntry;

// The frame sink: (ignored int, frame bytes, header, user). Frames are DIB rows: bottom-up,
// each row padded to a multiple of 4 bytes, at the header's bit count (24: B,G,R; 32: B,G,R,X).
using CameraFrameSink = int (*)(int, uint8_t* frame, const FCBitmapInfoHeader* header, void* user);

// White-balance results: (0, red, green, blue, user).
using CameraWhiteBalanceCallback = void (*)(int, double red, double green, double blue, void* user);

// Device arrival and removal: (code, parameter, user).
using CameraDeviceCallback = void (*)(int code, int parameter, void* user);
constexpr int kDeviceArrival = 133;
constexpr int kDeviceRemoval = 134;

// The property numbers of the UVC library's property calls (and of GetPropertyRange).
enum NRCamVideoProperty : int {
    PropBrightness = 0,
    PropContrast = 1,
    PropHue = 2,
    PropSaturation = 3,
    PropSharpness = 4,
    PropGamma = 5,
    PropWhiteBalance = 7,
    PropGain = 9,
    PropRedGain = 10,
    PropGreenGain = 11,
    PropBlueGain = 12,
    PropExposureTarget = 13,
    PropExposure = 14,
    PropHFlip = 19,
    PropVFlip = 20,
};

// Bytes of one DIB row.
inline int64_t DibStride(int width, int bits) {
    return ((static_cast<int64_t>(width) * bits + 31) / 32) * 4;
}
