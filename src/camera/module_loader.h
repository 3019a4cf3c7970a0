#pragma once
// The program's side of the four camera driver modules (mcdrv_a.so … mcdrv_d.so): loading them,
// looking up their entry points, adapting their frames to the camera manager's frame sink,
// measuring the frame rate and, for module 4, handing a captured frame over to a waiting caller.
// Modules are numbered 1 to 4 (the camera kinds KindModule1 … KindModule4). A module that did
// not load lists no devices and every call for it returns -1 without effect.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "camera/camera_types.h"
#include "camera/module_api.h"

extern "C" {
// Entry points whose types module_api.h does not name.
using PFN_CameraSetParameterTeam = int (*)(int team);  // CameraSaveParameter, CameraReadParameter
using PFN_CameraGetParameterTeam = int (*)(int* team);
// Eight general-purpose lines: bit n of a mask is line n; a set direction bit makes it an output.
using PFN_CameraSetGpio = int (*)(uint8_t outputMask);
using PFN_CameraReadGpio = int (*)(uint8_t* levels);
using PFN_CameraWriteGpio = int (*)(uint8_t levels);
// Rectangles in frame pixels (top-down rows).
using PFN_CameraSetWindow = int (*)(int x, int y, int width, int height);
using PFN_CameraDisplayRGB24 = int (*)(uint8_t* frame);  // a frame of the current image size
// (window, message): where the module posts its notices; null stops them.
using PFN_CameraSetVideoMessage = int (*)(void* window, uint32_t message);
}

// A one-shot wake-up that resets itself when a waiter takes it; closing it wakes every waiter
// with a failure, so nobody sleeps on an event that is gone.
class CAutoResetEvent {
public:
    void Signal();
    // True when signalled within the timeout (the signal is consumed); false on timeout or
    // when the event is closed.
    bool Wait(std::chrono::milliseconds timeout);
    // Takes a pending signal without waiting; true when there was one.
    bool TryTake();
    void Close();
    bool IsClosed() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_signalled = false;
    bool m_closed = false;
};

struct ModuleState {
    // dlopen handle; null when the module did not load.
    void* hModule = nullptr;

    // Entry points, null when absent. Module 4's CameraGetMultiCameraNumber has two outputs:
    // call it through PFN_CameraGetMultiCameraNumber2.
    PFN_CameraGetMultiCameraNumber3 CameraGetMultiCameraNumber = nullptr;
    PFN_CameraInit CameraInit = nullptr;
    PFN_CameraVoid CameraUnInit = nullptr;
    PFN_CameraVoid CameraPlay = nullptr;
    PFN_CameraVoid CameraStop = nullptr;
    PFN_CameraSaveCurrentImage CameraSaveCurrentImage = nullptr;
    PFN_CameraCaptureFile CameraCaptureFile = nullptr;
    PFN_CameraGetImageSize CameraGetImageSize = nullptr;
    PFN_CameraSetInt CameraSetAeState = nullptr;
    PFN_CameraGetInt CameraGetAeState = nullptr;
    PFN_CameraSetInt CameraSetAWBState = nullptr;
    PFN_CameraGetInt CameraGetAWBState = nullptr;
    PFN_CameraSetByte CameraSetAeTarget = nullptr;
    PFN_CameraGetByte CameraGetAeTarget = nullptr;
    PFN_CameraSetExposureTime CameraSetExposureTime = nullptr;
    PFN_CameraGetExposureTime CameraGetExposureTime = nullptr;
    PFN_CameraGetMaxExposureTime CameraGetMaxExposureTime = nullptr;
    PFN_CameraSetAnalogGain CameraSetAnalogGain = nullptr;
    PFN_CameraGetAnalogGain CameraGetAnalogGain = nullptr;
    PFN_CameraSetGain CameraSetGain = nullptr;
    PFN_CameraGetGain CameraGetGain = nullptr;
    PFN_CameraSetByte CameraSetGamma = nullptr;
    PFN_CameraGetByte CameraGetGamma = nullptr;
    PFN_CameraSetInt CameraSetColorEnhancement = nullptr;
    PFN_CameraGetInt CameraGetColorEnhancement = nullptr;
    PFN_CameraSetByte CameraSetSaturation = nullptr;
    PFN_CameraGetByte CameraGetSaturation = nullptr;
    PFN_CameraSetByte CameraSetContrast = nullptr;
    PFN_CameraGetByte CameraGetContrast = nullptr;
    PFN_CameraSetMirror CameraSetMirror = nullptr;
    PFN_CameraGetMirror CameraGetMirror = nullptr;
    PFN_CameraSetInt CameraSetMonochrome = nullptr;
    PFN_CameraGetInt CameraGetMonochrome = nullptr;
    PFN_CameraSetInt CameraSetFrameSpeed = nullptr;
    PFN_CameraGetByte CameraGetFrameSpeed = nullptr;
    PFN_CameraSetInt CameraSetLightFrquency = nullptr;
    PFN_CameraGetInt CameraGetLightFrquency = nullptr;
    PFN_CameraSetParameterTeam CameraSaveParameter = nullptr;
    PFN_CameraSetParameterTeam CameraReadParameter = nullptr;
    PFN_CameraGetParameterTeam CameraGetCurrentParameterTeam = nullptr;
    PFN_CameraSetGpio CameraSetGpio = nullptr;
    PFN_CameraReadGpio CameraReadGpio = nullptr;
    PFN_CameraWriteGpio CameraWriteGpio = nullptr;
    PFN_CameraGetRowTime CameraGetRowTime = nullptr;
    PFN_CameraSetROI CameraSetROI = nullptr;
    PFN_CameraGetROI CameraGetROI = nullptr;
    PFN_CameraSetWindow CameraSetWBWindow = nullptr;
    PFN_CameraSetWindow CameraSetDisplayWindow = nullptr;
    PFN_CameraSetInt CameraEnableDeadPixelCorrection = nullptr;
    PFN_CameraSetInt CameraSetB2RGBMode = nullptr;
    PFN_CameraGetInt CameraGetB2RGBMode = nullptr;
    PFN_CameraVoid CameraLoadDefault = nullptr;
    PFN_CameraSetVideoMessage CameraSetVideoMessage = nullptr;
    // Modules 1 to 3.
    PFN_CameraISP CameraISP = nullptr;
    PFN_CameraDisplayRGB24 CameraDisplayRGB24 = nullptr;
    PFN_CameraCaptureToBuf CameraCaptureToBuf = nullptr;
    // Module 2.
    PFN_CameraVoid CameraInitDeadPixel = nullptr;
    PFN_CameraSetInt CameraSetSnycEnable = nullptr;
    PFN_CameraGetInt CameraGetSnycEnable = nullptr;
    // Simulation controls.
    PFN_CameraSimSetStage CameraSimSetStage = nullptr;
    PFN_CameraSimMoveStage CameraSimMoveStage = nullptr;
    PFN_CameraSimSetFocus CameraSimSetFocus = nullptr;
    PFN_CameraSimSetFaults CameraSimSetFaults = nullptr;
    PFN_CameraSimGetStage CameraSimGetStage = nullptr;
    PFN_CameraSimMoveStagePixels CameraSimMoveStagePixels = nullptr;
    PFN_CameraSimSetStageDrift CameraSimSetStageDrift = nullptr;

    // The open camera; read by the frame thread.
    std::atomic<void*> pUser{nullptr};
    std::atomic<void*> hWnd{nullptr};
    std::atomic<int> nDevice{0};
    std::atomic<CameraFrameSink> pSink{nullptr};
    std::atomic<bool> bOpen{false};

    // Frame rate, measured over windows of more than a second; 0 until the second window.
    std::atomic<float> fFrameRate{0.0f};
    std::mutex rateMutex;  // guards nFrames and tLast
    int64_t nFrames = 0;
    int64_t tLast = 0;  // microseconds (steady clock) of the last rate computation; 0 = none

    std::atomic<int> nStillIndex{0};  // modules 1 to 3
    std::atomic<void*> pWbUser{nullptr};
    std::atomic<CameraWhiteBalanceCallback> pWbCallback{nullptr};

    // Module 4's capture hand-over, shared with the frame thread under captureMutex.
    std::mutex captureMutex;
    std::shared_ptr<CAutoResetEvent> hCaptureEvent;  // none while closed
    uint8_t* pCaptureTarget = nullptr;
    bool bCaptureRequest = false;
    std::mutex captureCallMutex;  // one hand-over at a time
};

class CModuleLoader {
public:
    static constexpr int kModules = 4;
    static constexpr int kCaptureTimeoutMs = 3000;

    CModuleLoader() = default;
    ~CModuleLoader();
    CModuleLoader(const CModuleLoader&) = delete;
    CModuleLoader& operator=(const CModuleLoader&) = delete;

    // Loads mcdrv_a.so … mcdrv_d.so from a folder (empty: the running program's folder), after
    // freeing whatever was loaded. Returns the number of modules loaded.
    int LoadAll(const std::string& folder = {});
    // Closes an open camera of each module and frees the modules, 4 down to 1.
    void FreeAll();
    bool IsLoaded(int m) const;
    // Module m (1..4); any other number gives a state that is never loaded.
    ModuleState& State(int m);

    // Attached cameras of module m (0 when it did not load).
    int DeviceCount(int m);
    // Opens camera libraryIndex of module m at the module's start resolution.
    int Open(int m, void* user, void* hwnd, int libraryIndex, CameraFrameSink sink);
    int Play(int m);
    int Stop(int m);
    int Close(int m);
    // Restarts the open camera at a resolution number (the module's own numbering) and plays.
    int Restart(int m, int resolutionNumber);
    // Modules 1 to 3: a 24-bit still at a resolution number, complete on return.
    int CaptureStill(int m, uint8_t* buffer, int resolutionNumber);
    // Module 4: the next frame copied into buffer (width x height x 3 bytes of the current
    // size). 0 on success; non-zero on timeout or when the camera closes meanwhile, and then
    // the buffer is left as it was and no later frame writes into it.
    int CaptureHandOver(uint8_t* buffer, int timeoutMs = kCaptureTimeoutMs);
    // Starts one white balance, waits a second for it, reads the gains and hands them to the
    // white-balance callback.
    int OneShotWhiteBalance(int m);
    int SetWhiteBalanceCallback(int m, CameraWhiteBalanceCallback cb, void* user);
    float FrameRate(int m);

private:
    bool Valid(int m) const { return m >= 1 && m <= kModules; }
    int Module4Start(int resolutionNumber);
    void CloseCaptureEvent();

    ModuleState m_state[kModules];
    ModuleState m_none;
};

// The process-wide loader; the modules' frame callbacks report to it.
CModuleLoader& theModules();
