// Camera sub-commands: cameras, snap, stream, props. Each starts the camera side as the program
// does (modules, maker library, UVC), works on one device entry and releases everything again.

#include <QString>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "app/cli.h"
#include "app/cli_camera_session.h"
#include "camera/camera_manager.h"
#include "document/scope_doc.h"
#include "image/obj_image.h"

namespace {

// Parses "--device N" and the given extra options; the rest are positional arguments.
struct CameraArgs {
    int device = -1;
    std::optional<int> stillIndex;
    std::optional<double> seconds;
    // props: "--set NAME=VALUE" and "--get NAME", in the order given.
    std::vector<std::pair<std::string, std::string>> sets;
    std::vector<std::string> gets;
    std::vector<std::string> positional;
    std::string error;
};

CameraArgs ParseCameraArgs(const CliArgs& args) {
    CameraArgs out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--device" || a == "--still-index") {
            const std::optional<int> v = hasValue ? CliParseInt(args[++i]) : std::nullopt;
            if (!v || *v < 0) {
                out.error = a + " needs a number of 0 or more";
                return out;
            }
            if (a == "--device") out.device = *v;
            else out.stillIndex = *v;
        } else if (a == "--set" || a == "--get") {
            const std::string v = hasValue ? args[++i] : std::string();
            if (a == "--get") {
                if (v.empty()) {
                    out.error = "--get needs a property name";
                    return out;
                }
                out.gets.push_back(v);
                continue;
            }
            const size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0) {
                out.error = "--set needs NAME=VALUE, not " + CliQuoted(v);
                return out;
            }
            out.sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--seconds") {
            bool ok = false;
            const double v = hasValue ? QString::fromStdString(args[++i]).toDouble(&ok) : 0;
            if (!ok || !(v > 0) || v > 3600) {
                out.error = "--seconds needs a number of seconds above 0 (at most 3600)";
                return out;
            }
            out.seconds = v;
        } else if (a.size() > 1 && a[0] == '-') {
            out.error = "unknown option " + CliQuoted(a);
            return out;
        } else {
            out.positional.push_back(a);
        }
    }
    return out;
}

constexpr int kFirstFrameSeconds = 10;

int NoFrames(int device) {
    return CliCameraFail(CliCameraText(device) + " delivered no frames within " + std::to_string(kFirstFrameSeconds) + " s");
}

}  // namespace

int CliCameras(const CliArgs& args) {
    if (!args.empty()) return CliUsage("cameras");
    CliCameraSession session;
    for (const CameraDeviceEntry& e : theCameraManager().Devices())
        std::printf("%d kind=%d lib=%d name=\"%s\"\n", e.listIndex, e.kind, e.libraryIndex, CliDeviceName(e).c_str());
    return 0;
}

int CliSnap(const CliArgs& args) {
    const char* synopsis = "snap --device N [--still-index I] OUT";
    const CameraArgs a = ParseCameraArgs(args);
    if (!a.error.empty()) return CliFail(a.error);
    if (a.device < 0 || a.positional.size() != 1 || a.seconds || !a.sets.empty() || !a.gets.empty())
        return CliUsage(synopsis);
    const std::string& out = a.positional[0];

    CliCameraSession session;
    FrameCounter counter;
    if (const int status = CliOpenDevice(session, a.device, &counter)) return status;
    CCameraManager& cm = theCameraManager();
    // The live document starts the camera, as the program's live window does, and captures
    // through the document's own path (with its live processing).
    CScopeDoc* live = NewDocumentWithoutView();
    if (!live) return CliFail("cannot start the live picture");
    // A camera hands over stills once it streams.
    if (!counter.WaitForFrames(1, std::chrono::seconds(kFirstFrameSeconds))) return NoFrames(a.device);
    if (a.stillIndex) {
        int count = 0;
        cm.GetStillResolutionCount(&count);
        if (*a.stillIndex >= count)
            return CliFail("no still resolution " + std::to_string(*a.stillIndex) + " (there are " +
                           std::to_string(count) + ")");
        if (cm.m_nKind == KindUvc || cm.m_nKind == KindModule4) {
            // These cameras take stills at their live resolution: switch it.
            cm.SetResolutionIndex(*a.stillIndex);
            const int64_t seen = counter.Frames();
            if (!counter.WaitForFrames(seen + 2, std::chrono::seconds(kFirstFrameSeconds))) return NoFrames(a.device);
        } else {
            cm.SetStillResolutionIndex(*a.stillIndex);
        }
    }
    FCObjImage picture;
    const bool captured = live->CaptureFrame(picture);
    cm.Stop();
    cm.CloseCamera();
    CloseDocumentWithoutView(live);
    if (!captured) return CliCameraFail(CliCameraText(a.device) + " did not deliver a still");
    if (!picture.SaveToFile(out)) return CliFail("cannot write " + CliQuoted(out));
    std::printf("width %d\nheight %d\n", picture.Width(), picture.Height());
    return 0;
}

int CliStream(const CliArgs& args) {
    const char* synopsis = "stream --device N --seconds S";
    const CameraArgs a = ParseCameraArgs(args);
    if (!a.error.empty()) return CliFail(a.error);
    if (a.device < 0 || !a.seconds || !a.positional.empty() || a.stillIndex || !a.sets.empty() || !a.gets.empty())
        return CliUsage(synopsis);

    CliCameraSession session;
    FrameCounter counter;
    if (const int status = CliOpenDevice(session, a.device, &counter)) return status;
    CCameraManager& cm = theCameraManager();
    if (cm.Play() != 0) return CliCameraFail("cannot start " + CliCameraText(a.device));
    std::this_thread::sleep_for(std::chrono::duration<double>(*a.seconds));
    const float fps = cm.GetCaptureFrameRate();
    cm.Stop();
    cm.CloseCamera();
    std::lock_guard lock(counter.mutex);
    std::printf("frames %lld\ncapture-fps %.2f\nwidth %d\nheight %d\nbits %d\n",
                static_cast<long long>(counter.frames), fps, counter.width, counter.height, counter.bits);
    return 0;
}

namespace {

// The names of the property model, for telling an unknown name from one the camera lacks.
bool IsPropertyName(const std::string& name) {
    for (int id = 0; id < static_cast<int>(CameraPropertyId::Video); ++id)
        if (CameraPropertyName({static_cast<CameraPropertyId>(id)}) == name) return true;
    return name.rfind("uvc:", 0) == 0 && name.size() > 4 &&
           name.find_first_not_of("0123456789", 4) == std::string::npos;
}

// The description a name refers to; null with the reason in *error.
const CameraPropertyInfo* Lookup(const CameraProperties& list, const std::string& name, int device,
                                 std::string* error) {
    if (const CameraPropertyInfo* info = FindCameraProperty(list, name)) return info;
    *error = IsPropertyName(name) ? CliCameraText(device) + " has no property " + CliQuoted(name)
                                  : "unknown property " + CliQuoted(name);
    return nullptr;
}

// One line per setting the camera describes: how the tool and the memory name and read it.
void PrintSettings(const CameraProperties& list) {
    static const char* const kKinds[] = {"toggle", "number", "choice", "rgb", "switched"};
    for (const CameraPropertyInfo& p : list) {
        std::printf("setting %s %s min=%g max=%g step=%g", p.name.c_str(), kKinds[static_cast<int>(p.kind)], p.min,
                    p.max, p.step);
        if (!p.unit.empty()) std::printf(" unit=%s", p.unit.c_str());
        if (p.hasAuto) std::printf(" auto");
        if (p.readOnly) std::printf(" read-only");
        std::printf("\n");
    }
}

// --set and --get: every argument is checked before anything is set; a set the camera refuses
// undoes the sets before it.
int SetAndGet(const CameraArgs& a) {
    CCameraManager& cm = theCameraManager();
    const CameraProperties list = cm.Properties();
    struct Set {
        const CameraPropertyInfo* info;
        CameraPropertyValue value;
    };
    std::vector<Set> sets;
    std::vector<std::pair<std::string, const CameraPropertyInfo*>> shown;
    auto show = [&](const std::string& name, const CameraPropertyInfo* info) {
        for (const auto& s : shown)
            if (s.first == name) return;
        shown.emplace_back(name, info);
    };
    std::string error;
    for (const auto& [name, text] : a.sets) {
        const CameraPropertyInfo* info = Lookup(list, name, a.device, &error);
        if (!info) return CliFail(error);
        const auto value = ParseCameraValue(*info, text, &error);
        if (!value) return CliFail(error);
        sets.push_back({info, *value});
        show(name, info);
    }
    for (const std::string& name : a.gets) {
        const CameraPropertyInfo* info = Lookup(list, name, a.device, &error);
        if (!info) return CliFail(error);
        show(name, info);
    }
    std::vector<Set> before;
    for (const Set& s : sets) {
        CameraPropertyValue old;
        if (cm.GetProperty(s.info->key, &old) == 0) before.push_back({s.info, old});
    }
    for (const Set& s : sets) {
        if (cm.SetProperty(s.info->key, s.value) == 0) continue;
        const int status = CliCameraFail("cannot set " + s.info->name);
        for (auto it = before.rbegin(); it != before.rend(); ++it) cm.SetProperty(it->info->key, it->value);
        return status;
    }
    for (const auto& [name, info] : shown) {
        CameraPropertyValue v;
        if (cm.GetProperty(info->key, &v) != 0) return CliCameraFail("cannot read " + name);
        std::printf("%s %s\n", name.c_str(), FormatCameraValue(*info, v).c_str());
    }
    return 0;
}

}  // namespace

int CliProps(const CliArgs& args) {
    const char* synopsis = "props --device N [--set NAME=VALUE]... [--get NAME]...";
    const CameraArgs a = ParseCameraArgs(args);
    if (!a.error.empty()) return CliFail(a.error);
    if (a.device < 0 || !a.positional.empty() || a.seconds || a.stillIndex) return CliUsage(synopsis);

    CliCameraSession session;
    FrameCounter counter;
    if (const int status = CliOpenDevice(session, a.device, &counter)) return status;
    CCameraManager& cm = theCameraManager();
    if (!a.sets.empty() || !a.gets.empty()) {
        const int status = SetAndGet(a);
        cm.CloseCamera();
        return status;
    }
    int n = 0, w = 0, h = 0;
    cm.GetPreviewSize(&w, &h);
    std::printf("preview %dx%d\n", w, h);
    cm.GetResolutionCount(&n);
    for (int i = 0; i < n; ++i) {
        w = h = 0;
        cm.GetResolutionSize(i, &w, &h);
        std::printf("live-resolution %d %dx%d\n", i, w, h);
    }
    n = 0;
    cm.GetStillResolutionCount(&n);
    for (int i = 0; i < n; ++i) {
        w = h = 0;
        cm.GetStillResolutionSize(i, &w, &h);
        std::printf("still-resolution %d %dx%d\n", i, w, h);
    }
    char16_t types[16][16] = {};
    n = 16;
    if (cm.GetMediaTypes(types, &n) == 0) {
        for (int i = 0; i < std::min(n, 16); ++i) {
            size_t len = 0;
            while (len < 16 && types[i][len]) ++len;
            std::printf("media-type %d %s\n", i,
                        QString::fromUtf16(types[i], static_cast<qsizetype>(len)).toStdString().c_str());
        }
    }
    int64_t emax = 0, emin = 0;
    if (cm.GetExposureRange(&emax, &emin) == 0)
        std::printf("exposure-range min=%lld max=%lld\n", static_cast<long long>(emin), static_cast<long long>(emax));
    int gmax = 0, gmin = 0;
    if (cm.GetAnalogGainRange(&gmax, &gmin) == 0) std::printf("gain-range min=%d max=%d\n", gmin, gmax);
    for (int id = 0; id <= 14; ++id) {
        double lo = 0, hi = 0, cur = 0;
        const int status = cm.GetPropertyRange(id, &lo, &hi, &cur);
        std::printf("property %d status=%d min=%g max=%g current=%g\n", id, status, lo, hi, cur);
    }
    PrintSettings(cm.Properties());
    cm.CloseCamera();
    return 0;
}
