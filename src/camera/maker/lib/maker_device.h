#pragma once
// The simulated maker cameras behind libnrcamera.so.
//
// Devices, in list order: the plain maker cameras, then the maker cameras attached in USB 2.0
// mode (counts from NORVANESCOPE_SIM_CAMERAS, families "maker" and "maker-usb2").
//   - Plain devices alternate between two models: even positions are "NS-5MP Color" (2592 x 1944
//     sensor; live and still sizes 2592x1944, 1296x972, 640x480 and the region-of-interest entry
//     800x600 last; ROI supported; auto gain supported; analog gain 1..64), odd positions are
//     "NS-1.3MP Color" (1280 x 1024 sensor, that one size only, no ROI, no auto gain, analog gain
//     1..16).
//   - USB 2.0 devices are NS-5MP cameras on a USB 2.0 port: slower at every frame speed.
// Mode values of the device record: 1,1 for a USB 3 camera on USB 3 (NS-5MP), 1,0 for a USB 3
// camera in USB 2.0 mode, 0,0 for a USB 2 camera (NS-1.3MP). Serial numbers are N5M-NNNN and
// N13-NNNN by list position, N5M-U-NNNN for the cameras in USB 2.0 mode.
//
// Value mappings onto the simulated sensor: gamma 1..255 (100 = 1.0, at least 0.05);
// saturation 0..200 (100 = 1.0); contrast 0..256 (128 = 1.0); hue -180..180 degrees; brightness
// -100..100 (an offset of up to half the full scale); sharpen level 30..100 (unsharp strength
// level/100 when enabled); frame speed 1 normal, 2 high, 3 super; light frequency 0 AC 50 Hz,
// 1 AC 60 Hz (the lamp flickers at twice that), 2 DC.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/maker/nr_camera_api.h"
#include "camera/sim/sim_camera.h"

namespace nrcam {

constexpr int kMaxDevices = 2 * 8;

struct ModelInfo {
    SimCameraModel sim;
    std::vector<SimResolution> stills;
    bool roi = false;  // the last live and still entry is the region of interest
    int minGain = 1;
    int maxGain = 64;
};

struct DeviceInfo {
    bool exists = false;
    bool usb2 = false;  // USB 3 camera in USB 2.0 mode
    const ModelInfo* model = nullptr;
    int modeFirst = 0;
    int modeSecond = 0;
    std::string serial;  // "N5M-0001": the model's prefix and the device's place in the list
};

// Attached devices under the current environment.
int DeviceCount();
DeviceInfo Describe(int index);

// The library's own raw frame: what the ISP callback hands out and NRCameraISP accepts. The
// pixels are the finished 32-bit frame; valid only while the callback runs.
struct RawFrame {
    static constexpr uint32_t kMagic = 0x4E524657;  // "NRFW"
    uint32_t magic = 0;
    int32_t index = 0;
    uint64_t frameNumber = 0;
    uint8_t* pixels = nullptr;
    class Device* device = nullptr;
};

class Device {
public:
    Device(const DeviceInfo& info, int index, NRCameraIspCallback isp, void* context);
    ~Device();

    const DeviceInfo& Info() const { return m_info; }
    const ModelInfo& Model() const { return *m_info.model; }
    CSimCamera& Camera() { return m_camera; }
    int Index() const { return m_index; }

    int Play();
    int Pause();
    int Stop();
    // Marks the device closed (Play refuses from now on) and stops it.
    void Close();

    // Live and still resolution indices.
    int LiveIndex() const;
    int StillIndex() const;
    bool SetLiveIndex(int i);
    bool SetStillIndex(int i);

    // The integer settings kept as set (the sensor sees their mapped values).
    struct Ints {
        int gamma = 100;
        int saturation = 100;
        int contrast = 128;
        int hue = 0;
        int brightness = 0;
        int sharpenOn = 0;
        int sharpenLevel = 50;
        int frameSpeed = 1;
        int lightFrequency = 2;
    };
    Ints GetInts() const;
    // Applies a change of the integer settings; false (nothing changed) when out of range.
    bool SetInts(const Ints& v);

    void SetWhiteBalanceCallback(CameraWhiteBalanceCallback cb, void* user);
    bool StartOnceWhiteBalance();

    float DisplayFrameRate() const;
    // NRCameraISP's side: the frame of a raw buffer, counted as displayed.
    uint8_t* TakeFrame(RawFrame* raw);

private:
    void OnFrame(const SimFrame& f);
    static bool Apply(const Ints& v, bool usb2, SimSensorSettings& s);

    const DeviceInfo m_info;
    const int m_index;
    const NRCameraIspCallback m_isp;
    void* const m_context;
    CSimCamera m_camera;
    std::atomic<bool> m_closed{false};

    mutable std::mutex m_mutex;
    int m_live = 0;
    int m_still = 0;
    Ints m_ints;
    CameraWhiteBalanceCallback m_wbCallback = nullptr;
    void* m_wbUser = nullptr;

    CSimRateMeter m_display;
    // Used by the frame thread only.
    RawFrame m_raw;
    FCBitmapInfoHeader m_header{};
};

}  // namespace nrcam
