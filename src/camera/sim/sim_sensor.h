#pragma once
// CSimSensor: a simulated camera sensor and its image pipeline, looking at a CVirtualSpecimen
// through a CSimStage. A frame is rendered row by row in a few passes over small row buffers:
// sample the specimen (bilinear, from the cached tile level that suits the scale and defocus),
// expose (lamp colour, exposure, mains flicker, analogue gain, shot and read noise, clipping),
// then the ISP (white balance, gamma, contrast, brightness through one table per channel;
// saturation and hue as one 3x3 matrix; sharpening) and packing into B,G,R[,A].
// The raw path stops after exposure and delivers an RGGB mosaic; CSimIsp turns it into a frame.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "camera/sim/sim_stage.h"
#include "camera/sim/virtual_slide.h"
#include "image/obj_image.h"

// Fault switches for reliability tests; the sensor only reports them (see FrameStatus).
struct SimFaults {
    int dropEvery = 0;        // every n-th frame (1-based count) is dropped; 0 = never
    int64_t stallAfter = -1;  // frames from this index on never arrive; -1 = never
    bool removed = false;     // the device is gone
};

struct SimSensorSettings {
    // The optical field: the whole sensor in native pixels, and specimen units per native pixel.
    int sensorWidth = 1280;
    int sensorHeight = 1024;
    double unitsPerPixel = 1.0;
    // The delivered frame: the region of interest (native pixels; empty = whole sensor) scaled
    // to width x height, as binning or skipping would.
    int width = 1280;
    int height = 1024;
    FCRect roi{};

    double exposureUs = 10000;
    double analogGain = 1.0;  // 1 .. 64
    // Digital white-balance gains (the ISP's), and the colour temperature of the lamp, whose
    // cast they are there to neutralise.
    double wbRed = 1.0, wbGreen = 1.0, wbBlue = 1.0;
    double lampKelvin = 4000;
    double gamma = 1.0;       // output = input^(1/gamma)
    double contrast = 1.0;    // slope about mid-grey
    double brightness = 0.0;  // offset, -1 .. 1 of full scale
    double saturation = 1.0;  // 0 = grey
    double hueDegrees = 0.0;
    double sharpness = 0.0;  // 0 = off; unsharp-mask strength
    bool hFlip = false;
    bool vFlip = false;
    int mainsHz = 0;  // 0: no flicker (DC lamp); 50 or 60
    double flickerDepth = 0.25;
    int frameSpeed = 1;  // 0 fast .. 2 slow: only the frame interval depends on it
    bool noise = true;   // shot and read noise; off gives exactly repeatable frames
    SimFaults faults;

    // Frames larger than this are refused.
    static constexpr int kMaxSide = 16384;
    bool IsValid() const;
};

// An RGGB mosaic: row 0 starts R G R G..., row 1 G B G B...; rows top-down, 8 bits linear.
struct SimRawFrame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

enum class SimFrameStatus { Deliver, Drop, Stall, Removed };

// The ISP back end shared by finished frames and by raw frames handed back for processing.
class CSimIsp {
public:
    CSimIsp();
    ~CSimIsp();
    CSimIsp(const CSimIsp&) = delete;
    CSimIsp& operator=(const CSimIsp&) = delete;

    // Demosaics and processes a raw frame with the ISP part of the settings (white balance,
    // tone, colour, sharpening) into a 24- or 32-bit frame. False for a malformed raw frame or
    // invalid settings.
    bool Process(const SimRawFrame& raw, const SimSensorSettings& s, FCObjImage* out,
                 int bits = 24);

    // Row streaming, used by the sensor: Begin, then one row of sensor values per call (three
    // planes of table indices, 4 per sensor level, 0..kLevels-1), then Finish.
    static constexpr int kLevels = 1024;
    bool Begin(const SimSensorSettings& s, FCObjImage* out, int bits);
    void PushRow(const int32_t* const idx[3]);
    void Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

class CSimSensor {
public:
    explicit CSimSensor(std::shared_ptr<CVirtualSpecimen> specimen);
    ~CSimSensor();
    CSimSensor(const CSimSensor&) = delete;
    CSimSensor& operator=(const CSimSensor&) = delete;

    // False, and the settings unchanged, when they are out of range.
    bool SetSettings(const SimSensorSettings& s);
    SimSensorSettings Settings() const;
    CSimStage& Stage() { return m_stage; }
    const CSimStage& Stage() const { return m_stage; }
    const std::shared_ptr<CVirtualSpecimen>& Specimen() const { return m_specimen; }

    // Renders the next frame, exposed from time t (seconds), into a 24-bit (B,G,R) or 32-bit
    // (B,G,R,A) bottom-up picture whose buffer is reused when the size is unchanged.
    bool Render(double tSeconds, FCObjImage* out, int bits = 24);
    bool RenderRaw(double tSeconds, SimRawFrame* raw);
    // The ISP step for a raw frame of this sensor, with its current settings.
    bool ProcessRaw(const SimRawFrame& raw, FCObjImage* out, int bits = 24);

    // Frames are numbered from 0; the number seeds the noise, so a sensor that renders the
    // same numbered frame at the same time gives the same pixels.
    uint64_t NextFrameIndex() const;
    void SetNextFrameIndex(uint64_t n);
    // What the fault switches make of frame n.
    SimFrameStatus FrameStatus(uint64_t n) const;
    // The frame interval the settings imply: readout at the frame speed, or the exposure.
    double FrameIntervalSeconds() const;

    // Brightness factor of a mains-powered lamp averaged over an exposure starting at t.
    static double FlickerFactor(int mainsHz, double depth, double tSeconds, double exposureUs);
    // Relative colour of a lamp of this temperature (B, G, R), the brightest channel 1.
    static std::array<double, 3> LampColour(double kelvin);
    // Specimen units per output pixel (x, y) under these settings.
    static std::array<double, 2> UnitsPerOutputPixel(const SimSensorSettings& s);
    // Gaussian sigma of the defocus blur in specimen units at focus z (micrometres).
    static double DefocusSigmaUnits(double zMicrons);

private:
    struct Scratch;
    bool RenderImpl(double tSeconds, FCObjImage* out, int bits, SimRawFrame* raw);

    std::shared_ptr<CVirtualSpecimen> m_specimen;
    CSimStage m_stage;
    mutable std::mutex m_settingsMutex;
    SimSensorSettings m_settings;
    uint64_t m_nextFrame = 0;
    std::mutex m_renderMutex;
    std::unique_ptr<Scratch> m_scratch;
    CSimIsp m_isp;
};
