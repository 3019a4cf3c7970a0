// UVCCamera: the calls. The capture thread and stills are in uvc_capture.cpp, the device calls
// behind an IV4l2Sys (the real system, or CFakeV4l2 for NORVANESCOPE_FAKE_V4L2 and the tests).

#include "camera/uvc/uvc_camera.h"

#include <linux/videodev2.h>

#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "camera/camera_log.h"

#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/uvc_camera_impl.h"
#include "camera/uvc/v4l2_controls.h"

namespace {

std::u16string Utf16(const std::string& s) {
    return QString::fromUtf8(s).toStdU16String();
}

int64_t Area(V4l2Size s) {
    return int64_t(s.width) * s.height;
}

}  // namespace

UVCCamera::Impl::Impl() : sys(MakeSystemV4l2()) {}

void UVCCamera::Impl::SetError(std::string reason) {
    qCWarning(lcCamera).noquote() << "UVC camera:" << QString::fromStdString(reason);
    std::lock_guard<std::mutex> lock(errorMutex);
    lastError = std::move(reason);
}

UVCCamera::Impl::~Impl() {
    SetEventCallback(nullptr, nullptr);
    std::unique_lock<std::mutex> lk(mu);
    CloseLocked(lk);
}

std::unique_lock<std::mutex> UVCCamera::Impl::Enter() {
    std::unique_lock<std::mutex> lk(mu);
    if (!OnCaptureThread()) cv.wait(lk, [this] { return busy == 0; });
    return lk;
}

void UVCCamera::Impl::CloseLocked(std::unique_lock<std::mutex>& lk) {
    StopCapture(lk);
    if (captureThread.joinable() && !OnCaptureThread()) {
        cv.wait(lk, [this] { return threadDone; });
        captureThread.join();
        captureThreadId.store(std::thread::id());
    }
    dev.reset();  // the device closes once a stopping thread lets go of it too
    open.store(false);
    media.clear();
    mediaIndex = 0;
    size = {};
    sink = nullptr;
    sinkUser = nullptr;
    play = Play::Stopped;
    lost = false;
}

int UVCCamera::Impl::RestartAt(std::unique_lock<std::mutex>& lk, int mediaIdx, V4l2Size newSize) {
    if (OnCaptureThread()) return -1;
    BusyScope busyScope(*this);
    const Play was = play;
    StopCapture(lk);
    if (!Usable()) return -1;
    mediaIndex = mediaIdx;
    size = newSize;
    if (was == Play::Stopped) return 0;
    if (StartCapture(lk, was == Play::Playing) != 0) {
        play = Play::Stopped;
        return -1;
    }
    return 0;
}

std::vector<UVCCamera::Impl::ListedDevice> UVCCamera::Impl::ListDevices() {
    std::lock_guard<std::mutex> lock(listMutex);
    std::vector<ListedDevice> found;
    for (const std::string& path : sys->ListDevices()) {
        int error = 0;
        auto d = CV4l2Device::Open(sys, path, &error);
        // A camera the user may not open is listed all the same, so that choosing it says why.
        if (!d && error == EACCES) found.push_back({path, Utf16(path + " (no access)"), std::string()});
        std::string card, port;
        if (!d || !IsStreamingCaptureNode(*d, &card, &port)) continue;
        // A camera whose formats we cannot decode could not be shown.
        if (EnumerateMediaTypes(*d).empty()) continue;
        found.push_back({path, Utf16(card), port});
    }
    return found;
}

void UVCCamera::Impl::ReportDeviceEvent(int code) {
    CameraDeviceCallback cb;
    void* user;
    {
        std::lock_guard<std::mutex> lock(eventMutex);
        cb = eventCallback;
        user = eventUser;
    }
    if (cb) cb(code, -1, user);
}

void UVCCamera::Impl::SetEventCallback(CameraDeviceCallback callback, void* user) {
    std::unique_ptr<CDeviceWatch> old;
    {
        std::lock_guard<std::mutex> lock(eventMutex);
        old = std::move(watch);
        eventCallback = callback;
        eventUser = user;
    }
    // Joined outside the lock: the watch's thread may be forwarding an event just now.
    old.reset();
    if (!callback) return;
    // Without udev only the removal of a streaming camera is reported.
    auto w = std::make_unique<CDeviceWatch>();
    if (!w->Start(&Impl::OnWatchEvent, this)) return;
    std::lock_guard<std::mutex> lock(eventMutex);
    if (eventCallback == callback && !watch) watch = std::move(w);
}

void UVCCamera::Impl::OnWatchEvent(int code, int, void* user) {
    static_cast<Impl*>(user)->ReportDeviceEvent(code);
}

UVCCamera::UVCCamera() : m(std::make_unique<Impl>()) {}

UVCCamera::~UVCCamera() = default;

void UVCCamera::SetSys(std::shared_ptr<IV4l2Sys> sys) {
    auto lk = m->Enter();
    if (m->OnCaptureThread()) return;
    Impl::BusyScope busyScope(*m);
    // Whatever is open belongs to the old layer.
    m->CloseLocked(lk);
    std::lock_guard<std::mutex> lock(m->listMutex);
    m->sys = sys ? std::move(sys) : MakeSystemV4l2();
}

int UVCCamera::InitializeAPI() {
    return 0;
}

int UVCCamera::UnInitializeAPI() {
    if (m->OnCaptureThread()) return -1;
    m->SetEventCallback(nullptr, nullptr);
    auto lk = m->Enter();
    Impl::BusyScope busyScope(*m);
    m->CloseLocked(lk);
    return 0;
}

int UVCCamera::UVCCam_Get_DevList(CameraInformation* records, int* count, std::vector<std::string>* ports) {
    if (!records || !count || *count < 0) return -1;
    const auto found = m->ListDevices();
    const int n = std::min<int>(*count, static_cast<int>(found.size()));
    if (ports) {
        ports->clear();
        for (int i = 0; i < n; ++i) ports->push_back(found[i].port);
    }
    for (int i = 0; i < n; ++i) {
        CameraInformation r;
        r.kind = KindUvc;
        r.listIndex = i;
        r.libraryIndex = i;
        const size_t len = std::min<size_t>(found[i].name.size(), std::size(r.name) - 1);
        std::copy_n(found[i].name.data(), len, r.name);
        records[i] = r;
    }
    *count = n;
    return 0;
}

int UVCCamera::UVCCamInit(CameraFrameSink callback, void* user, void*, const char16_t* name,
                          int index) {
    if (m->OnCaptureThread()) return -1;
    // A fresh list: node paths change when cameras come and go.
    const std::vector<Impl::ListedDevice> list = m->ListDevices();
    const std::u16string wanted = name ? std::u16string(name) : std::u16string();
    // By position, unless the list changed under the caller: then by name.
    const Impl::ListedDevice* pick = nullptr;
    if (index >= 0 && index < int(list.size()) && (wanted.empty() || list[index].name == wanted))
        pick = &list[index];
    for (size_t i = 0; !pick && !wanted.empty() && i < list.size(); ++i)
        if (list[i].name == wanted) pick = &list[i];
    if (!pick) {
        m->SetError("no UVC camera \"" + QString::fromStdU16String(wanted).toStdString() + "\" is attached");
        return -1;
    }

    auto lk = m->Enter();
    Impl::BusyScope busyScope(*m);
    m->CloseLocked(lk);
    int error = 0;
    auto d = CV4l2Device::Open(m->sys, pick->path, &error);
    if (!d) {
        m->SetError("cannot open " + pick->path + ": " + std::strerror(error));
        return -1;
    }
    if (!IsStreamingCaptureNode(*d, nullptr)) {
        m->SetError(pick->path + " is not a video capture device that streams");
        return -1;
    }
    auto types = EnumerateMediaTypes(*d);
    if (types.empty()) {
        m->SetError(pick->path + " offers no picture format this program decodes");
        return -1;
    }

    // Motion-JPEG first: it keeps the frame rate at large sizes.
    int mediaIdx = 0;
    for (size_t i = 0; i < types.size(); ++i)
        if (types[i].fourcc == V4L2_PIX_FMT_MJPEG) {
            mediaIdx = int(i);
            break;
        }
    // The size the device is set to, when the chosen format offers it; else the largest up to
    // 1280 x 720, a size every UVC camera streams at a usable rate.
    const auto& sizes = types[mediaIdx].sizes;
    V4l2Size pickSize = sizes.front();
    for (const V4l2Size& s : sizes)
        if (Area(s) <= 1280 * 720) pickSize = s;
    v4l2_format cur{};
    cur.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (d->Ioctl(VIDIOC_G_FMT, &cur) == 0) {
        const V4l2Size now{int(cur.fmt.pix.width), int(cur.fmt.pix.height)};
        if (std::find(sizes.begin(), sizes.end(), now) != sizes.end()) pickSize = now;
    }

    m->dev = std::move(d);
    m->media = std::move(types);
    m->mediaIndex = mediaIdx;
    m->size = pickSize;
    m->sink = callback;
    m->sinkUser = user;
    m->play = Impl::Play::Stopped;
    m->lost = false;
    m->open.store(true);
    return 0;
}

int UVCCamera::UVCCamPlay() {
    auto lk = m->Enter();
    if (!m->dev) {
        m->SetError("no UVC camera is open");
        return -1;
    }
    if (!m->Usable()) return -1;  // the reason it was lost stays
    if (m->play == Impl::Play::Playing) return 0;
    if (m->play == Impl::Play::Paused && m->Capturing()) {
        m->deliver = true;
        m->play = Impl::Play::Playing;
        return 0;
    }
    if (m->OnCaptureThread()) return -1;
    Impl::BusyScope busyScope(*m);
    if (m->StartCapture(lk, true) != 0) return -1;
    m->play = Impl::Play::Playing;
    return 0;
}

int UVCCamera::UVCPause() {
    auto lk = m->Enter();
    if (!m->Usable() || m->play == Impl::Play::Stopped) return -1;
    m->deliver = false;
    m->play = Impl::Play::Paused;
    // A frame being delivered finishes first: none arrives once Pause returns.
    if (!m->OnCaptureThread()) m->cv.wait(lk, [this] { return !m->inCallback; });
    return 0;
}

int UVCCamera::UVCCamStop() {
    auto lk = m->Enter();
    if (!m->dev) return -1;
    Impl::BusyScope busyScope(*m);
    m->StopCapture(lk);
    m->play = Impl::Play::Stopped;
    return 0;
}

int UVCCamera::UVCCamUnit() {
    auto lk = m->Enter();
    if (!m->dev) return -1;
    Impl::BusyScope busyScope(*m);
    m->CloseLocked(lk);
    return 0;
}

int UVCCamera::Camera_GetBitCount() {
    return 24;
}

int UVCCamera::CameraCaptureToBuf(uint8_t* buffer, int, int stillIndex) {
    if (!buffer || m->OnCaptureThread()) return -1;
    auto lk = m->Enter();
    if (!m->Usable()) return -1;
    const auto& sizes = m->media[m->mediaIndex].sizes;
    if (stillIndex < 0 || stillIndex >= int(sizes.size())) return -1;
    const V4l2Size want = sizes[stillIndex];
    if (m->Capturing() && want == m->size) {
        const int rc = m->StillFromStream(lk, buffer);
        if (rc != 0 && !m->lost) m->SetError("no still from " + m->dev->Path() + " in time");
        return rc;
    }
    // Another size: the live stream makes way for a stream of the still's size, then resumes.
    Impl::BusyScope busyScope(*m);
    const Impl::Play was = m->play;
    m->StopCapture(lk);
    if (!m->Usable()) return -1;
    const int rc = m->StillOneShot(want, buffer);
    if (rc != 0 && !m->lost) m->SetError("no still from " + m->dev->Path() + " in time");
    if (was != Impl::Play::Stopped && m->Usable()) {
        if (m->StartCapture(lk, was == Impl::Play::Playing) != 0) m->play = Impl::Play::Stopped;
    }
    return rc;
}

int UVCCamera::UVCGetPreviewSize(int* width, int* height) {
    auto lk = m->Enter();
    if (!m->Usable() || !width || !height) return -1;
    *width = m->size.width;
    *height = m->size.height;
    return 0;
}

int UVCCamera::UVCSetPreviewSize(int width, int height) {
    auto lk = m->Enter();
    if (!m->Usable()) return -1;
    const auto& sizes = m->media[m->mediaIndex].sizes;
    const V4l2Size want{width, height};
    if (std::find(sizes.begin(), sizes.end(), want) == sizes.end()) return -1;
    if (want == m->size) return 0;
    return m->RestartAt(lk, m->mediaIndex, want);
}

int UVCCamera::Camera_Get_ResolutionCount(int* count) {
    auto lk = m->Enter();
    if (!m->Usable() || !count) return -1;
    *count = int(m->media[m->mediaIndex].sizes.size());
    return 0;
}

int UVCCamera::Camera_Get_ResolutionSize(int i, int* width, int* height) {
    auto lk = m->Enter();
    if (!m->Usable() || !width || !height) return -1;
    const auto& sizes = m->media[m->mediaIndex].sizes;
    if (i < 0 || i >= int(sizes.size())) return -1;
    *width = sizes[i].width;
    *height = sizes[i].height;
    return 0;
}

int UVCCamera::Camera_Get_ResolutionIndex(int* i) {
    auto lk = m->Enter();
    if (!m->Usable() || !i) return -1;
    const auto& sizes = m->media[m->mediaIndex].sizes;
    *i = int(std::find(sizes.begin(), sizes.end(), m->size) - sizes.begin());
    return 0;
}

int UVCCamera::Camera_Set_ResolutionIndex(int i) {
    auto lk = m->Enter();
    if (!m->Usable()) return -1;
    const auto& sizes = m->media[m->mediaIndex].sizes;
    if (i < 0 || i >= int(sizes.size())) return -1;
    if (sizes[i] == m->size) return 0;
    return m->RestartAt(lk, m->mediaIndex, sizes[i]);
}

int UVCCamera::Camera_Get_StillResolutionCount(int* count) {
    return Camera_Get_ResolutionCount(count);
}

int UVCCamera::Camera_Get_StillResolutionSize(int i, int* width, int* height) {
    return Camera_Get_ResolutionSize(i, width, height);
}

int UVCCamera::Gamera_Get_MediaTypes(char16_t (*names)[16], int* count) {
    auto lk = m->Enter();
    if (!m->Usable() || !names || !count || *count < 0) return -1;
    const int n = std::min<int>(*count, int(m->media.size()));
    for (int i = 0; i < n; ++i) {
        std::fill(std::begin(names[i]), std::end(names[i]), u'\0');
        const std::u16string& s = m->media[i].name;
        std::copy_n(s.data(), std::min<size_t>(s.size(), 15), names[i]);
    }
    *count = n;
    return 0;
}

int UVCCamera::Camera_Set_MediaTypeByIndex(int i) {
    auto lk = m->Enter();
    if (!m->Usable() || i < 0 || i >= int(m->media.size())) return -1;
    if (i == m->mediaIndex) return 0;
    // Keep the size where the new format has it, else the one nearest in area.
    const auto& sizes = m->media[i].sizes;
    V4l2Size pick = sizes.front();
    for (const V4l2Size& s : sizes)
        if (std::abs(Area(s) - Area(m->size)) < std::abs(Area(pick) - Area(m->size))) pick = s;
    if (std::find(sizes.begin(), sizes.end(), m->size) != sizes.end()) pick = m->size;
    return m->RestartAt(lk, i, pick);
}

int UVCCamera::Camera_Get_VideoPropertyRane(int property, double* min, double* max, double* value) {
    auto lk = m->Enter();
    if (!m->Usable()) return -1;
    return GetUvcPropertyRange(*m->dev, property, min, max, value);
}

int UVCCamera::Camera_Get_VideoPropertyInfo(int property, UvcPropertyInfo* info) {
    auto lk = m->Enter();
    if (!m->Usable()) return -1;
    return DescribeUvcProperty(*m->dev, property, info);
}

int UVCCamera::Camera_Get_VideoProperty(int property, double* value, int* automatic) {
    auto lk = m->Enter();
    if (!m->Usable()) return -1;
    return GetUvcProperty(*m->dev, property, value, automatic);
}

int UVCCamera::Camera_Set_VideoProperty(int property, double value, int flag) {
    auto lk = m->Enter();
    if (!m->Usable()) return -1;
    return SetUvcProperty(*m->dev, property, value, flag);
}

int UVCCamera::UVCShowUVCProcessPropertyPages() {
    return -1;
}

int UVCCamera::UVCCamSetEventCallBack(CameraDeviceCallback callback, void* user) {
    m->SetEventCallback(callback, user);
    return 0;
}

int UVCCamera::Camera_Get_CaptureFrameRate(float* fps) {
    if (!fps || !m->open.load()) return -1;
    *fps = m->captureFps.load();
    return 0;
}

int UVCCamera::Camera_Get_DisplayFrameRate(float* fps) {
    if (!fps || !m->open.load()) return -1;
    *fps = m->displayFps.load();
    return 0;
}

std::string UVCCamera::LastErrorText() const {
    std::lock_guard<std::mutex> lock(m->errorMutex);
    return m->lastError;
}

UVCCamera& theUVCCamera() {
    // Never destroyed: other process-wide objects (the camera manager) shut it down from their
    // own destructors, which may run after a function-local static would be gone.
    static UVCCamera* const camera = [] {
        auto* c = new UVCCamera;
        // Emulated cameras for machines without one (see fake_v4l2.h).
        const char* v = std::getenv("NORVANESCOPE_FAKE_V4L2");
        if (v && std::strlen(v) == 1 && v[0] >= '1' && v[0] <= '4')
            c->SetSys(CFakeV4l2::Emulated(v[0] - '0'));
        return c;
    }();
    return *camera;
}
