#include "camera/module_family.h"

#include <QString>

#include <algorithm>
#include <climits>
#include <cmath>

#include "camera/camera_log.h"
#include "camera/module_loader.h"

namespace {

const char16_t* const kModelNames[4] = {u"MC-A", u"MC-B", u"MC-C", u"MC-D"};

// Ranges a module answers for (it has no call that tells them).
constexpr double kMaxAnalogGain = 48;
constexpr double kMinToneByte = 20;
constexpr double kMaxToneByte = 255;
// White-balance gains in 1/64; the "Defaults" of the white-balance page.
constexpr double kGainScale = 64;
constexpr double kMinGain = 20;
constexpr double kMaxGain = 200;
constexpr CameraPropertyValue kDefaultGains{{74, 64, 96}};
// Rows of exposure a module without CameraGetMaxExposureTime allows.
constexpr uint16_t kFallbackMaxRows = 1000;

bool IsModuleKind(int kind) { return kind >= KindModule1 && kind <= KindModule4; }

std::string Utf8(const char16_t* text) { return QString::fromUtf16(text).toStdString(); }

// A module setting read as a byte.
template <class Get>
int ReadByte(Get get, double* v) {
    uint8_t b = 0;
    const int status = get(&b);
    if (status == 0) *v = b;
    return status;
}

}  // namespace

CModuleFamily::~CModuleFamily() { JoinWhiteBalance(); }

const std::vector<std::pair<int, int>>& CModuleFamily::Resolutions(int kind) {
    static const std::vector<std::pair<int, int>> tables[5] = {
        {},
        {{320, 240}, {640, 480}, {1280, 1024}},
        {{640, 480}, {1024, 768}, {2048, 1536}},
        {{640, 480}, {1024, 768}, {1280, 960}, {2592, 1944}},
        {{640, 480}, {800, 600}, {1280, 960}, {1600, 1200}, {3488, 2616}},
    };
    return tables[IsModuleKind(kind) ? kind : 0];
}

int CModuleFamily::ResolutionNumber(int kind, int row) {
    const int size = static_cast<int>(Resolutions(kind).size());
    if (row < 0 || row >= size) row = 0;
    return size - 1 - row;
}

const char16_t* CModuleFamily::ModelName(int kind) { return IsModuleKind(kind) ? kModelNames[kind - 1] : u""; }

ModuleState& CModuleFamily::State() const { return theModules().State(m_kind); }

bool CModuleFamily::Loaded() const { return theModules().IsLoaded(m_kind); }

std::string CModuleFamily::LastError() const { return m_failure.Text(); }

std::unique_ptr<IStageControl> CModuleFamily::OpenStage() {
    if (!Loaded()) return nullptr;
    const ModuleState& m = State();
    return MakeSimStage({m.CameraSimGetStage, m.CameraSimSetStage, m.CameraSimMoveStage,
                         m.CameraSimMoveStagePixels, m.CameraSimSetStageDrift});
}

int CModuleFamily::Check(int status, const char* call) {
    if (status == 0) return 0;
    std::string reason;
    if (!Loaded()) {
        reason = std::string("the driver module ") + (IsModuleKind(m_kind) ? kModuleFiles[m_kind - 1] : "") +
                 " is not loaded";
        const std::string& why = State().loadError;
        if (!why.empty()) reason += " (" + why + ")";
    } else {
        reason = Utf8(ModelName(m_kind)) + ": " + call + " failed (status " + std::to_string(status) + ")";
        char buf[256] = {};
        if (State().CameraGetLastError && State().CameraGetLastError(buf, sizeof buf) == 0 && buf[0])
            reason = Utf8(ModelName(m_kind)) + ": " + buf;
    }
    m_failure.Keep(std::move(reason));
    return status;
}

template <class Fn, class... A>
int CModuleFamily::Call(Fn ModuleState::*entry, const char* name, A... args) {
    if (!Loaded()) return Check(-1, name);
    Fn fn = State().*entry;
    if (!fn) {
        m_failure.Keep(Utf8(ModelName(m_kind)) + ": the module has no " + name);
        return -1;
    }
    return Check(fn(args...), name);
}

int CModuleFamily::Load(const std::string& folder) {
    const int loaded = theModules().LoadAll(folder);
    for (int m = 1; m <= CModuleLoader::kModules; ++m)
        if (!theModules().IsLoaded(m))
            qCInfo(lcCamera).noquote() << "driver module not loaded:"
                                       << QString::fromStdString(theModules().State(m).loadError);
    return loaded;
}

void CModuleFamily::Unload() {
    JoinWhiteBalance();
    theModules().FreeAll();
    m_bOpen = false;
    m_kind = 0;
}

void CModuleFamily::Enumerate(std::vector<CameraDeviceEntry>& list, size_t limit) {
    for (int m = 1; m <= CModuleLoader::kModules; ++m) {
        if (!theModules().IsLoaded(m)) continue;
        const int n = theModules().DeviceCount(m);
        for (int i = 0; i < n && list.size() < limit; ++i) {
            CameraDeviceEntry e;
            e.kind = m;
            e.libraryIndex = i;
            std::u16string name = kModelNames[m - 1];
            std::copy(name.begin(), name.end(), e.name);
            list.push_back(e);
        }
    }
}

std::string CModuleFamily::Identity(const CameraDeviceEntry& entry) {
    if (!IsModuleKind(entry.kind)) return {};
    const std::string model = Utf8(kModelNames[entry.kind - 1]);
    ModuleState& s = theModules().State(entry.kind);
    char serial[64] = {};
    if (s.CameraGetSerialNumber && s.CameraGetSerialNumber(static_cast<uint8_t>(entry.libraryIndex + 1), serial,
                                                           sizeof serial) == 0 &&
        serial[0])
        return model + "|" + serial;
    // Without a serial number the camera is known by its place among the module's cameras.
    return model + "|#" + std::to_string(entry.libraryIndex);
}

// ---- Life cycle ----

int CModuleFamily::Open(const CameraDeviceEntry& entry, void* window, CameraFrameSink sink, void* user) {
    JoinWhiteBalance();
    m_kind = entry.kind;
    m_bOpen = false;
    const int status = Check(theModules().Open(m_kind, user, window, entry.libraryIndex, sink), "CameraInit");
    if (status != 0) {
        m_failure.Keep(LastError(), true);
        return status;
    }
    m_bOpen = true;
    return 0;
}

int CModuleFamily::Play() {
    const int status = Check(theModules().Play(m_kind), "CameraPlay");
    if (status != 0) m_failure.Keep(LastError(), true);
    return status;
}

// A module camera keeps delivering frames while paused.
int CModuleFamily::Pause() { return 0; }

int CModuleFamily::Stop() { return Check(theModules().Stop(m_kind), "CameraStop"); }

int CModuleFamily::Close() {
    JoinWhiteBalance();
    m_bOpen = false;
    return Check(theModules().Close(m_kind), "CameraUnInit");
}

bool CModuleFamily::Present() {
    if (!m_bOpen || !Loaded() || !State().CameraGetImageSize) return false;
    int w = 0, h = 0;
    return State().CameraGetImageSize(&w, &h) == 0;
}

int CModuleFamily::CurrentRow(int* row) {
    int w = 0, h = 0;
    if (Call(&ModuleState::CameraGetImageSize, "CameraGetImageSize", &w, &h) != 0) return -1;
    const auto& table = Resolutions(m_kind);
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i] == std::make_pair(w, h)) {
            *row = static_cast<int>(i);
            return 0;
        }
    }
    return -1;
}

int CModuleFamily::Capture(uint8_t* buffer, int stillIndex) {
    if (m_kind != KindModule4)
        return Check(theModules().CaptureStill(m_kind, buffer, ResolutionNumber(m_kind, stillIndex)), "CameraCaptureToBuf");
    // The hand-over copies a live frame: a caller sized for another still resolution would be
    // overrun (or left half filled), so such a request is refused.
    int row = -1;
    if (CurrentRow(&row) != 0 || row != stillIndex) {
        m_failure.Keep("MC-D: a still is taken at the live resolution only");
        return -1;
    }
    const int status = theModules().CaptureHandOver(buffer, CModuleLoader::kCaptureTimeoutMs);
    if (status != 0)
        m_failure.Keep("MC-D: no frame within " + std::to_string(CModuleLoader::kCaptureTimeoutMs) + " ms");
    return status;
}

// ---- Resolutions ----

int CModuleFamily::PreviewSize(int* width, int* height) {
    return Call(&ModuleState::CameraGetImageSize, "CameraGetImageSize", width, height);
}

int CModuleFamily::ResolutionCount(List, int* count) {
    if (!Loaded()) return Check(-1, "CameraGetImageSize");
    *count = static_cast<int>(Resolutions(m_kind).size());
    return 0;
}

int CModuleFamily::ResolutionSize(List, int i, int* width, int* height) {
    if (!Loaded()) return Check(-1, "CameraGetImageSize");
    const auto& table = Resolutions(m_kind);
    // A row beyond the table leaves the size as it was.
    if (i >= 0 && i < static_cast<int>(table.size())) {
        *width = table[static_cast<size_t>(i)].first;
        *height = table[static_cast<size_t>(i)].second;
    }
    return 0;
}

int CModuleFamily::ResolutionIndex(List list, int* i) {
    if (!Loaded()) return Check(-1, "CameraGetImageSize");
    // Module 4 takes its stills from the live stream; the others remember a still index.
    if (list == List::Still && m_kind != KindModule4) {
        *i = State().nStillIndex;
        return 0;
    }
    CurrentRow(i);  // no match leaves i unchanged
    return 0;
}

int CModuleFamily::SetResolutionIndex(List list, int i) {
    if (!Loaded()) return Check(-1, "CameraInit");
    if (list == List::Still) {
        State().nStillIndex = i;
        return 0;
    }
    const auto& table = Resolutions(m_kind);
    const auto wanted = table[(i >= 0 && i < static_cast<int>(table.size())) ? static_cast<size_t>(i) : 0];
    int w = 0, h = 0;
    PreviewSize(&w, &h);
    if (std::make_pair(w, h) == wanted) return 0;
    return Check(theModules().Restart(m_kind, ResolutionNumber(m_kind, i)), "CameraInit");
}

int CModuleFamily::MediaTypes(char16_t (*names)[16], int* count) {
    if (*count >= 1) {
        std::fill(std::begin(names[0]), std::end(names[0]), u'\0');
        std::copy_n(u"RGB24", 5, names[0]);
    }
    *count = 1;
    return 0;
}

int CModuleFamily::SetMediaType(int i) { return i == 0 ? 0 : -1; }

float CModuleFamily::FrameRate(bool) { return theModules().FrameRate(m_kind); }

// ---- Settings ----

int CModuleFamily::RowTime(uint32_t* microseconds) {
    return Call(&ModuleState::CameraGetRowTime, "CameraGetRowTime", microseconds);
}

CameraProperties CModuleFamily::Properties() {
    CameraProperties out;
    if (!m_bOpen || !Loaded()) return out;
    using K = CameraValueKind;
    using P = CameraPropertyId;
    out.push_back(DescribeProperty(P::AutoExposure, K::Toggle, 0, 1));
    out.push_back(DescribeProperty(P::ExposureTarget, K::Number, 1, 255));
    uint32_t rowTime = 0;
    if (RowTime(&rowTime) == 0 && rowTime > 0) {
        uint16_t maxRows = kFallbackMaxRows;
        if (State().CameraGetMaxExposureTime) State().CameraGetMaxExposureTime(&maxRows);
        // Exposure goes in whole sensor rows.
        CameraPropertyInfo t = DescribeProperty(P::ExposureTime, K::Number, 1, static_cast<double>(maxRows) * rowTime, "us");
        t.step = rowTime;
        out.push_back(t);
    }
    out.push_back(DescribeProperty(P::Gain, K::Number, 1, kMaxAnalogGain, "x"));
    CameraPropertyInfo wb = DescribeProperty(P::WhiteBalance, K::Triple, kMinGain, kMaxGain, "1/64");
    wb.scale = kGainScale;
    wb.defaultValue = kDefaultGains;
    out.push_back(wb);
    out.push_back(DescribeProperty(P::Gamma, K::Number, kMinToneByte, kMaxToneByte, "1/100"));
    out.push_back(DescribeProperty(P::Contrast, K::Number, kMinToneByte, kMaxToneByte, "1/100"));
    out.push_back(DescribeProperty(P::Saturation, K::Number, kMinToneByte, kMaxToneByte, "1/100"));
    out.push_back(DescribeProperty(P::HFlip, K::Toggle, 0, 1));
    out.push_back(DescribeProperty(P::VFlip, K::Toggle, 0, 1));
    // Modules know two frame speeds and no DC setting.
    CameraPropertyInfo speed = DescribeProperty(P::FrameSpeed, K::Choice, 0, 1);
    speed.choices = {"Normal", "High"};
    out.push_back(speed);
    CameraPropertyInfo mains = DescribeProperty(P::Mains, K::Choice, 0, 1);
    mains.choices = {"AC (50 HZ)", "AC (60 HZ)"};
    out.push_back(mains);
    return out;
}

int CModuleFamily::GetProperty(CameraPropertyKey key, CameraPropertyValue* value) {
    using S = ModuleState;
    auto& v = value->v;
    switch (key.id) {
        case CameraPropertyId::AutoExposure: {
            int on = 0;
            const int status = Call(&S::CameraGetAeState, "CameraGetAeState", &on);
            if (status == 0) v[0] = on;
            return status;
        }
        case CameraPropertyId::ExposureTarget:
            return ReadByte([&](uint8_t* b) { return Call(&S::CameraGetAeTarget, "CameraGetAeTarget", b); }, &v[0]);
        case CameraPropertyId::ExposureTime: {
            uint32_t rows = 0, rowTime = 0;
            if (Call(&S::CameraGetExposureTime, "CameraGetExposureTime", &rows) != 0 || RowTime(&rowTime) != 0)
                return -1;
            v[0] = static_cast<double>(static_cast<int64_t>(rows) * rowTime);
            return 0;
        }
        case CameraPropertyId::Gain: {
            uint16_t g = 0;
            const int status = Call(&S::CameraGetAnalogGain, "CameraGetAnalogGain", &g);
            if (status == 0) v[0] = g;
            return status;
        }
        case CameraPropertyId::WhiteBalance: {
            int r = 0, g = 0, b = 0;
            const int status = Call(&S::CameraGetGain, "CameraGetGain", &r, &g, &b);
            if (status == 0) v = {static_cast<double>(r), static_cast<double>(g), static_cast<double>(b)};
            return status;
        }
        case CameraPropertyId::Gamma:
            return ReadByte([&](uint8_t* b) { return Call(&S::CameraGetGamma, "CameraGetGamma", b); }, &v[0]);
        case CameraPropertyId::Contrast:
            return ReadByte([&](uint8_t* b) { return Call(&S::CameraGetContrast, "CameraGetContrast", b); }, &v[0]);
        case CameraPropertyId::Saturation:
            return ReadByte([&](uint8_t* b) { return Call(&S::CameraGetSaturation, "CameraGetSaturation", b); }, &v[0]);
        case CameraPropertyId::HFlip:
        case CameraPropertyId::VFlip: {
            int on = 0;
            const int status =
                Call(&S::CameraGetMirror, "CameraGetMirror", key.id == CameraPropertyId::HFlip ? 0 : 1, &on);
            if (status == 0) v[0] = on;
            return status;
        }
        case CameraPropertyId::FrameSpeed:
            return ReadByte([&](uint8_t* b) { return Call(&S::CameraGetFrameSpeed, "CameraGetFrameSpeed", b); }, &v[0]);
        case CameraPropertyId::Mains: {
            int f = 0;
            const int status = Call(&S::CameraGetLightFrquency, "CameraGetLightFrquency", &f);
            if (status == 0) v[0] = f;
            return status;
        }
        default:
            break;
    }
    m_failure.Keep(Utf8(ModelName(m_kind)) + " has no " + CameraPropertyName(key));
    return -1;
}

int CModuleFamily::SetProperty(CameraPropertyKey key, const CameraPropertyValue& value) {
    using S = ModuleState;
    const auto& v = value.v;
    const int n = static_cast<int>(std::lround(v[0]));
    switch (key.id) {
        case CameraPropertyId::AutoExposure: return Call(&S::CameraSetAeState, "CameraSetAeState", n);
        case CameraPropertyId::ExposureTarget:
            return Call(&S::CameraSetAeTarget, "CameraSetAeTarget", static_cast<uint8_t>(n));
        case CameraPropertyId::ExposureTime: {
            uint32_t rowTime = 0;
            // A module that reports no row time cannot convert: leave the exposure alone.
            if (RowTime(&rowTime) != 0 || rowTime == 0) return -1;
            const auto us = static_cast<int64_t>(std::llround(v[0]));
            const int64_t rows = std::clamp<int64_t>(us / rowTime, 0, UINT32_MAX);
            return Call(&S::CameraSetExposureTime, "CameraSetExposureTime", static_cast<uint32_t>(rows));
        }
        case CameraPropertyId::Gain:
            // Truncated to the module's 16 bits.
            return Call(&S::CameraSetAnalogGain, "CameraSetAnalogGain",
                        static_cast<uint16_t>(static_cast<int64_t>(v[0])));
        case CameraPropertyId::WhiteBalance:
            return Call(&S::CameraSetGain, "CameraSetGain", static_cast<int>(v[0]), static_cast<int>(v[1]),
                        static_cast<int>(v[2]));
        case CameraPropertyId::Gamma: return Call(&S::CameraSetGamma, "CameraSetGamma", static_cast<uint8_t>(n));
        case CameraPropertyId::Contrast: return Call(&S::CameraSetContrast, "CameraSetContrast", static_cast<uint8_t>(n));
        case CameraPropertyId::Saturation:
            return Call(&S::CameraSetSaturation, "CameraSetSaturation", static_cast<uint8_t>(n));
        case CameraPropertyId::HFlip:
        case CameraPropertyId::VFlip:
            return Call(&S::CameraSetMirror, "CameraSetMirror", key.id == CameraPropertyId::HFlip ? 0 : 1, n);
        case CameraPropertyId::FrameSpeed:
            if (n != 0 && n != 1) return Loaded() ? 0 : -1;  // modules know only two speeds
            return Call(&S::CameraSetFrameSpeed, "CameraSetFrameSpeed", n);
        case CameraPropertyId::Mains:
            if (n != 0 && n != 1) return Loaded() ? 0 : -1;  // modules have no DC setting
            return Call(&S::CameraSetLightFrquency, "CameraSetLightFrquency", n);
        default:
            break;
    }
    m_failure.Keep(Utf8(ModelName(m_kind)) + " has no " + CameraPropertyName(key));
    return -1;
}

int CModuleFamily::PropertyRange(int id, double* min, double* max, double* current) {
    return PropertyRangeFromDescriptions(*this, id, min, max, current);
}

void CModuleFamily::JoinWhiteBalance() {
    if (m_wbThread.joinable()) m_wbThread.join();
}

int CModuleFamily::OneShotWhiteBalance() {
    if (!Loaded()) return Check(-1, "CameraSetAWBState");
    // The module measures for a second; the result comes through the white-balance callback
    // from this thread, so the caller is not held up.
    JoinWhiteBalance();
    const int kind = m_kind;
    m_wbThread = std::thread([kind] { theModules().OneShotWhiteBalance(kind); });
    return 0;
}

int CModuleFamily::SetWhiteBalanceCallback(CameraWhiteBalanceCallback callback, void* user) {
    return Check(theModules().SetWhiteBalanceCallback(m_kind, callback, user), "CameraSetAWBState");
}
