#pragma once
// CModuleDriver: what one driver module does behind its entry points. It serves the simulated
// cameras of one model (a CSimCamera per attached unit, kept while the module is loaded so a
// camera keeps its settings across a restart), drives one open camera at a time and paces its
// frames by the model's row times: a frame takes max(rows, exposure rows) x row time.
//
// Every call may come from any thread. The control calls (init, uninit, play, stop) refuse to
// run on the camera's own frame thread: they wait for that thread.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "camera/module_api.h"
#include "camera/sim/sim_camera.h"
#include "camera/sim/sim_config.h"

struct ModuleResolution {
    int width = 0;
    int height = 0;
    // Microseconds per sensor row at frame speed 0 (normal) and 1 (high).
    std::array<uint32_t, 2> rowTimeUs{};
};

struct ModuleModel {
    const char* name = "";    // "MC-A"
    const char* family = "";  // "mc-a": the counting key of the simulated cameras
    int sensorWidth = 0;
    int sensorHeight = 0;
    double unitsPerPixel = 1.0;
    bool raw = true;  // raw mosaics + CameraISP; otherwise finished 24-bit frames
    // By the module's resolution number: 0 is the largest.
    std::vector<ModuleResolution> resolutions;
};

class CModuleDriver {
public:
    static constexpr uint32_t kMaxExposureUs = 2000000;
    static constexpr int kParameterTeams = 4;

    explicit CModuleDriver(ModuleModel model);
    ~CModuleDriver();
    CModuleDriver(const CModuleDriver&) = delete;
    CModuleDriver& operator=(const CModuleDriver&) = delete;

    const ModuleModel& Model() const { return m_model; }
    int AttachedCameras() const;

    // --- control ---
    int Init(CameraFrameCallback callback, int resolution, void* window, uint8_t device,
             void* user);
    int UnInit();
    int Play();
    int Stop();

    // --- frames ---
    int GetImageSize(int* width, int* height);
    uint8_t* Isp(uint8_t* raw);
    int CaptureToBuf(uint8_t* buffer, int mode, int resolution);
    int CaptureFile(const char* path, int resolution);
    int SaveCurrentImage(const char* path);
    int DisplayRGB24(uint8_t* frame);

    // --- exposure ---
    int SetAeState(int on);
    int GetAeState(int* on);
    int SetAeTarget(uint8_t target);
    int GetAeTarget(uint8_t* target);
    int SetExposureTime(uint32_t rows);
    int GetExposureTime(uint32_t* rows);
    int GetMaxExposureTime(uint16_t* rows);
    int GetRowTime(uint32_t* microseconds);
    int SetAnalogGain(uint16_t gain);
    int GetAnalogGain(uint16_t* gain);

    // --- colour ---
    int SetAwbState(int on);
    int GetAwbState(int* on);
    int SetGain(int red, int green, int blue);
    int GetGain(int* red, int* green, int* blue);
    int SetGamma(uint8_t v);
    int GetGamma(uint8_t* v);
    int SetContrast(uint8_t v);
    int GetContrast(uint8_t* v);
    int SetSaturation(uint8_t v);
    int GetSaturation(uint8_t* v);
    int SetColorEnhancement(int on);
    int GetColorEnhancement(int* on);
    int SetMonochrome(int on);
    int GetMonochrome(int* on);
    int SetB2RGBMode(int mode) { return SetFlag(&UnitState::b2rgbMode, mode, 2); }
    int GetB2RGBMode(int* mode) { return GetFlag(&UnitState::b2rgbMode, mode); }
    int SetWBWindow(int x, int y, int width, int height);

    // --- geometry, speed, light ---
    int SetMirror(int direction, int on);
    int GetMirror(int direction, int* on);
    int SetFrameSpeed(int speed);
    int GetFrameSpeed(uint8_t* speed);
    int SetLightFrequency(int value);
    int GetLightFrequency(int* value);
    int SetRoi(int x, int y, int width, int height);
    int GetRoi(int* x, int* y, int* width, int* height);
    int SetDisplayWindow(int x, int y, int width, int height);

    // --- parameters and housekeeping ---
    int SaveParameter(int team);
    int ReadParameter(int team);
    int GetCurrentParameterTeam(int* team);
    int LoadDefault();
    int SetGpio(uint8_t outputMask);
    int ReadGpio(uint8_t* levels);
    int WriteGpio(uint8_t levels);
    int EnableDeadPixelCorrection(int on) {
        return SetFlag(&UnitState::deadPixelCorrection, on, 1);
    }
    int InitDeadPixel();
    int SetSyncEnable(int on) { return SetFlag(&UnitState::syncEnable, on, 1); }
    int GetSyncEnable(int* on) { return GetFlag(&UnitState::syncEnable, on); }
    int SetVideoMessage(void* window, uint32_t message);

    // --- simulation ---
    int SimSetStage(double x, double y);
    int SimMoveStage(double dx, double dy);
    int SimSetFocus(double zMicrons);
    int SimSetFaults(int dropEvery, int64_t stallAfter, int removed);
    int SimGetStage(double* x, double* y, double* unitsPerPixelX, double* unitsPerPixelY);
    int SimMoveStagePixels(double dx, double dy);
    int SimSetStageDrift(double amplitude);

private:
    struct Rect {
        int x = 0, y = 0, width = 0, height = 0;
    };
    // The module's own registers that shape the picture (the rest lives in the sensor).
    struct Registers {
        uint8_t gamma = 100, contrast = 100, saturation = 100;
        int colorEnhancement = 0, monochrome = 0, frameSpeed = 0, lightFrequency = 0;
    };
    // What a parameter team holds.
    struct Parameters {
        SimSensorSettings sensor;
        bool ae = false;
        int aeTarget = 110;
        Registers regs;
    };
    // A camera unit and the module's registers for it; kept across init and uninit.
    struct UnitState {
        std::unique_ptr<CSimCamera> camera;
        Registers regs;
        int b2rgbMode = 0, deadPixelCorrection = 0, syncEnable = 0;
        bool deadPixelMapReady = false;
        uint8_t gpioOutputs = 0, gpioLevels = 0;
        std::array<std::optional<Parameters>, kParameterTeams> teams;
        int currentTeam = 0;
        Rect roi, wbWindow, displayWindow;
        void* messageWindow = nullptr;
        uint32_t message = 0;
    };
    // The open camera as one consistent snapshot.
    struct OpenView {
        UnitState* unit = nullptr;
        CSimCamera* camera = nullptr;
        uint32_t rowTimeUs = 0;
        int width = 0, height = 0;
        Registers regs;
    };

    // The open camera; with usable, also refused when the device is removed.
    std::optional<OpenView> View(bool usable = true);
    bool OnFrameThread();
    SimResolution ToSimResolution(int number) const;
    SimCameraModel EngineModel() const;
    static void ToneInto(const Registers& r, SimSensorSettings& s);
    static uint32_t MaxExposureRows(uint32_t rowTimeUs);
    int ChangeRegisters(const std::function<bool(Registers&)>& change);
    int ReadRegisters(Registers* out);
    bool ApplyParameters(const OpenView& v, const Parameters& p);
    void StopCamera(CSimCamera* camera);
    void OnFrame(CSimCamera* camera, const SimFrame& frame);
    void Pace(CSimCamera* camera, std::chrono::steady_clock::time_point entry);
    bool StillImage(int resolution, FCObjImage* out);
    int SetFlag(int UnitState::*field, int v, int maxValue);
    int GetFlag(int UnitState::*field, int* v);
    int SetRect(Rect UnitState::*field, int x, int y, int width, int height, bool inFrame);

    const ModuleModel m_model;

    // Lock order: m_controlMutex, m_settingsMutex, m_mutex. The camera's threads take only
    // m_mutex, m_lastMutex, m_paceMutex and m_wbMutex, each briefly and none while calling
    // the camera, so nothing held while waiting for them blocks them.
    std::mutex m_controlMutex;   // one init/uninit/play/stop at a time
    std::mutex m_settingsMutex;  // one read-modify-write of the settings at a time

    mutable std::mutex m_mutex;  // the units' registers and the fields below
    std::array<UnitState, kSimMaxCamerasPerFamily> m_units;
    int m_open = -1;  // unit index of the open camera
    int m_resolution = 0;
    CameraFrameCallback m_callback = nullptr;
    void* m_window = nullptr;
    void* m_user = nullptr;

    // The ISP output (frame thread only; valid until the next CameraISP).
    FCObjImage m_ispOut;

    // The last delivered frame, for CameraSaveCurrentImage.
    std::mutex m_lastMutex;
    SimRawFrame m_lastRaw;
    FCObjImage m_lastImage;

    // Pacing: the frame thread waits out the rest of a frame time here; Stop cuts it short.
    std::mutex m_paceMutex;
    std::condition_variable m_paceCv;
    bool m_stopping = false;
    std::chrono::steady_clock::time_point m_lastWake{};

    // One-shot white balance in progress.
    std::mutex m_wbMutex;
    std::condition_variable m_wbCv;
    bool m_wbPending = false;
};
