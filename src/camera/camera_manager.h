#pragma once
// CCameraManager: one process-wide object hiding the three camera families (UVC cameras through
// V4L2, the four driver modules, the maker library) behind one set of operations. It lists the
// attached cameras, keeps one open, starts, pauses and stops it, hands every frame to one frame
// sink, captures stills, answers resolution and frame-rate queries and routes every setting with
// the family's own ranges and conversions. Every operation returns 0 unless stated.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "camera/camera_types.h"
#include "camera/maker/maker_library.h"

class CDeviceWatch;
struct ModuleState;

enum CameraPlayState : int { Playing = 0, Stopped = 1, Paused = 2 };

// What switching cameras needs from the document, view and pane (the live document's side).
class ICameraSwitchHost {
public:
    virtual ~ICameraSwitchHost() = default;
    virtual bool HasLiveDocument() = 0;
    // Opens a new document, which becomes the live document and opens and plays the camera.
    virtual void OpenLiveDocument() = 0;
    // The live video window of the live document's view, or null when it has no view.
    virtual void* LiveVideoWindow() = 0;
    virtual CameraFrameSink LiveFrameSink() = 0;
    // The live camera is about to close for another one (a recording ends with it).
    virtual void LiveCameraClosing() {}
    virtual void RebuildPane(int kind) = 0;
    virtual void SetDocumentTitle(const std::u16string& title) = 0;
    virtual void SetFrameSize(int width, int height) = 0;
    virtual void ShowStatus(int pane, const std::string& text) = 0;
};

class CCameraManager {
public:
    static constexpr int kMaxDevices = 255;
    static constexpr int kUvcRoom = 32;
    static constexpr int kMakerRoom = 64;

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
    // Switching cameras from the camera list or at start-up.
    void SwitchCamera(int i, ICameraSwitchHost& host);

    // Lifecycle (routed on m_nKind).
    int OpenCamera(void* hwnd, CameraFrameSink sink, void* user);
    int Play();
    int Pause();
    int Stop();
    int CloseCamera();

    // Fills buffer, allocated for the still size of stillIndex at StillBitCount bits per pixel.
    int CaptureToBuffer(uint8_t* buffer, int stillIndex);
    // Bits per pixel of live frames and of stills of the open camera's kind.
    int LiveBitCount() const;
    int StillBitCount() const;

    int GetPreviewSize(int* width, int* height);
    int GetResolutionCount(int* count);
    int GetResolutionSize(int i, int* width, int* height);
    int GetResolutionIndex(int* i);
    int SetResolutionIndex(int i);
    int GetStillResolutionCount(int* count);
    int GetStillResolutionSize(int i, int* width, int* height);
    int GetStillResolutionIndex(int* i);
    int SetStillResolutionIndex(int i);
    int GetMediaTypes(char16_t (*names)[16], int* count);
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
    int OneShotWhiteBalance();
    int SetWhiteBalanceCallback(CameraWhiteBalanceCallback callback, void* user);
    int GetSharpen(int* enable, int* level);
    // Status 0 and the range for a supported id, 1 otherwise.
    int GetPropertyRange(int id, double* min, double* max, double* current);

    // Resolution tables of the module cameras (index 0 first).
    static const std::vector<std::pair<int, int>>& ModuleResolutions(int kind);
    // A table row as the module numbers it (largest first); rows outside the table as row 0.
    static int ModuleResolutionNumber(int kind, int row);

    const CMakerLibrary& Maker() const { return m_maker; }

    // The current camera (read by the pane, pages and document) and the open camera's kind.
    CameraDeviceEntry m_currentCamera{};
    int m_nCurrentDevice = -1;
    int m_nKind = -1;
    int m_nPlayState = Stopped;

private:
    // The maker library's context record for the open camera.
    struct MakerContext {
        CameraFrameSink sink = nullptr;
        void* user = nullptr;
        void* window = nullptr;
        int libraryIndex = 0;
    };
    static int MakerIsp(int a, uint8_t* raw, FCBitmapInfoHeader* header, void* context);
    static void DeviceEvent(int code, int parameter, void* user);

    bool IsModule() const { return m_nKind >= KindModule1 && m_nKind <= KindModule4; }
    int MakerIndex() const { return m_currentCamera.libraryIndex; }
    // Calls an entry point of the open module camera, or answers -1.
    template <class Fn, class... A>
    int ModuleCall(Fn ModuleState::*entry, A... args);
    int ModuleRowTime(uint32_t* rowTime);
    // A maker resolution count (with its call's status) less the region-of-interest entry.
    int MakerCountWithoutRoi(int status, int* count);
    int ModuleCurrentRow(int* row);

    bool m_bStarted = false;
    std::vector<CameraDeviceEntry> m_devices;
    CMakerLibrary m_maker;
    MakerContext m_makerContext;
    CDeviceWatch* m_watch = nullptr;
    std::mutex m_callbackMutex;
    CameraDeviceCallback m_deviceCallback = nullptr;
    void* m_deviceUser = nullptr;
};

// The process-wide camera manager.
CCameraManager& theCameraManager();
