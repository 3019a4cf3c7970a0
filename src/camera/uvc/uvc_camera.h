#pragma once
// UVCCamera: generic USB (UVC) cameras through V4L2. One process-wide instance (theUVCCamera).
// Members keep the capture library's spelling. Every call returns an int status, 0 for success;
// calls without an open camera return -1. Frames go to the frame callback on the camera's own
// capture thread as bottom-up DIB rows of Camera_GetBitCount bits (24: B,G,R).
//
// The device calls (open, ioctl, mmap, poll, …) go through an IV4l2Sys, the real system by
// default; tests hand in a scripted fake of that layer and everything above it is the real code.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera/camera_types.h"
#include "camera/uvc/uvc_properties.h"

class IV4l2Sys;

class UVCCamera {
public:
    UVCCamera();
    ~UVCCamera();
    UVCCamera(const UVCCamera&) = delete;
    UVCCamera& operator=(const UVCCamera&) = delete;

    // The device-call layer; call before InitializeAPI (or after UnInitializeAPI). Null restores
    // the real system.
    void SetSys(std::shared_ptr<IV4l2Sys> sys);

    int InitializeAPI();
    int UnInitializeAPI();
    // count: in, the room in records; out, the number of records written. ports, when given,
    // gets each camera's bus position ("usb-0000:00:14.0-1") in the same order.
    int UVCCam_Get_DevList(CameraInformation* records, int* count, std::vector<std::string>* ports = nullptr);

    int UVCCamInit(CameraFrameSink callback, void* user, void* window, const char16_t* name,
                   int index);
    int UVCCamPlay();
    int UVCPause();
    int UVCCamStop();
    int UVCCamUnit();
    int Camera_GetBitCount();

    // A still at still resolution stillIndex into buffer (DIB rows at Camera_GetBitCount bits);
    // synchronous. mode is 1.
    int CameraCaptureToBuf(uint8_t* buffer, int mode, int stillIndex);

    int UVCGetPreviewSize(int* width, int* height);
    int UVCSetPreviewSize(int width, int height);
    int Camera_Get_ResolutionCount(int* count);
    int Camera_Get_ResolutionSize(int i, int* width, int* height);
    int Camera_Get_ResolutionIndex(int* i);
    int Camera_Set_ResolutionIndex(int i);
    int Camera_Get_StillResolutionCount(int* count);
    int Camera_Get_StillResolutionSize(int i, int* width, int* height);
    // Media types ("MJPG", "YUY2", …): names of 16 UTF-16 units; count in: room, out: number.
    int Gamera_Get_MediaTypes(char16_t (*names)[16], int* count);
    int Camera_Set_MediaTypeByIndex(int i);

    // Properties by NRCamVideoProperty number. Status 0 means supported; value is the current
    // setting. For exposure (14) and white balance (7) the flag selects automatic mode.
    int Camera_Get_VideoPropertyRane(int property, double* min, double* max, double* value);
    // The whole description of a property (range, step, default, whether the automatic mode
    // can be set, read-only); status as for the range query.
    int Camera_Get_VideoPropertyInfo(int property, UvcPropertyInfo* info);
    int Camera_Get_VideoProperty(int property, double* value, int* automatic);
    int Camera_Set_VideoProperty(int property, double value, int flag);

    // The capture library's own property sheet; there is none here (the program's own pages
    // serve every property), so it answers -1.
    int UVCShowUVCProcessPropertyPages();
    // Arrival (133) and removal (134) of video devices, from the device watch.
    int UVCCamSetEventCallBack(CameraDeviceCallback callback, void* user);
    int Camera_Get_CaptureFrameRate(float* fps);
    int Camera_Get_DisplayFrameRate(float* fps);
    // Why the last call failed or the stream ended ("cannot open /dev/video0: Device or
    // resource busy", "no frame from /dev/video0 within 3 s"); empty when nothing failed yet.
    std::string LastErrorText() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

UVCCamera& theUVCCamera();
