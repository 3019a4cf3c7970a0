// record: the live frames of a camera through the program's live frame path and recording hook
// into an MP4 file, with an optional pause, as the Record dialog drives it.

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "app/cli.h"
#include "app/cli_camera_session.h"
#include "camera/camera_manager.h"
#include "camera/recording/recorder.h"
#include "document/live_frame_path.h"
#include "document/scope_doc.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kSynopsis =
    "record --device N --seconds S [--pause-at A --pause-for P] [--depth 24|32] OUT";

struct RecordArgs {
    int device = -1;
    double seconds = 0;
    std::optional<double> pauseAt, pauseFor;
    int depth = 0;  // 0: the camera's own
    std::string out;
};

// The reason, or nothing when the arguments hold.
std::optional<std::string> Parse(const CliArgs& args, RecordArgs& a) {
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name.size() < 2 || name[0] != '-') {
            positional.push_back(name);
            continue;
        }
        if (i + 1 >= args.size()) return name + " needs a value";
        const std::string& value = args[++i];
        if (name == "--device") {
            const auto v = CliParseInt(value);
            if (!v || *v < 0) return "--device needs a number of 0 or more";
            a.device = *v;
        } else if (name == "--seconds" || name == "--pause-at" || name == "--pause-for") {
            const auto v = CliParseNumber(value);
            if (!v || !(*v > 0) || *v > 3600) return name + " needs a number of seconds above 0 (at most 3600)";
            if (name == "--seconds") a.seconds = *v;
            else if (name == "--pause-at") a.pauseAt = *v;
            else a.pauseFor = *v;
        } else if (name == "--depth") {
            const auto v = CliParseInt(value);
            if (!v || (*v != 24 && *v != 32)) return "--depth needs 24 or 32";
            a.depth = *v;
        } else {
            return "unknown option " + CliQuoted(name);
        }
    }
    if (a.device < 0 || !(a.seconds > 0) || positional.size() != 1) return std::string();
    if (a.pauseAt.has_value() != a.pauseFor.has_value()) return "--pause-at and --pause-for go together";
    if (a.pauseAt && *a.pauseAt >= a.seconds) return "--pause-at must come before the end of --seconds";
    a.out = positional[0];
    return std::nullopt;
}

// The live document's frame path without a window: every frame is copied, processed and handed
// to the recorder on the camera's thread, at the asked depth.
class HeadlessLive {
public:
    explicit HeadlessLive(int depth) : m_nDepth(depth) {}

    static int Sink(int, uint8_t* frame, const FCBitmapInfoHeader* header, void* user) {
        if (frame && header) static_cast<HeadlessLive*>(user)->Frame(frame, *header);
        return 1;
    }
    void Attach(CScopeDoc* doc) {
        std::lock_guard lock(m_lock);
        m_pDoc = doc;
        CRecorder* recorder = &doc->Recorder();
        m_path.SetRecordHook(
            [recorder](uint8_t* bits, int w, int h, int bitCount) { recorder->RecordFrame(bits, w, h, bitCount); });
    }
    void Detach() {
        std::lock_guard lock(m_lock);
        m_path.SetRecordHook(nullptr);
        m_pDoc = nullptr;
    }
    bool WaitForFrames(int64_t n, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_lock);
        return m_arrived.wait_for(lock, timeout, [&] { return m_nFrames >= n; });
    }

private:
    void Frame(const uint8_t* frame, FCBitmapInfoHeader header) {
        std::lock_guard lock(m_lock);
        if (!m_pDoc || !CLiveFramePath::IsLiveHeader(header)) return;
        if (m_nDepth && header.biBitCount != m_nDepth) {
            frame = Repack(frame, header.biWidth, header.biHeight, header.biBitCount);
            header.biBitCount = static_cast<uint16_t>(m_nDepth);
        }
        m_path.Process(frame, header, m_pDoc->m_imageLive, m_pDoc->GetProcessFlags(), {}, nullptr);
        ++m_nFrames;
        m_arrived.notify_all();
    }
    // 24 <-> 32 bits per pixel, row padding kept as the bitmap rows need it.
    const uint8_t* Repack(const uint8_t* frame, int w, int h, int bits) {
        const int from = bits / 8, to = m_nDepth / 8;
        const int64_t inStride = DibStride(w, bits), outStride = DibStride(w, m_nDepth);
        m_repacked.assign(static_cast<size_t>(outStride * h), 0);
        for (int y = 0; y < h; ++y) {
            const uint8_t* in = frame + y * inStride;
            uint8_t* out = m_repacked.data() + y * outStride;
            for (int x = 0; x < w; ++x) std::memcpy(out + x * to, in + x * from, 3);
        }
        return m_repacked.data();
    }

    const int m_nDepth;
    std::mutex m_lock;
    std::condition_variable m_arrived;
    CLiveFramePath m_path;
    CScopeDoc* m_pDoc = nullptr;
    std::vector<uint8_t> m_repacked;
    int64_t m_nFrames = 0;
};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

}  // namespace

int CliRecord(const CliArgs& args) {
    RecordArgs a;
    if (const auto reason = Parse(args, a)) return reason->empty() ? CliUsage(kSynopsis) : CliFail(*reason);
    const QString out = WithMp4Extension(QString::fromStdString(a.out));

    CliCameraSession session;
    HeadlessLive tap(a.depth);
    if (const int status = CliOpenDevice(session, a.device, &HeadlessLive::Sink, &tap)) return status;
    CCameraManager& cm = theCameraManager();
    CScopeDoc* live = NewDocumentWithoutView();
    if (!live) return CliFail("cannot start the live picture");
    tap.Attach(live);
    const auto stop = [&] {
        cm.Stop();
        cm.CloseCamera();
        tap.Detach();
    };
    if (!tap.WaitForFrames(1, 10s)) {
        stop();
        CloseDocumentWithoutView(live);
        return CliFail("the camera delivers no frames");
    }

    // As the dialog does: Path, then Start once the encoder is open.
    CRecorder& recorder = live->Recorder();
    recorder.RequestFile(out);
    if (!WaitFor([&] { return recorder.m_nRecordState.load() != kRecordOpenRequested; }, 10s) ||
        !recorder.GetStatus().open) {
        const std::string reason = recorder.GetStatus().error;
        stop();
        CloseDocumentWithoutView(live);
        return CliFail(reason.empty() ? "the camera stopped delivering frames" : reason);
    }
    recorder.m_nRecordState = kRecording;
    if (a.pauseAt) {
        Sleep(*a.pauseAt);
        recorder.m_nRecordState = kRecordPaused;
        Sleep(*a.pauseFor);
        recorder.m_nRecordState = kRecording;
        Sleep(a.seconds - *a.pauseAt);
    } else {
        Sleep(a.seconds);
    }
    // Stop takes effect at the next frame; a camera that stopped delivering ends it here.
    recorder.m_nRecordState = kRecordFinishRequested;
    if (!WaitFor([&] { return recorder.m_nRecordState.load() == kRecordIdle; }, 5s)) recorder.EndRecording();
    stop();
    recorder.WaitFinished(120s);
    const std::vector<CRecorder::Result> finished = recorder.Finished();
    CloseDocumentWithoutView(live);
    if (finished.empty() || finished.back().discarded) return CliFail("no frame was recorded");
    const CRecorder::Result& r = finished.back();
    if (!r.ok) return CliFail(r.error);
    std::printf("frames %lld\nwidth %d\nheight %d\nsaved %s\n", static_cast<long long>(r.frames), r.width, r.height,
                qPrintable(r.path));
    return 0;
}
