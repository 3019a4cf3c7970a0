#pragma once
// The entry points of the run-time loaded camera driver modules mcdrv_a.so … mcdrv_d.so
// (models MC-A … MC-D). The program looks every name up with dlsym; an absent one stays null.
// A module drives one open camera at a time (the device number given to CameraInit); every
// call returns an int status, 0 for success. Frames are bottom-up DIB rows.
//
// Resolution numbers count from the largest size down (the program's tables count up):
//   MC-A: 0 1280x1024, 1 640x480, 2 320x240
//   MC-B: 0 2048x1536, 1 1024x768, 2 640x480
//   MC-C: 0 2592x1944, 1 1280x960, 2 1024x768, 3 640x480
//   MC-D: 0 3488x2616, 1 1600x1200, 2 1280x960, 3 800x600, 4 640x480
// Modules 1 to 3 deliver raw sensor frames (an RGGB mosaic, 8 bits, one byte per pixel) that
// CameraISP turns into 24-bit B,G,R frames; module 4 delivers finished 24-bit frames.

#include <cstdint>

// Called on the module's own thread once per frame with the raw (modules 1-3) or finished
// (module 4) frame; valid until the callback returns.
using CameraFrameCallback = int (*)(uint8_t* frame);

// Names a test or tool can use to find a module's file.
inline constexpr const char* kModuleFiles[4] = {"mcdrv_a.so", "mcdrv_b.so", "mcdrv_c.so",
                                                "mcdrv_d.so"};

extern "C" {
// First output: the number of attached cameras. Module 4 has two outputs, the others three.
using PFN_CameraGetMultiCameraNumber3 = int (*)(uint8_t* count, uint8_t* second, uint8_t* third);
using PFN_CameraGetMultiCameraNumber2 = int (*)(uint8_t* count, uint8_t* second);
// (frame callback, resolution number, window, device number (1-based), user)
using PFN_CameraInit = int (*)(CameraFrameCallback callback, int resolution, void* window,
                               uint8_t device, void* user);
using PFN_CameraVoid = int (*)();  // CameraUnInit, CameraPlay, CameraStop, CameraLoadDefault
using PFN_CameraGetImageSize = int (*)(int* width, int* height);
// Modules 1-3: the 24-bit frame of a raw frame (module-owned, valid until the next call), or
// null when the raw frame cannot be processed.
using PFN_CameraISP = uint8_t* (*)(uint8_t* raw);
// Modules 1-3: a 24-bit still at a resolution number, complete on return; mode is 1.
using PFN_CameraCaptureToBuf = int (*)(uint8_t* buffer, int mode, int resolution);
using PFN_CameraSetInt = int (*)(int value);   // AeState, AWBState, FrameSpeed, LightFrquency,
                                               // ColorEnhancement, Monochrome, B2RGBMode, ...
using PFN_CameraGetInt = int (*)(int* value);
using PFN_CameraSetByte = int (*)(uint8_t value);  // AeTarget, Gamma, Saturation, Contrast
using PFN_CameraGetByte = int (*)(uint8_t* value); // also GetFrameSpeed
// Exposure in sensor rows; the row time in microseconds per row.
using PFN_CameraSetExposureTime = int (*)(uint32_t rows);
using PFN_CameraGetExposureTime = int (*)(uint32_t* rows);
using PFN_CameraGetMaxExposureTime = int (*)(uint16_t* rows);
using PFN_CameraGetRowTime = int (*)(uint32_t* microsecondsPerRow);
using PFN_CameraSetAnalogGain = int (*)(uint16_t gain);  // 1 .. 48
using PFN_CameraGetAnalogGain = int (*)(uint16_t* gain);
// White-balance gains in percent, 20 .. 200, 100 neutral.
using PFN_CameraSetGain = int (*)(int red, int green, int blue);
using PFN_CameraGetGain = int (*)(int* red, int* green, int* blue);
// direction 0 horizontal, 1 vertical
using PFN_CameraSetMirror = int (*)(int direction, int on);
using PFN_CameraGetMirror = int (*)(int direction, int* on);
using PFN_CameraSetROI = int (*)(int x, int y, int width, int height);
using PFN_CameraGetROI = int (*)(int* x, int* y, int* width, int* height);
using PFN_CameraSaveCurrentImage = int (*)(const char* path);
using PFN_CameraCaptureFile = int (*)(const char* path, int resolution);

// Simulation controls (optional extras): stage in specimen units (2 per micrometre), focus in
// micrometres, fault switches as for the maker library's NRCamera_Sim_SetFaults.
using PFN_CameraSimSetStage = int (*)(double x, double y);
using PFN_CameraSimMoveStage = int (*)(double dx, double dy);
using PFN_CameraSimSetFocus = int (*)(double zMicrons);
using PFN_CameraSimSetFaults = int (*)(int dropEvery, int64_t stallAfter, int removed);
// The stage as the maker library's NRCamera_Sim_GetStage, _MoveStagePixels, _SetStageDrift.
using PFN_CameraSimGetStage = int (*)(double* x, double* y, double* unitsPerPixelX, double* unitsPerPixelY);
using PFN_CameraSimMoveStagePixels = int (*)(double dx, double dy);
using PFN_CameraSimSetStageDrift = int (*)(double amplitude);
}
// Gamma, contrast and saturation: 20 .. 255, 100 = 1.0 (unchanged). Frame speed 0 normal,
// 1 high. Light frequency 0 AC 50 Hz, 1 AC 60 Hz. AE target 1 .. 255 (mean level sought).
