// The exported NRCamera_ calls: a table of open devices, each call routed to its Device.
// Every per-device call answers -1 without effect for an index out of range, a device that is
// not initialised, or a removed device (the NRCamera_Sim_ controls, which can bring a removed
// device back, and UnInit, which always releases, excepted).

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "camera/maker/lib/maker_device.h"

#define NR_EXPORT extern "C" __attribute__((visibility("default")))

namespace nrcam {
namespace {

struct Table {
    std::mutex mutex;
    std::array<std::shared_ptr<Device>, kMaxDevices> devices;
    // Devices released from inside their own callbacks: their threads cannot join themselves,
    // so the release is finished by a later call from another thread (or at unload).
    std::vector<std::shared_ptr<Device>> graveyard;

    ~Table() {
        for (auto& d : devices)
            if (d) d->Close();
        graveyard.clear();
    }
};

Table& table() {
    static Table t;
    return t;
}

// Releases what the graveyard holds, unless this thread is one of those devices' own.
void Reap() {
    std::vector<std::shared_ptr<Device>> done;
    {
        std::lock_guard<std::mutex> l(table().mutex);
        auto& g = table().graveyard;
        for (auto it = g.begin(); it != g.end();) {
            if ((*it)->Camera().OnCallbackThread()) {
                ++it;
            } else {
                done.push_back(std::move(*it));
                it = g.erase(it);
            }
        }
    }
    done.clear();  // joins, outside the table's lock
}

std::shared_ptr<Device> Find(int index, bool allowRemoved = false) {
    if (index < 0 || index >= kMaxDevices) return nullptr;
    std::shared_ptr<Device> d;
    {
        std::lock_guard<std::mutex> l(table().mutex);
        d = table().devices[index];
    }
    if (d && !allowRemoved && d->Camera().IsRemoved()) return nullptr;
    return d;
}

template <typename F>
int WithDevice(int index, F&& f) {
    const auto d = Find(index);
    return d ? f(*d) : -1;
}

template <typename F>
int WithInts(int index, F&& change) {
    return WithDevice(index, [&](Device& d) {
        Device::Ints v = d.GetInts();
        change(v);
        return d.SetInts(v) ? 0 : -1;
    });
}

template <typename F>
int WithSettings(int index, F&& change) {
    return WithDevice(index, [&](Device& d) { return d.Camera().ModifySettings(change) ? 0 : -1; });
}

bool Finite(double v) {
    return std::isfinite(v);
}

}  // namespace
}  // namespace nrcam

using nrcam::Device;
using nrcam::Find;
using nrcam::WithDevice;
using nrcam::WithInts;
using nrcam::WithSettings;

NR_EXPORT int NRCamera_Get_DevList(NRDeviceRecord* records, int* count) {
    if (!count || *count < 0) return -1;
    nrcam::Reap();
    const int n = nrcam::DeviceCount();
    if (records) {
        const int room = std::min(*count, n);
        for (int i = 0; i < room; ++i) {
            const nrcam::DeviceInfo info = nrcam::Describe(i);
            NRDeviceRecord& r = records[i];
            std::memset(&r, 0, sizeof r);
            std::strncpy(r.name, info.model->sim.name.c_str(), sizeof r.name - 1);
            r.modeFirst = info.modeFirst;
            r.modeSecond = info.modeSecond;
        }
    } else if (*count > 0) {
        return -1;
    }
    *count = n;
    return 0;
}

NR_EXPORT int NRCamera_Init(NRCameraIspCallback isp, void* context, int /*reserved*/,
                            void* /*window*/, int index) {
    nrcam::Reap();
    const nrcam::DeviceInfo info = nrcam::Describe(index);
    if (!info.exists || index >= nrcam::kMaxDevices) return -1;
    std::lock_guard<std::mutex> l(nrcam::table().mutex);
    auto& slot = nrcam::table().devices[index];
    if (slot) return -1;  // already initialised
    slot = std::make_shared<Device>(info, index, isp, context);
    return 0;
}

NR_EXPORT int NRCamera_UnInit(int index) {
    if (index < 0 || index >= nrcam::kMaxDevices) return -1;
    std::shared_ptr<Device> d;
    {
        std::lock_guard<std::mutex> l(nrcam::table().mutex);
        d = std::move(nrcam::table().devices[index]);
    }
    if (!d) return -1;
    d->Close();
    if (d->Camera().OnCallbackThread()) {
        std::lock_guard<std::mutex> l(nrcam::table().mutex);
        nrcam::table().graveyard.push_back(std::move(d));
        return 0;
    }
    d.reset();
    nrcam::Reap();
    return 0;
}

NR_EXPORT int NRCamera_Play(int index) {
    return WithDevice(index, [](Device& d) { return d.Play(); });
}

NR_EXPORT int NRCamera_Pause(int index) {
    return WithDevice(index, [](Device& d) { return d.Pause(); });
}

NR_EXPORT int NRCamera_Stop(int index) {
    return WithDevice(index, [](Device& d) { return d.Stop(); });
}

NR_EXPORT uint8_t* NRCameraISP(int a, uint8_t* raw) {
    if (!raw) return nullptr;
    auto* r = reinterpret_cast<nrcam::RawFrame*>(raw);
    if (r->magic != nrcam::RawFrame::kMagic || r->index != a || !r->device || !r->pixels)
        return nullptr;
    return r->device->TakeFrame(r);
}

NR_EXPORT int NRCamera_CaptureToBuf(int index, uint8_t* buffer, int stillIndex) {
    if (!buffer) return -1;
    return WithDevice(index, [&](Device& d) {
        const auto& stills = d.Model().stills;
        if (stillIndex < 0 || stillIndex >= static_cast<int>(stills.size())) return -1;
        FCObjImage still;
        if (!d.Camera().CaptureStill(stills[stillIndex], 24, &still)) return -1;
        std::memcpy(buffer, still.GetMemStart(), still.PixelBytes());
        return 0;
    });
}

// --- resolutions ---

NR_EXPORT int NRCamera_Get_ResolutionCount(int index, int* count) {
    if (!count) return -1;
    return WithDevice(index, [&](Device& d) {
        *count = static_cast<int>(d.Model().sim.resolutions.size());
        return 0;
    });
}

NR_EXPORT int NRCamera_Get_ResolutionSize(int index, int i, int* width, int* height) {
    if (!width || !height) return -1;
    return WithDevice(index, [&](Device& d) {
        const auto& list = d.Model().sim.resolutions;
        if (i < 0 || i >= static_cast<int>(list.size())) return -1;
        *width = list[i].width;
        *height = list[i].height;
        return 0;
    });
}

NR_EXPORT int NRCamera_Get_ResolutionIndex(int index, int* i) {
    if (!i) return -1;
    return WithDevice(index, [&](Device& d) {
        *i = d.LiveIndex();
        return 0;
    });
}

NR_EXPORT int NRCamera_Set_ResolutionIndex(int index, int i) {
    return WithDevice(index, [&](Device& d) { return d.SetLiveIndex(i) ? 0 : -1; });
}

NR_EXPORT int NRCamera_Get_StillResolutionCount(int index, int* count) {
    if (!count) return -1;
    return WithDevice(index, [&](Device& d) {
        *count = static_cast<int>(d.Model().stills.size());
        return 0;
    });
}

NR_EXPORT int NRCamera_Get_StillResolutionSize(int index, int i, int* width, int* height) {
    if (!width || !height) return -1;
    return WithDevice(index, [&](Device& d) {
        const auto& list = d.Model().stills;
        if (i < 0 || i >= static_cast<int>(list.size())) return -1;
        *width = list[i].width;
        *height = list[i].height;
        return 0;
    });
}

NR_EXPORT int NRCamera_Get_StillResolutionIndex(int index, int* i) {
    if (!i) return -1;
    return WithDevice(index, [&](Device& d) {
        *i = d.StillIndex();
        return 0;
    });
}

NR_EXPORT int NRCamera_Set_StillResolutionIndex(int index, int i) {
    return WithDevice(index, [&](Device& d) { return d.SetStillIndex(i) ? 0 : -1; });
}

NR_EXPORT int NRCamera_Get_Resolution(int index, int* width, int* height) {
    if (!width || !height) return -1;
    return WithDevice(index, [&](Device& d) {
        const SimResolution r = d.Camera().Resolution();
        *width = r.width;
        *height = r.height;
        return 0;
    });
}

NR_EXPORT int NRCamera_Set_Resolution(int index, int width, int height) {
    return WithDevice(index, [&](Device& d) {
        const auto& list = d.Model().sim.resolutions;
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].width == width && list[i].height == height)
                return d.SetLiveIndex(static_cast<int>(i)) ? 0 : -1;
        return -1;
    });
}

NR_EXPORT int NRCamera_IsSupportROI(int index, int* flag) {
    if (!flag) return -1;
    return WithDevice(index, [&](Device& d) {
        *flag = d.Model().roi ? 1 : 0;
        return 0;
    });
}

// --- exposure ---

NR_EXPORT int NRCamera_Set_AeState(int index, int on) {
    if (on != 0 && on != 1) return -1;
    return WithDevice(index, [&](Device& d) {
        d.Camera().SetAutoExposure(on == 1);
        return 0;
    });
}

NR_EXPORT int NRCamera_Get_AeState(int index, int* on) {
    if (!on) return -1;
    return WithDevice(index, [&](Device& d) {
        *on = d.Camera().AutoExposure() ? 1 : 0;
        return 0;
    });
}

NR_EXPORT int NRCamera_Set_AeTarget(int index, int target, int tolerance) {
    return WithDevice(index, [&](Device& d) {
        return d.Camera().SetAutoExposureTarget(target, tolerance) ? 0 : -1;
    });
}

NR_EXPORT int NRCamera_Get_AeTarget(int index, uint8_t* target) {
    if (!target) return -1;
    return WithDevice(index, [&](Device& d) {
        *target = static_cast<uint8_t>(d.Camera().AutoExposureTarget());
        return 0;
    });
}

NR_EXPORT int NRCamera_Set_ExpoTime(int index, int64_t microseconds) {
    return WithSettings(
        index, [&](SimSensorSettings& s) { s.exposureUs = static_cast<double>(microseconds); });
}

NR_EXPORT int NRCamera_Get_ExpoTime(int index, int64_t* microseconds) {
    if (!microseconds) return -1;
    return WithDevice(index, [&](Device& d) {
        *microseconds = std::llround(d.Camera().Settings().exposureUs);
        return 0;
    });
}

NR_EXPORT int NRCamera_Set_AnalogGain(int index, double gain) {
    if (!nrcam::Finite(gain)) return -1;
    return WithSettings(index, [&](SimSensorSettings& s) { s.analogGain = gain; });
}

NR_EXPORT int NRCamera_Get_AnalogGain(int index, double* gain) {
    if (!gain) return -1;
    return WithDevice(index, [&](Device& d) {
        *gain = d.Camera().Settings().analogGain;
        return 0;
    });
}

NR_EXPORT int NRCamera_Get_SupportAutoGain(int index, int* supported) {
    if (!supported) return -1;
    return WithDevice(index, [&](Device& d) {
        *supported = d.Model().sim.supportsAutoGain ? 1 : 0;
        return 0;
    });
}

NR_EXPORT int NRCamera_Get_Capability(int index, NRCapability* capability) {
    if (!capability) return -1;
    return WithDevice(index, [&](Device& d) {
        std::memset(capability, 0, sizeof *capability);
        capability->minExposureUs = std::llround(d.Model().sim.minExposureUs);
        capability->maxExposureUs = std::llround(d.Model().sim.maxExposureUs);
        capability->minAnalogGain = d.Model().minGain;
        capability->maxAnalogGain = d.Model().maxGain;
        return 0;
    });
}

// --- colour and tone ---

NR_EXPORT int NRCamera_Set_Gain(int index, double red, double green, double blue) {
    auto ok = [](double v) { return nrcam::Finite(v) && v >= 0.1 && v <= 4.0; };
    if (!ok(red) || !ok(green) || !ok(blue)) return -1;
    return WithSettings(index, [&](SimSensorSettings& s) {
        s.wbRed = red;
        s.wbGreen = green;
        s.wbBlue = blue;
    });
}

NR_EXPORT int NRCamera_Get_Gain(int index, double* red, double* green, double* blue) {
    if (!red || !green || !blue) return -1;
    return WithDevice(index, [&](Device& d) {
        const SimSensorSettings s = d.Camera().Settings();
        *red = s.wbRed;
        *green = s.wbGreen;
        *blue = s.wbBlue;
        return 0;
    });
}

#define NR_INT_PAIR(Name, field)                                           \
    NR_EXPORT int NRCamera_Set_##Name(int index, int value) {              \
        return WithInts(index, [&](Device::Ints& v) { v.field = value; }); \
    }                                                                      \
    NR_EXPORT int NRCamera_Get_##Name(int index, int* value) {             \
        if (!value) return -1;                                             \
        return WithDevice(index, [&](Device& d) {                          \
            *value = d.GetInts().field;                                    \
            return 0;                                                      \
        });                                                                \
    }

NR_INT_PAIR(Gamma, gamma)
NR_INT_PAIR(Saturation, saturation)
NR_INT_PAIR(Contrast, contrast)
NR_INT_PAIR(Hue, hue)
NR_INT_PAIR(Brightness, brightness)
NR_INT_PAIR(FrameSpeed, frameSpeed)
NR_INT_PAIR(LightFrequency, lightFrequency)

NR_EXPORT int NRCamera_Set_Sharpen(int index, int enable, int level) {
    return WithInts(index, [&](Device::Ints& v) {
        v.sharpenOn = enable;
        v.sharpenLevel = level;
    });
}

NR_EXPORT int NRCamera_Get_Sharpen(int index, int* enable, int* level) {
    if (!enable || !level) return -1;
    return WithDevice(index, [&](Device& d) {
        const Device::Ints v = d.GetInts();
        *enable = v.sharpenOn;
        *level = v.sharpenLevel;
        return 0;
    });
}

NR_EXPORT int NRCamera_Set_HFlip(int index, int on) {
    if (on != 0 && on != 1) return -1;
    return WithSettings(index, [&](SimSensorSettings& s) { s.hFlip = on == 1; });
}

NR_EXPORT int NRCamera_Get_HFlip(int index, int* on) {
    if (!on) return -1;
    return WithDevice(index, [&](Device& d) {
        *on = d.Camera().Settings().hFlip ? 1 : 0;
        return 0;
    });
}

NR_EXPORT int NRCamera_Set_VFlip(int index, int on) {
    if (on != 0 && on != 1) return -1;
    return WithSettings(index, [&](SimSensorSettings& s) { s.vFlip = on == 1; });
}

NR_EXPORT int NRCamera_Get_VFlip(int index, int* on) {
    if (!on) return -1;
    return WithDevice(index, [&](Device& d) {
        *on = d.Camera().Settings().vFlip ? 1 : 0;
        return 0;
    });
}

// --- white balance and rates ---

NR_EXPORT int NRCamera_Set_OnceWB(int index, int on) {
    if (on != 0 && on != 1) return -1;
    return WithDevice(index, [&](Device& d) {
        if (on == 0) return 0;
        return d.StartOnceWhiteBalance() ? 0 : -1;
    });
}

NR_EXPORT int NRCamera_Set_WhiteBlanceCallback(int index, CameraWhiteBalanceCallback callback,
                                               void* user) {
    return WithDevice(index, [&](Device& d) {
        d.SetWhiteBalanceCallback(callback, user);
        return 0;
    });
}

NR_EXPORT int NRCamera_Get_CaptureFrameRate(int index, float* fps) {
    if (!fps) return -1;
    return WithDevice(index, [&](Device& d) {
        *fps = static_cast<float>(d.Camera().CaptureFrameRate());
        return 0;
    });
}

NR_EXPORT int NRCamera_Get_DisplayFrameRate(int index, float* fps) {
    if (!fps) return -1;
    return WithDevice(index, [&](Device& d) {
        *fps = d.DisplayFrameRate();
        return 0;
    });
}

// --- simulation ---

NR_EXPORT int NRCamera_Sim_SetStage(int index, double x, double y) {
    return WithDevice(index, [&](Device& d) { return d.Camera().SetStage(x, y) ? 0 : -1; });
}

NR_EXPORT int NRCamera_Sim_MoveStage(int index, double dx, double dy) {
    return WithDevice(index, [&](Device& d) { return d.Camera().MoveStage(dx, dy) ? 0 : -1; });
}

NR_EXPORT int NRCamera_Sim_GetStage(int index, double* x, double* y, double* unitsPerPixelX,
                                    double* unitsPerPixelY) {
    if (!x || !y || !unitsPerPixelX || !unitsPerPixelY) return -1;
    return WithDevice(index, [&](Device& d) {
        const SimStageReading r = d.Camera().ReadStage();
        *x = r.x;
        *y = r.y;
        *unitsPerPixelX = r.unitsPerPixelX;
        *unitsPerPixelY = r.unitsPerPixelY;
        return 0;
    });
}

NR_EXPORT int NRCamera_Sim_MoveStagePixels(int index, double dx, double dy) {
    return WithDevice(index, [&](Device& d) { return d.Camera().MoveStageByPixels(dx, dy) ? 0 : -1; });
}

NR_EXPORT int NRCamera_Sim_SetStageDrift(int index, double amplitude) {
    return WithDevice(index, [&](Device& d) { return d.Camera().SetStageDrift(amplitude) ? 0 : -1; });
}

NR_EXPORT int NRCamera_Sim_SetFocus(int index, double zMicrons) {
    return WithDevice(index, [&](Device& d) { return d.Camera().SetFocus(zMicrons) ? 0 : -1; });
}

NR_EXPORT int NRCamera_Sim_SetFaults(int index, int dropEvery, int64_t stallAfter, int removed) {
    if (dropEvery < 0 || (removed != 0 && removed != 1)) return -1;
    const auto d = Find(index, true);
    if (!d) return -1;
    SimFaults f;
    f.dropEvery = dropEvery;
    f.stallAfter = stallAfter < 0 ? -1 : stallAfter;
    f.removed = removed == 1;
    return d->Camera().SetFaults(f) ? 0 : -1;
}
