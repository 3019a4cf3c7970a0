#pragma once
// CCameraManager: one process-wide object hiding the three camera families (UVC cameras through
// V4L2, the four driver modules, the maker library) behind one set of operations. It lists the
// attached cameras, keeps one open, starts, pauses and stops it, hands every frame to one frame
// sink, captures stills, answers resolution and frame-rate queries and routes every setting.
//
// It owns one adapter per family (ICameraFamily) and forwards each call to the adapter of the
// open camera; each family's ranges, units and conversions live in its adapter. Every operation
// returns 0 unless stated; a failed one leaves its reason in LastError.
//
// Threads: the calls are made from the user-interface thread, and stills and settings also from
// workers (HDR, stitching); frames arrive on the family's own thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/camera_family.h"
#include "camera/camera_types.h"
#include "camera/maker/maker_library.h"

class CDeviceWatch;
class CMakerFamily;
class CModuleFamily;
class CUvcFamily;

enum CameraPlayState : int { Playing = 0, Stopped = 1, Paused = 2 };

class CCameraManager {
public:
    static constexpr int kMaxDevices = 255;

    CCameraManager();
    ~CCameraManager();
    CCameraManager(const CCameraManager&) = delete;
    CCameraManager& operator=(const CCameraManager&) = delete;

    // Start-up: loads the four modules and the maker library from folder (empty: the program's
    // folder) and initialises the UVC library. Returns the number of modules loaded.
    int Startup(const std::string& folder = {});
    int StartDeviceWatch();
    // Closes the open camera, stops the watch, frees module 4 … 1, the UVC library and the
    // maker library.
    void Shutdown();
    void SetDeviceCallback(CameraDeviceCallback callback, void* user);

    // Lists the attached cameras (modules 1 … 4, UVC, maker) into the device list.
    int EnumerateDevices(int* count);
    const std::vector<CameraDeviceEntry>& Devices() const { return m_devices; }
    // The manager's part of choosing entry i: it becomes the current camera.
    bool SelectDevice(int i);
    // Who entry i of the last enumeration is (model and serial number or port).
    std::string DeviceIdentity(int i);
    // The same for the open camera (empty when none).
    std::string OpenIdentity() const { return m_openIdentity; }

    // Lifecycle (routed to the current camera's family).
    int OpenCamera(void* hwnd, CameraFrameSink sink, void* user);
    int Play();
    int Pause();
    int Stop();
    int CloseCamera();
    // The open camera opened and has not been closed since.
    bool IsOpen() const { return m_bOpen; }
    // The status of the last Play (a camera may open and still refuse to stream).
    int LastPlayStatus() const { return m_nPlayStatus; }
    // False once the open camera has gone (unplugged, or its stream ended for good).
    bool IsOpenCameraPresent();
    // Frames the open camera delivered since it opened.
    uint64_t FramesDelivered() const { return m_frames.load(); }
    // Why the last failed call failed; stays until the next failure.
    std::string LastError() const;

    // Fills buffer, allocated for the still size of stillIndex at StillBitCount bits per pixel.
    int CaptureToBuffer(uint8_t* buffer, int stillIndex);
    // Bits per pixel of live frames and of stills of the open camera's kind.
    int LiveBitCount() const;
    int StillBitCount() const;

    int GetPreviewSize(int* width, int* height);
    // Sets the live size directly where the family can (UVC, maker); others keep theirs.
    int ApplyPreviewSize(int width, int height);
    int GetResolutionCount(int* count);
    int GetResolutionSize(int i, int* width, int* height);
    int GetResolutionIndex(int* i);
    int SetResolutionIndex(int i);
    int GetStillResolutionCount(int* count);
    int GetStillResolutionSize(int i, int* width, int* height);
    int GetStillResolutionIndex(int* i);
    int SetStillResolutionIndex(int i);
    int GetMediaTypes(char16_t (*names)[16], int* count);
    int SetMediaTypeByIndex(int i);
    float GetCaptureFrameRate();
    float GetDisplayFrameRate();

    // Settings.
    int SetAeState(int on);
    int GetAeState(int* on);
    int SetAeTarget(int target);
    int GetAeTarget(int* target);
    int SetExposureTime(int64_t microseconds);
    int GetExposureTime(int64_t* microseconds);
    int GetExposureRange(int64_t* max, int64_t* min);
    int SetAnalogGain(double gain);
    int GetAnalogGain(double* gain);
    int GetAnalogGainRange(int* max, int* min);
    int SetRgbGains(int red, int green, int blue);
    int GetRgbGains(int* red, int* green, int* blue);
    int GetRgbGainRanges(int* min, int* max);
    int SetGamma(int v);
    int GetGamma(int* v);
    int SetSaturation(int v);
    int GetSaturation(int* v);
    int SetContrast(int v);
    int GetContrast(int* v);
    int SetHue(int v);
    int GetHue(int* v);
    int SetBrightness(int v);
    int GetBrightness(int* v);
    int SetFlip(bool horizontal, int on);
    int GetFlip(bool horizontal, int* on);
    int SetFrameSpeed(int v);
    int GetFrameSpeed(int* v);
    int SetLightFrequency(int v);
    int GetLightFrequency(int* v);
    // Starts one white balance; the gains come through the white-balance callback (in the units
    // of GetRgbGains) on a camera thread, never blocking the caller.
    int OneShotWhiteBalance();
    int SetWhiteBalanceCallback(CameraWhiteBalanceCallback callback, void* user);
    int GetSharpen(int* enable, int* level);
    int SetSharpen(int enable, int level);
    // Whether automatic exposure also regulates the gain.
    bool SupportsAutoGain();
    // Status 0 and the range for a supported id, 1 otherwise (the property number of
    // NRCamVideoProperty; UVC cameras answer from the device).
    int GetPropertyRange(int id, double* min, double* max, double* current);
    // A UVC camera's property by number: read it (value, automatic flag) or set it (flag:
    // automatic mode for exposure and white balance).
    int GetVideoProperty(int id, double* value, int* automatic);
    int SetVideoProperty(int id, double value, int flag);

    // The settings of the open camera, each described once, and their values.
    CameraProperties Properties();
    int GetProperty(CameraPropertyKey key, CameraPropertyValue* value);
    int SetProperty(CameraPropertyKey key, const CameraPropertyValue& value);

    const CMakerLibrary& Maker() const;

    // The current camera (read by the pane, pages and document) and the open camera's kind.
    CameraDeviceEntry m_currentCamera{};
    int m_nCurrentDevice = -1;
    int m_nKind = -1;
    int m_nPlayState = Stopped;

    // The stage under the open camera (see OpenCameraStage), or null.
    std::unique_ptr<IStageControl> OpenStage();

private:
    static void DeviceEvent(int code, int parameter, void* user);
    static int CountFrame(int a, uint8_t* frame, const FCBitmapInfoHeader* header, void* user);

    // The family of a camera kind, or null.
    ICameraFamily* FamilyOf(int kind) const;
    // The open camera's family (m_nKind), or null.
    ICameraFamily* Open() const { return FamilyOf(m_nKind); }
    // A call on the open camera's family; -1 without one.
    template <class F>
    int Route(F&& call);
    int Get(CameraPropertyId id, CameraPropertyValue* value);
    int Set(CameraPropertyId id, const CameraPropertyValue& value);
    int Range(CameraPropertyId id, double* min, double* max);
    void SetError(std::string reason);

    bool m_bStarted = false;
    std::vector<CameraDeviceEntry> m_devices;
    std::unique_ptr<CModuleFamily> m_modules;
    std::unique_ptr<CUvcFamily> m_uvc;
    std::unique_ptr<CMakerFamily> m_maker;
    CDeviceWatch* m_watch = nullptr;
    std::mutex m_callbackMutex;
    CameraDeviceCallback m_deviceCallback = nullptr;
    void* m_deviceUser = nullptr;

    // The open camera; its frames pass through CountFrame on their way to the sink.
    bool m_bOpen = false;
    int m_nPlayStatus = 0;
    std::string m_openIdentity;
    std::atomic<CameraFrameSink> m_sink{nullptr};
    std::atomic<void*> m_sinkUser{nullptr};
    std::atomic<uint64_t> m_frames{0};

    mutable std::mutex m_errorMutex;
    std::string m_lastError;
};

// The process-wide camera manager.
CCameraManager& theCameraManager();
