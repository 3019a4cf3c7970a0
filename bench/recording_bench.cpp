// Recording per frame: the recording hook (conversion to YUV 4:2:0 and H.264 encoding into the
// fragmented MP4 file) at 1280 x 1024, 2048 x 1536 and 3488 x 2616, 24 and 32 bits, beside
// libswscale's conversion alone, beside the ffmpeg command line encoding the same frames with the
// same settings (run as a process, its frames per second from its wall time), and beside a plain
// copy of the frame's bytes. "cpu ms/frame" is the processor time of all threads (ours: the
// benchmark process, whose only work is the recording; ffmpeg: its own report), a figure that
// holds on a busy machine where the wall time does not.
// Goals: at least 0.9 x the ffmpeg command line's frames per second; 32 bits at most 1.5 x the
// cost of 24 bits.
//
// The frames are those of a simulated camera panning over the specimen (eight distinct frames,
// repeated), 25 frames per second of timestamps for both sides.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "camera/recording/recorder.h"
#include "camera/sim/sim_sensor.h"

namespace {

const int kSizes[][2] = {{1280, 1024}, {2048, 1536}, {3488, 2616}};
constexpr int kDistinct = 8;
constexpr int64_t kFrameUs = 40000;

// Frames per run, so that a run lasts long enough beside the ffmpeg process's start.
int FramesPerRun(int w) { return w <= 1280 ? 100 : w <= 2048 ? 50 : 20; }

struct Frames {
    int width = 0, height = 0, bits = 0;
    std::vector<std::vector<uint8_t>> dib;  // bottom row first, as cameras deliver them
};

// The frames of one size and depth (the last set asked for is kept).
const Frames& FramesOf(int w, int h, int bits) {
    static Frames frames;
    if (frames.width == w && frames.height == h && frames.bits == bits) return frames;
    frames = Frames{w, h, bits, {}};
    static auto specimen = std::make_shared<CVirtualSpecimen>(42, 1024);
    CSimSensor sensor(specimen);
    SimSensorSettings s;
    s.sensorWidth = s.width = w;
    s.sensorHeight = s.height = h;
    sensor.SetSettings(s);
    FCObjImage picture;
    for (int i = 0; i < kDistinct; ++i) {
        sensor.Stage().MoveBy(6, 2);
        sensor.Render(i / 25.0, &picture, bits);
        frames.dib.emplace_back(picture.GetMemStart(), picture.GetMemStart() + picture.PixelBytes());
    }
    return frames;
}

std::string Label(int w, int h, int bits) {
    return std::to_string(w) + "x" + std::to_string(h) + " " + std::to_string(bits) + " bit";
}

// User and system time of the whole process (every thread, the encoder's included), seconds.
double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Processor time per frame: unlike the wall time, it does not grow with other work on the
// machine.
void CpuPerFrame(benchmark::State& state, double seconds, int framesPerIteration) {
    const double frames = static_cast<double>(framesPerIteration) * static_cast<double>(state.iterations());
    if (frames > 0) state.counters["cpu ms/frame"] = 1000.0 * seconds / frames;
}

void Rates(benchmark::State& state, int frames) {
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RecordHook(benchmark::State& state, int size, int bits) {
    const int w = kSizes[size][0], h = kSizes[size][1];
    const Frames& f = FramesOf(w, h, bits);
    const int n = FramesPerRun(w);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mp4"));
    const double cpuBefore = ProcessCpuSeconds();
    for (auto _ : state) {
        // One recording: the file chosen, n frames, the file finished (drain and trailer).
        CRecorder recorder;
        auto clock = std::make_shared<int64_t>(0);
        recorder.SetClock([clock] { return *clock; });
        recorder.RequestFile(path);
        recorder.m_nRecordState = kRecording;
        for (int i = 0; i < n; ++i) {
            recorder.RecordFrame(f.dib[i % kDistinct].data(), w, h, bits);
            *clock += kFrameUs;
        }
        recorder.EndRecording();
        recorder.WaitFinished(std::chrono::minutes(5));
        const auto finished = recorder.Finished();
        if (finished.empty() || !finished.back().ok || finished.back().frames != n) {
            state.SkipWithError("the recording did not hold every frame");
            return;
        }
    }
    CpuPerFrame(state, ProcessCpuSeconds() - cpuBefore, n);
    Rates(state, n);
    state.SetLabel(Label(w, h, bits) + ", ours");
}

// Our conversion alone (32-bit frames packed to 24 bits first), into the encoder's frame layout.
void BM_ConvertFrame(benchmark::State& state, int size, int bits) {
    const int w = kSizes[size][0], h = kSizes[size][1];
    const Frames& f = FramesOf(w, h, bits);
    AVFrame* yuv = av_frame_alloc();
    yuv->format = AV_PIX_FMT_YUV420P;
    yuv->width = w;
    yuv->height = h;
    av_frame_get_buffer(yuv, 0);
    CFrameConverter converter;
    int i = 0;
    for (auto _ : state) {
        converter.ConvertFrame(f.dib[i++ % kDistinct].data(), w, h, bits, yuv);
        benchmark::DoNotOptimize(yuv->data[0]);
    }
    av_frame_free(&yuv);
    Rates(state, 1);
    state.SetLabel(Label(w, h, bits) + ", our conversion");
}

// libswscale straight from the frame's own format.
void BM_SwscaleAlone(benchmark::State& state, int size, int bits) {
    const int w = kSizes[size][0], h = kSizes[size][1];
    const Frames& f = FramesOf(w, h, bits);
    const AVPixelFormat format = bits == 24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
    SwsContext* sws =
        sws_getContext(w, h, format, w, h, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    AVFrame* yuv = av_frame_alloc();
    yuv->format = AV_PIX_FMT_YUV420P;
    yuv->width = w;
    yuv->height = h;
    av_frame_get_buffer(yuv, 0);
    const int stride = (w * bits / 8 + 3) & ~3;
    int i = 0;
    for (auto _ : state) {
        const uint8_t* src[4] = {f.dib[i++ % kDistinct].data() + static_cast<size_t>(h - 1) * stride, nullptr,
                                 nullptr, nullptr};
        const int strides[4] = {-stride, 0, 0, 0};
        sws_scale(sws, src, strides, 0, h, yuv->data, yuv->linesize);
        benchmark::DoNotOptimize(yuv->data[0]);
    }
    av_frame_free(&yuv);
    sws_freeContext(sws);
    Rates(state, 1);
    state.SetLabel(Label(w, h, bits) + ", libswscale");
}

// The ffmpeg command line with the recorder's settings, the same frames on its standard input
// (bottom-up rows, hence the vertical flip), 25 frames per second. frames/s counts the process's
// whole life; "own clock" is ffmpeg's own timing of its work (-benchmark), without its start.
void BM_FfmpegCommandLine(benchmark::State& state, int size, int bits) {
    const int w = kSizes[size][0], h = kSizes[size][1];
    const Frames& f = FramesOf(w, h, bits);
    const int n = FramesPerRun(w);
    QTemporaryDir dir;
    const std::string out = dir.filePath(QStringLiteral("ffmpeg.mp4")).toStdString();
    const std::string report = dir.filePath(QStringLiteral("ffmpeg.txt")).toStdString();
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel info -benchmark -f rawvideo -pix_fmt " +
        std::string(bits == 24 ? "bgr24" : "bgra") + " -video_size " + std::to_string(w) + "x" + std::to_string(h) +
        " -framerate 25 -i pipe:0 -vf vflip -sws_flags bilinear -pix_fmt yuv420p -c:v libx264 -preset ultrafast"
        " -profile:v baseline -b:v 400k -g 250 -me_range 16 -qdiff 4 -qcomp 0.6 -qmin 10 -qmax 50 -threads 4"
        " -movflags empty_moov+default_base_moof -frag_duration 1000000 -y " +
        out + " > " + report + " 2>&1";
    double ownSeconds = 0, ownCpu = 0;
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "w");
        if (!pipe) {
            state.SkipWithError("ffmpeg cannot be started");
            return;
        }
        for (int i = 0; i < n; ++i) std::fwrite(f.dib[i % kDistinct].data(), 1, f.dib[i % kDistinct].size(), pipe);
        if (pclose(pipe) != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        QFile text(QString::fromStdString(report));
        text.open(QIODevice::ReadOnly);
        const QByteArray all = text.readAll();
        const auto seconds = [&](const char* key) {
            const qsizetype at = all.lastIndexOf(key);
            return at < 0 ? 0.0 : all.mid(at + static_cast<qsizetype>(std::strlen(key))).split('s').value(0).toDouble();
        };
        ownSeconds += seconds("rtime=");
        ownCpu += seconds("utime=") + seconds("stime=");
    }
    CpuPerFrame(state, ownCpu, n);
    Rates(state, n);
    if (ownSeconds > 0)
        state.counters["own clock frames/s"] = static_cast<double>(n) * static_cast<double>(state.iterations()) / ownSeconds;
    state.SetLabel(Label(w, h, bits) + ", ffmpeg command line");
}

void BM_PlainCopy(benchmark::State& state, int size, int bits) {
    const int w = kSizes[size][0], h = kSizes[size][1];
    const Frames& f = FramesOf(w, h, bits);
    std::vector<uint8_t> to(f.dib[0].size());
    int i = 0;
    for (auto _ : state) {
        std::memcpy(to.data(), f.dib[i++ % kDistinct].data(), to.size());
        benchmark::DoNotOptimize(to.data());
    }
    Rates(state, 1);
    state.SetLabel(Label(w, h, bits) + ", memcpy");
}

// Each size and depth with its rows together, so one set of frames serves them.
struct Registration {
    Registration() {
        for (int size = 0; size < 3; ++size)
            for (int bits : {24, 32}) {
                const std::string suffix = "/" + std::to_string(kSizes[size][0]) + "x" +
                                           std::to_string(kSizes[size][1]) + "/" + std::to_string(bits);
                const auto add = [&](const char* name, void (*fn)(benchmark::State&, int, int), double minTime) {
                    auto* b = benchmark::RegisterBenchmark((std::string(name) + suffix).c_str(), fn, size, bits);
                    b->Unit(benchmark::kMillisecond)->UseRealTime();
                    if (minTime > 0) b->MinTime(minTime);
                };
                add("BM_RecordHook", BM_RecordHook, 2.0);
                add("BM_FfmpegCommandLine", BM_FfmpegCommandLine, 2.0);
                add("BM_ConvertFrame", BM_ConvertFrame, 0);
                add("BM_SwscaleAlone", BM_SwscaleAlone, 0);
                add("BM_PlainCopy", BM_PlainCopy, 0);
            }
    }
} g_registration;

}  // namespace
