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

// Counts the frames that reach the sink and remembers the last frame's format.
struct FrameCounter {
    std::mutex mutex;
    std::condition_variable arrived;
    int64_t frames = 0;
    int width = 0, height = 0, bits = 0;

    static int Sink(int, uint8_t* frame, const FCBitmapInfoHeader* header, void* user) {
        auto* self = static_cast<FrameCounter*>(user);
        if (!frame || !header) return 1;
        {
            std::lock_guard lock(self->mutex);
            ++self->frames;
            self->width = header->biWidth;
            self->height = std::abs(header->biHeight);
            self->bits = header->biBitCount;
        }
        self->arrived.notify_all();
        return 1;
    }
    int64_t Frames() {
        std::lock_guard lock(mutex);
        return frames;
    }
    bool WaitForFrames(int64_t n, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, timeout, [&] { return frames >= n; });
    }
};

// Parses "--device N" and the given extra options; the rest are positional arguments.
struct CameraArgs {
    int device = -1;
    std::optional<int> stillIndex;
    std::optional<double> seconds;
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

std::string NameUtf8(const CameraDeviceEntry& e) {
    size_t n = 0;
    while (n < 260 && e.name[n]) ++n;
    return QString::fromUtf16(e.name, static_cast<qsizetype>(n)).toStdString();
}

// Chooses device entry `device` and opens it with the counter as its sink.
int OpenDevice(const CliCameraSession& session, int device, FrameCounter* counter) {
    return CliOpenDevice(session, device, &FrameCounter::Sink, counter);
}

}  // namespace

int CliCameras(const CliArgs& args) {
    if (!args.empty()) return CliUsage("cameras");
    CliCameraSession session;
    for (const CameraDeviceEntry& e : theCameraManager().Devices())
        std::printf("%d kind=%d lib=%d name=\"%s\"\n", e.listIndex, e.kind, e.libraryIndex, NameUtf8(e).c_str());
    return 0;
}

int CliSnap(const CliArgs& args) {
    const char* synopsis = "snap --device N [--still-index I] OUT";
    const CameraArgs a = ParseCameraArgs(args);
    if (!a.error.empty()) return CliFail(a.error);
    if (a.device < 0 || a.positional.size() != 1 || a.seconds) return CliUsage(synopsis);
    const std::string& out = a.positional[0];

    CliCameraSession session;
    FrameCounter counter;
    if (const int status = OpenDevice(session, a.device, &counter)) return status;
    CCameraManager& cm = theCameraManager();
    // The live document starts the camera, as the program's live window does, and captures
    // through the document's own path (with its live processing).
    CScopeDoc* live = NewDocumentWithoutView();
    if (!live) return CliFail("cannot start the live picture");
    // A camera hands over stills once it streams.
    if (!counter.WaitForFrames(1, std::chrono::seconds(10))) return CliFail("the camera delivers no frames");
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
            if (!counter.WaitForFrames(seen + 2, std::chrono::seconds(10)))
                return CliFail("the camera delivers no frames");
        } else {
            cm.SetStillResolutionIndex(*a.stillIndex);
        }
    }
    FCObjImage picture;
    const bool captured = live->CaptureFrame(picture);
    cm.Stop();
    cm.CloseCamera();
    CloseDocumentWithoutView(live);
    if (!captured) return CliFail("the camera did not deliver a still");
    if (!picture.SaveToFile(out)) return CliFail("cannot write " + CliQuoted(out));
    std::printf("width %d\nheight %d\n", picture.Width(), picture.Height());
    return 0;
}

int CliStream(const CliArgs& args) {
    const char* synopsis = "stream --device N --seconds S";
    const CameraArgs a = ParseCameraArgs(args);
    if (!a.error.empty()) return CliFail(a.error);
    if (a.device < 0 || !a.seconds || !a.positional.empty() || a.stillIndex) return CliUsage(synopsis);

    CliCameraSession session;
    FrameCounter counter;
    if (const int status = OpenDevice(session, a.device, &counter)) return status;
    CCameraManager& cm = theCameraManager();
    cm.Play();
    std::this_thread::sleep_for(std::chrono::duration<double>(*a.seconds));
    const float fps = cm.GetCaptureFrameRate();
    cm.Stop();
    cm.CloseCamera();
    std::lock_guard lock(counter.mutex);
    std::printf("frames %lld\ncapture-fps %.2f\nwidth %d\nheight %d\nbits %d\n",
                static_cast<long long>(counter.frames), fps, counter.width, counter.height, counter.bits);
    return 0;
}

int CliProps(const CliArgs& args) {
    const CameraArgs a = ParseCameraArgs(args);
    if (!a.error.empty()) return CliFail(a.error);
    if (a.device < 0 || !a.positional.empty() || a.seconds || a.stillIndex) return CliUsage("props --device N");

    CliCameraSession session;
    FrameCounter counter;
    if (const int status = OpenDevice(session, a.device, &counter)) return status;
    CCameraManager& cm = theCameraManager();
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
    cm.CloseCamera();
    return 0;
}
