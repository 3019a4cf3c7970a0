#pragma once
// CSimCamera: one simulated camera, a CSimSensor and the thread that paces its frames. The
// maker camera library and the driver modules each wrap one CSimCamera per open device.
//
// Threads: Start launches the frame thread, which renders one frame per frame interval of the
// sensor (never faster) and hands it to the frame function. Every public call may come from any
// thread, including from inside the frame function or the white-balance function (Stop and
// Pause there do not wait for themselves). The camera must not be destroyed from inside its own
// callbacks (OnCallbackThread tells a caller that it is on one, so it can defer the release).
// After Stop or Pause returns on another thread no frame function is running or will start
// until Start or Resume.
//
// Automatic exposure measures each delivered frame and steers exposure (and analogue gain, when
// auto gain is on and exposure is at its limit) towards a target mean level. One-shot white
// balance measures the clear background on a measurement frame of its own (so it also works
// while paused or stalled), sets the gains that make it neutral and reports them.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/sim/sim_sensor.h"
#include "image/obj_image.h"

// What the stream delivers.
enum class SimFrameForm {
    Finished24,  // B,G,R bottom-up DIB rows (FCObjImage, 24 bits)
    Finished32,  // B,G,R,X bottom-up DIB rows (FCObjImage, 32 bits)
    Raw,         // RGGB mosaic, 8 bits, rows top-down (SimRawFrame)
};

// An output size and the part of the sensor it shows.
struct SimResolution {
    int width = 0;
    int height = 0;
    FCRect roi{};  // native sensor pixels; empty = the whole sensor, scaled (binning/skipping)
};

struct SimCameraModel {
    std::string name;
    int sensorWidth = 1280;
    int sensorHeight = 1024;
    double unitsPerPixel = 1.0;  // specimen units per native sensor pixel
    // Live sizes; the stream starts at the first. A still may use any size.
    std::vector<SimResolution> resolutions;
    SimFrameForm form = SimFrameForm::Finished24;
    // Tone, colour, exposure, gain, frame speed, mains and noise defaults. Geometry fields
    // (sensor size, units per pixel, width, height, roi) are filled from the fields above.
    SimSensorSettings defaults;
    // Ranges the camera accepts and automatic exposure keeps to.
    double minExposureUs = 50;
    double maxExposureUs = 2000000;
    double maxAutoExposureUs = 200000;  // automatic exposure never exposes longer
    double maxAnalogGain = 64;
    bool supportsAutoGain = false;  // automatic exposure may raise analogue gain
    double minWbGain = 0.1;         // one-shot white balance keeps its gains in this range
    double maxWbGain = 4.0;
    bool autoExposure = false;     // automatic exposure on at construction
    int autoExposureTarget = 110;  // mean output level sought, 1 .. 255
};

// Where the stage is and how the live picture sees it.
struct SimStageReading {
    double x = 0, y = 0, z = 0;  // the field centre now: specimen units; focus in micrometres
    double unitsPerPixelX = 1, unitsPerPixelY = 1;  // specimen units per live frame pixel
};

// One delivered frame; valid until the frame function returns. Exactly one of image and raw is
// set, by the model's form. The receiver may modify the pixels (the buffer is reused).
struct SimFrame {
    uint64_t index = 0;  // stream frame number (counts from 0 at construction, across restarts)
    double time = 0;     // seconds since construction, when exposure started
    FCObjImage* image = nullptr;
    SimRawFrame* raw = nullptr;
};
using SimFrameFn = std::function<void(const SimFrame&)>;
// White-balance result: the gains now in effect (green is the reference and stays as it was).
using SimWhiteBalanceFn = std::function<void(double red, double green, double blue)>;

// Frames per second over a sliding window of recent timestamps (thread-safe).
class CSimRateMeter {
public:
    explicit CSimRateMeter(double windowSeconds = 2.0) : m_window(windowSeconds) {}
    void Add(double tSeconds);
    // 0 until two frames fell within the window ending at now.
    double Rate(double nowSeconds) const;
    void Reset();

private:
    const double m_window;
    mutable std::mutex m_mutex;
    std::deque<double> m_times;
};

class CSimCamera {
public:
    // unit: which camera of its model this is; each unit looks at its own (deterministic)
    // place of the shared virtual slide.
    CSimCamera(SimCameraModel model, int unit);
    ~CSimCamera();
    CSimCamera(const CSimCamera&) = delete;
    CSimCamera& operator=(const CSimCamera&) = delete;

    const SimCameraModel& Model() const { return m_model; }
    int Unit() const { return m_unit; }
    // The slide all simulated cameras of this process look at.
    static std::shared_ptr<CVirtualSpecimen> SharedSpecimen();
    // Where a unit of a model looks at first (specimen units, inside the tissue region).
    static SimStagePose HomePosition(const std::string& modelName, int unit);
    // The largest centred sensor region with the aspect of width x height.
    static FCRect CentredRoi(int sensorWidth, int sensorHeight, int width, int height);

    // --- stream ---
    // False when already started (or its thread is still winding down after a Stop from inside
    // the frame function and this call is on that thread), or the device is removed.
    bool Start(SimFrameFn frameFn);
    void Pause();
    void Resume();
    void Stop();
    bool IsStarted() const;
    bool IsPaused() const;
    // True on the frame thread or the white-balance helper thread of this camera.
    bool OnCallbackThread() const;

    // --- geometry ---
    // Takes effect from the next frame; false (nothing changed) for an invalid size or region.
    bool SetResolution(const SimResolution& r);
    // A size of the model's list (its region), else the whole sensor scaled to that size.
    bool SetResolution(int width, int height);
    SimResolution Resolution() const;
    // A finished still (24 or 32 bits) rendered now on the caller's thread; the stream, its
    // frame numbering and its settings are untouched. False when removed or invalid.
    bool CaptureStill(const SimResolution& r, int bits, FCObjImage* out);
    // The ISP step for a raw frame of this camera, with its current settings.
    bool ProcessRaw(const SimRawFrame& raw, FCObjImage* out, int bits = 24);

    // --- settings ---
    // The current settings (geometry of the stream, exposure and gain as automatic exposure
    // left them, faults).
    SimSensorSettings Settings() const;
    // Read-modify-write under the camera's lock (change must not call the camera); false
    // (nothing changed) when the result is invalid, changes the sensor geometry, or the exposure
    // or gain leave the model's ranges.
    bool ModifySettings(const std::function<void(SimSensorSettings&)>& change);
    // The model's defaults with the stream's current geometry.
    SimSensorSettings DefaultSettings() const;

    // --- automatic exposure ---
    void SetAutoExposure(bool on);
    bool AutoExposure() const;
    // target 1 .. 255 (mean output level); tolerance 0 .. 255: a deviation beyond it starts a
    // correction, which then runs until the level is within a quarter of it (at least 1 level).
    bool SetAutoExposureTarget(int target, int tolerance = 15);
    int AutoExposureTarget() const;
    // Only has an effect when the model supports auto gain.
    void SetAutoGain(bool on);
    bool AutoGain() const;

    // --- white balance ---
    // Starts one white balance; done runs once with the new gains on a camera thread (never on
    // the caller's). False when removed. A request while one is pending replaces its function.
    bool RequestOneShotWhiteBalance(SimWhiteBalanceFn done);

    // --- measurements ---
    double CaptureFrameRate() const;  // frames rendered per second (recent window)
    uint64_t FramesDelivered() const;
    double Now() const;  // seconds since construction: the time base of frames and stage

    // --- simulation ---
    CSimStage& Stage() { return m_sensor.Stage(); }
    bool SetStage(double x, double y);
    bool MoveStage(double dx, double dy);
    SimStageReading ReadStage() const;
    // Moves the stage so that the specimen moves by (dx, dy) pixels in the live picture, as a
    // hand moving the slide under it would (flips taken into account).
    bool MoveStageByPixels(double dx, double dy);
    // The stage's slow wander, in specimen units (0 holds it still).
    bool SetStageDrift(double amplitudeUnits);
    bool SetFocus(double zMicrons);
    bool SetFaults(const SimFaults& faults);
    bool IsRemoved() const;

    // Mean output luminance (0 .. 255) of a finished frame, from a sparse grid of pixels.
    static double MeanLevel(const FCObjImage& image);
    // The same for a raw frame, as the ISP would render it with these settings.
    static double MeanLevel(const SimRawFrame& raw, const SimSensorSettings& s);

private:
    void Loop(uint64_t generation);
    // Renders (or drops, or skips) the next stream frame and delivers it; the seconds until
    // the next one.
    double StreamFrame(uint64_t generation);
    void AutoExpose(double level);
    bool WhiteBalanceNow(const SimWhiteBalanceFn& done);
    void HelperMain();
    bool Acceptable(const SimSensorSettings& s) const;

    const SimCameraModel m_model;
    const int m_unit;
    const std::chrono::steady_clock::time_point m_epoch;

    // Rendering: the sensor, and the frame thread's buffers. Lock order: m_renderMutex, then
    // m_mutex.
    std::mutex m_renderMutex;
    CSimSensor m_sensor;
    FCObjImage m_image;
    SimRawFrame m_raw;
    SimRawFrame m_measureRaw;
    uint64_t m_streamFrame = 0;
    std::mutex m_ispMutex;
    CSimIsp m_isp;

    // Settings and automatic exposure state.
    mutable std::mutex m_mutex;
    SimSensorSettings m_settings;
    bool m_ae = false;
    int m_aeTarget = 110;
    int m_aeTolerance = 15;
    bool m_aeCorrecting = false;
    bool m_autoGain = true;

    // Thread control.
    mutable std::mutex m_stateMutex;
    std::condition_variable m_cv;
    std::thread m_thread;
    std::thread m_helper;
    std::thread::id m_threadId;
    std::thread::id m_helperId;
    uint64_t m_generation = 0;  // each Start and Stop begins a new one; a loop of an old one ends
    int m_winding = 0;          // threads being joined by a Stop on another thread
    bool m_started = false;
    bool m_helperRunning = false;
    bool m_paused = false;
    bool m_inCallback = false;
    bool m_wbPending = false;
    SimWhiteBalanceFn m_wbDone;
    SimFrameFn m_frameFn;

    CSimRateMeter m_rate;
    std::atomic<uint64_t> m_delivered{0};
};
