#include "camera/maker/maker_family.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "camera/camera_log.h"

namespace {

constexpr int kMakerRoom = 64;
// The library's tolerance of automatic exposure around its target.
constexpr int kAeTolerance = 15;
// White-balance gains in hundredths of the library's factors.
constexpr double kGainScale = 100;
constexpr int kMinGain = 10;
constexpr int kMaxGain = 400;

std::string Text(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

}  // namespace

CMakerFamily::~CMakerFamily() { Unload(); }

std::string CMakerFamily::LastError() const { return m_failure.Text(); }

std::unique_ptr<IStageControl> CMakerFamily::OpenStage() {
    const MakerCalls& f = m_lib.Fn();
    if (!f.NRCamera_Sim_GetStage || !f.NRCamera_Sim_SetStage || !f.NRCamera_Sim_MoveStage ||
        !f.NRCamera_Sim_MoveStagePixels || !f.NRCamera_Sim_SetStageDrift)
        return nullptr;
    const int i = Index();
    return MakeSimStage({
        [f, i](double* x, double* y, double* ux, double* uy) { return f.NRCamera_Sim_GetStage(i, x, y, ux, uy); },
        [f, i](double x, double y) { return f.NRCamera_Sim_SetStage(i, x, y); },
        [f, i](double x, double y) { return f.NRCamera_Sim_MoveStage(i, x, y); },
        [f, i](double x, double y) { return f.NRCamera_Sim_MoveStagePixels(i, x, y); },
        [f, i](double amount) { return f.NRCamera_Sim_SetStageDrift(i, amount); },
    });
}

int CMakerFamily::Check(int status, const char* call) {
    if (status == 0) return 0;
    // What the library says, else which call failed.
    std::string reason = std::string(call) + " failed (status " + std::to_string(status) + ")";
    if (!m_lib.IsLoaded()) {
        reason = std::string("the maker camera library ") + CMakerLibrary::kFileName + " is not loaded";
    } else if (auto text = m_lib.Fn().NRCamera_Get_LastError) {
        char buf[256] = {};
        if (text(buf, sizeof buf) == 0 && buf[0]) reason = Text(buf, sizeof buf);
    }
    m_failure.Keep(std::move(reason));
    return status;
}

int CMakerFamily::Load(const std::string& folder) {
    if (m_lib.Load(folder)) return 1;
    // A missing library lists no cameras; say why for whoever looks.
    qCInfo(lcCamera).noquote() << "maker camera library not loaded:" << QString::fromStdString(m_lib.LoadError());
    return 0;
}

void CMakerFamily::Unload() {
    if (m_bOpen) {
        Stop();
        Close();
    }
    m_lib.Unload();
    m_serials.clear();
    m_models.clear();
}

void CMakerFamily::Enumerate(std::vector<CameraDeviceEntry>& list, size_t limit) {
    m_serials.clear();
    m_models.clear();
    if (!m_lib.IsLoaded()) return;
    std::vector<NRDeviceRecord> records(kMakerRoom);
    int n = kMakerRoom;
    if (Check(m_lib.Call(m_lib.Fn().NRCamera_Get_DevList, records.data(), &n), "NRCamera_Get_DevList") != 0) return;
    n = std::clamp(n, 0, kMakerRoom);
    for (int i = 0; i < n; ++i) {
        const NRDeviceRecord& r = records[static_cast<size_t>(i)];
        m_serials.push_back(Text(r.serial, sizeof r.serial));
        m_models.push_back(Text(r.name, sizeof r.name));
        if (list.size() >= limit) continue;
        CameraDeviceEntry e;
        e.kind = KindMaker;
        e.libraryIndex = i;
        e.modeFirst = r.modeFirst;
        e.modeSecond = r.modeSecond;
        // The name field need not be terminated: read no further than it reaches.
        const QString name = QString::fromUtf8(r.name, static_cast<qsizetype>(strnlen(r.name, sizeof(r.name))));
        std::u16string text = name.size() < 260 ? name.toStdU16String() : std::u16string();
        if (e.modeFirst == 1 && e.modeSecond == 0) text += u"(USB2.0 mode)";
        const size_t len = std::min<size_t>(text.size(), 259);
        std::copy_n(text.begin(), len, e.name);
        list.push_back(e);
    }
}

std::string CMakerFamily::Identity(const CameraDeviceEntry& entry) {
    const auto i = static_cast<size_t>(entry.libraryIndex);
    if (i >= m_models.size()) return {};
    // Without a serial number the list position stands in for the port.
    const std::string serial = m_serials[i].empty() ? std::string("#").append(std::to_string(i)) : m_serials[i];
    return m_models[i] + "|" + serial;
}

// ---- Life cycle ----

int CMakerFamily::Isp(int a, uint8_t* raw, FCBitmapInfoHeader* header, void* context) {
    auto* ctx = static_cast<Context*>(context);
    uint8_t* frame = ctx && ctx->isp ? ctx->isp(a, raw) : nullptr;
    if (frame && ctx->sink) ctx->sink(a, frame, header, ctx->user);
    return 1;
}

int CMakerFamily::Open(const CameraDeviceEntry& entry, void* window, CameraFrameSink sink, void* user) {
    if (m_bOpen) Close();
    m_context = Context{sink, user, window, entry.libraryIndex, m_lib.Fn().NRCameraISP};
    const int status = Check(m_lib.Call(m_lib.Fn().NRCamera_Init, &CMakerFamily::Isp, static_cast<void*>(&m_context), 0,
                                        window, entry.libraryIndex),
                             "NRCamera_Init");
    if (status != 0) {
        m_failure.Keep(LastError(), true);
        return status;
    }
    m_bOpen = true;
    return 0;
}

int CMakerFamily::Play() {
    const int status = Check(m_lib.Call(m_lib.Fn().NRCamera_Play, Index()), "NRCamera_Play");
    if (status != 0) m_failure.Keep(LastError(), true);
    return status;
}

int CMakerFamily::Pause() { return Check(m_lib.Call(m_lib.Fn().NRCamera_Pause, Index()), "NRCamera_Pause"); }

int CMakerFamily::Stop() { return Check(m_lib.Call(m_lib.Fn().NRCamera_Stop, Index()), "NRCamera_Stop"); }

int CMakerFamily::Close() {
    m_bOpen = false;
    return Check(m_lib.Call(m_lib.Fn().NRCamera_UnInit, Index()), "NRCamera_UnInit");
}

bool CMakerFamily::Present() {
    int w = 0, h = 0;
    return m_bOpen && m_lib.Call(m_lib.Fn().NRCamera_Get_Resolution, Index(), &w, &h) == 0;
}

int CMakerFamily::Capture(uint8_t* buffer, int stillIndex) {
    return Check(m_lib.Call(m_lib.Fn().NRCamera_CaptureToBuf, Index(), buffer, stillIndex), "NRCamera_CaptureToBuf");
}

// ---- Resolutions ----

int CMakerFamily::PreviewSize(int* width, int* height) {
    return Check(m_lib.Call(m_lib.Fn().NRCamera_Get_Resolution, Index(), width, height), "NRCamera_Get_Resolution");
}

int CMakerFamily::ApplyPreviewSize(int width, int height) {
    return Check(m_lib.Call(m_lib.Fn().NRCamera_Set_Resolution, Index(), width, height), "NRCamera_Set_Resolution");
}

int CMakerFamily::ResolutionCount(List list, int* count) {
    const auto fn = list == List::Live ? m_lib.Fn().NRCamera_Get_ResolutionCount
                                       : m_lib.Fn().NRCamera_Get_StillResolutionCount;
    const int status = Check(m_lib.Call(fn, Index(), count), "NRCamera_Get_ResolutionCount");
    // The region-of-interest entry, last in each list, is not offered as a resolution.
    int roi = 0;
    if (status == 0 && m_lib.Call(m_lib.Fn().NRCamera_IsSupportROI, Index(), &roi) == 0 && roi && *count > 1)
        --*count;
    return status;
}

int CMakerFamily::ResolutionSize(List list, int i, int* width, int* height) {
    const auto fn = list == List::Live ? m_lib.Fn().NRCamera_Get_ResolutionSize
                                       : m_lib.Fn().NRCamera_Get_StillResolutionSize;
    return Check(m_lib.Call(fn, Index(), i, width, height), "NRCamera_Get_ResolutionSize");
}

int CMakerFamily::ResolutionIndex(List list, int* i) {
    const auto fn = list == List::Live ? m_lib.Fn().NRCamera_Get_ResolutionIndex
                                       : m_lib.Fn().NRCamera_Get_StillResolutionIndex;
    return Check(m_lib.Call(fn, Index(), i), "NRCamera_Get_ResolutionIndex");
}

int CMakerFamily::SetResolutionIndex(List list, int i) {
    const auto fn = list == List::Live ? m_lib.Fn().NRCamera_Set_ResolutionIndex
                                       : m_lib.Fn().NRCamera_Set_StillResolutionIndex;
    return Check(m_lib.Call(fn, Index(), i), "NRCamera_Set_ResolutionIndex");
}

int CMakerFamily::MediaTypes(char16_t (*names)[16], int* count) {
    if (*count >= 1) {
        std::fill(std::begin(names[0]), std::end(names[0]), u'\0');
        std::copy_n(u"RGB32", 5, names[0]);
    }
    *count = 1;
    return 0;
}

int CMakerFamily::SetMediaType(int i) { return i == 0 ? 0 : -1; }

float CMakerFamily::FrameRate(bool display) {
    float fps = -1.0f;
    m_lib.Call(display ? m_lib.Fn().NRCamera_Get_DisplayFrameRate : m_lib.Fn().NRCamera_Get_CaptureFrameRate, Index(),
               &fps);
    return fps;
}

// ---- Settings ----

CameraProperties CMakerFamily::Properties() {
    CameraProperties out;
    if (!m_bOpen) return out;
    using K = CameraValueKind;
    using P = CameraPropertyId;
    NRCapability cap{};
    const bool haveCap = m_lib.Call(m_lib.Fn().NRCamera_Get_Capability, Index(), &cap) == 0;
    out.push_back(DescribeProperty(P::AutoExposure, K::Toggle, 0, 1));
    out.push_back(DescribeProperty(P::ExposureTarget, K::Number, 1, 255));
    if (haveCap) {
        out.push_back(DescribeProperty(P::ExposureTime, K::Number, static_cast<double>(cap.minExposureUs),
                               static_cast<double>(cap.maxExposureUs), "us"));
        out.push_back(DescribeProperty(P::Gain, K::Number, cap.minAnalogGain, cap.maxAnalogGain, "x"));
    }
    CameraPropertyInfo wb = DescribeProperty(P::WhiteBalance, K::Triple, kMinGain, kMaxGain, "1/100");
    wb.scale = kGainScale;
    out.push_back(wb);
    out.push_back(DescribeProperty(P::Gamma, K::Number, 1, 255, "1/100"));
    out.push_back(DescribeProperty(P::Contrast, K::Number, 0, 256));
    out.push_back(DescribeProperty(P::Saturation, K::Number, 0, 200, "%"));
    out.push_back(DescribeProperty(P::Hue, K::Number, -180, 180, "deg"));
    out.push_back(DescribeProperty(P::Brightness, K::Number, -100, 100));
    out.push_back(DescribeProperty(P::Sharpen, K::Switched, 30, 100));
    out.push_back(DescribeProperty(P::HFlip, K::Toggle, 0, 1));
    out.push_back(DescribeProperty(P::VFlip, K::Toggle, 0, 1));
    CameraPropertyInfo speed = DescribeProperty(P::FrameSpeed, K::Choice, 0, 2);
    speed.choices = {"Normal", "High", "Super"};
    out.push_back(speed);
    CameraPropertyInfo mains = DescribeProperty(P::Mains, K::Choice, 0, 2);
    mains.choices = {"AC (50 HZ)", "AC (60 HZ)", "DC"};
    out.push_back(mains);
    return out;
}

int CMakerFamily::GetProperty(CameraPropertyKey key, CameraPropertyValue* value) {
    const MakerCalls& f = m_lib.Fn();
    const int i = Index();
    auto& v = value->v;
    auto intInto = [&](auto fn, const char* call) {
        int x = 0;
        const int status = Check(m_lib.Call(fn, i, &x), call);
        if (status == 0) v[0] = x;
        return status;
    };
    switch (key.id) {
        case CameraPropertyId::AutoExposure: return intInto(f.NRCamera_Get_AeState, "NRCamera_Get_AeState");
        case CameraPropertyId::ExposureTarget: {
            uint8_t b = 0;
            const int status = Check(m_lib.Call(f.NRCamera_Get_AeTarget, i, &b), "NRCamera_Get_AeTarget");
            if (status == 0) v[0] = b;
            return status;
        }
        case CameraPropertyId::ExposureTime: {
            int64_t t = 0;
            const int status = Check(m_lib.Call(f.NRCamera_Get_ExpoTime, i, &t), "NRCamera_Get_ExpoTime");
            if (status == 0) v[0] = static_cast<double>(t);
            return status;
        }
        case CameraPropertyId::Gain: {
            double g = 0;
            const int status = Check(m_lib.Call(f.NRCamera_Get_AnalogGain, i, &g), "NRCamera_Get_AnalogGain");
            if (status == 0) v[0] = g;
            return status;
        }
        case CameraPropertyId::WhiteBalance: {
            double r = 0, g = 0, b = 0;
            const int status = Check(m_lib.Call(f.NRCamera_Get_Gain, i, &r, &g, &b), "NRCamera_Get_Gain");
            // Hundredths, truncated.
            if (status == 0) v = {std::trunc(r * kGainScale), std::trunc(g * kGainScale), std::trunc(b * kGainScale)};
            return status;
        }
        case CameraPropertyId::Gamma: return intInto(f.NRCamera_Get_Gamma, "NRCamera_Get_Gamma");
        case CameraPropertyId::Contrast: return intInto(f.NRCamera_Get_Contrast, "NRCamera_Get_Contrast");
        case CameraPropertyId::Saturation: return intInto(f.NRCamera_Get_Saturation, "NRCamera_Get_Saturation");
        case CameraPropertyId::Hue: return intInto(f.NRCamera_Get_Hue, "NRCamera_Get_Hue");
        case CameraPropertyId::Brightness: return intInto(f.NRCamera_Get_Brightness, "NRCamera_Get_Brightness");
        case CameraPropertyId::Sharpen: {
            int on = 0, level = 0;
            const int status = Check(m_lib.Call(f.NRCamera_Get_Sharpen, i, &on, &level), "NRCamera_Get_Sharpen");
            if (status == 0) v = {static_cast<double>(on), static_cast<double>(level), 0};
            return status;
        }
        case CameraPropertyId::HFlip: return intInto(f.NRCamera_Get_HFlip, "NRCamera_Get_HFlip");
        case CameraPropertyId::VFlip: return intInto(f.NRCamera_Get_VFlip, "NRCamera_Get_VFlip");
        case CameraPropertyId::FrameSpeed: {
            // The library counts speeds from 1.
            const int status = intInto(f.NRCamera_Get_FrameSpeed, "NRCamera_Get_FrameSpeed");
            if (status == 0) v[0] -= 1;
            return status;
        }
        case CameraPropertyId::Mains: return intInto(f.NRCamera_Get_LightFrequency, "NRCamera_Get_LightFrequency");
        case CameraPropertyId::Video: break;
    }
    m_failure.Keep("a maker camera has no property " + CameraPropertyName(key));
    return -1;
}

int CMakerFamily::SetProperty(CameraPropertyKey key, const CameraPropertyValue& value) {
    const MakerCalls& f = m_lib.Fn();
    const int i = Index();
    const auto& v = value.v;
    const int n = static_cast<int>(std::lround(v[0]));
    switch (key.id) {
        case CameraPropertyId::AutoExposure: return Check(m_lib.Call(f.NRCamera_Set_AeState, i, n), "NRCamera_Set_AeState");
        case CameraPropertyId::ExposureTarget:
            return Check(m_lib.Call(f.NRCamera_Set_AeTarget, i, n, kAeTolerance), "NRCamera_Set_AeTarget");
        case CameraPropertyId::ExposureTime:
            return Check(m_lib.Call(f.NRCamera_Set_ExpoTime, i, static_cast<int64_t>(std::llround(v[0]))),
                         "NRCamera_Set_ExpoTime");
        case CameraPropertyId::Gain: return Check(m_lib.Call(f.NRCamera_Set_AnalogGain, i, v[0]), "NRCamera_Set_AnalogGain");
        case CameraPropertyId::WhiteBalance:
            return Check(m_lib.Call(f.NRCamera_Set_Gain, i, v[0] / kGainScale, v[1] / kGainScale, v[2] / kGainScale),
                         "NRCamera_Set_Gain");
        case CameraPropertyId::Gamma: return Check(m_lib.Call(f.NRCamera_Set_Gamma, i, n), "NRCamera_Set_Gamma");
        case CameraPropertyId::Contrast: return Check(m_lib.Call(f.NRCamera_Set_Contrast, i, n), "NRCamera_Set_Contrast");
        case CameraPropertyId::Saturation:
            return Check(m_lib.Call(f.NRCamera_Set_Saturation, i, n), "NRCamera_Set_Saturation");
        case CameraPropertyId::Hue: return Check(m_lib.Call(f.NRCamera_Set_Hue, i, n), "NRCamera_Set_Hue");
        case CameraPropertyId::Brightness:
            return Check(m_lib.Call(f.NRCamera_Set_Brightness, i, n), "NRCamera_Set_Brightness");
        case CameraPropertyId::Sharpen:
            return Check(m_lib.Call(f.NRCamera_Set_Sharpen, i, n, static_cast<int>(std::lround(v[1]))),
                         "NRCamera_Set_Sharpen");
        case CameraPropertyId::HFlip: return Check(m_lib.Call(f.NRCamera_Set_HFlip, i, n), "NRCamera_Set_HFlip");
        case CameraPropertyId::VFlip: return Check(m_lib.Call(f.NRCamera_Set_VFlip, i, n), "NRCamera_Set_VFlip");
        case CameraPropertyId::FrameSpeed:
            return Check(m_lib.Call(f.NRCamera_Set_FrameSpeed, i, n + 1), "NRCamera_Set_FrameSpeed");
        case CameraPropertyId::Mains:
            return Check(m_lib.Call(f.NRCamera_Set_LightFrequency, i, n), "NRCamera_Set_LightFrequency");
        case CameraPropertyId::Video: break;
    }
    m_failure.Keep("a maker camera has no property " + CameraPropertyName(key));
    return -1;
}

int CMakerFamily::PropertyRange(int id, double* min, double* max, double* current) {
    return PropertyRangeFromDescriptions(*this, id, min, max, current);
}

void CMakerFamily::WhiteBalanceDone(int, double red, double green, double blue, void* self) {
    auto* family = static_cast<CMakerFamily*>(self);
    if (const CameraWhiteBalanceCallback cb = family->m_wbCallback.load())
        cb(0, red * kGainScale, green * kGainScale, blue * kGainScale, family->m_wbUser.load());
}

int CMakerFamily::OneShotWhiteBalance() {
    return Check(m_lib.Call(m_lib.Fn().NRCamera_Set_OnceWB, Index(), 1), "NRCamera_Set_OnceWB");
}

int CMakerFamily::SetWhiteBalanceCallback(CameraWhiteBalanceCallback callback, void* user) {
    m_wbUser.store(user);
    m_wbCallback.store(callback);
    return Check(m_lib.Call(m_lib.Fn().NRCamera_Set_WhiteBlanceCallback, Index(),
                            callback ? &CMakerFamily::WhiteBalanceDone : nullptr, static_cast<void*>(this)),
                 "NRCamera_Set_WhiteBlanceCallback");
}

bool CMakerFamily::RegulatesGain() {
    int supported = 0;
    return m_lib.Call(m_lib.Fn().NRCamera_Get_SupportAutoGain, Index(), &supported) == 0 && supported != 0;
}
