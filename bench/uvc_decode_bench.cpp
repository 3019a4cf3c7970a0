// UVC frame decoding into bottom-up B,G,R DIB rows, ours beside OpenCV (cv::imdecode for
// Motion-JPEG, cv::cvtColor for YUYV) and beside a plain copy of the decoded bytes.
//
// Frames: what the emulated UVC camera sends (specimen under the simulated sensor, with noise;
// Motion-JPEG 4:2:2 at quality 85, YUYV BT.601) at 640x480, 1280x720 and 1920x1080.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/videodev2.h>

#include <cstring>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "camera/camera_types.h"
#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/frame_decode.h"

namespace {

const int kSizes[][2] = {{640, 480}, {1280, 720}, {1920, 1080}};

// One frame of the emulated camera in this format and size.
const std::vector<uint8_t>& Frame(uint32_t fourcc, int w, int h) {
    static std::map<std::tuple<uint32_t, int, int>, std::vector<uint8_t>> cache;
    auto key = std::make_tuple(fourcc, w, h);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    FakeDeviceConfig cfg;
    cfg.metadataNode = false;
    cfg.formats = {{fourcc, "bench", {{w, h, {30}}}, {}}};
    CFakeV4l2 fake({cfg});
    const int fd = fake.Open(fake.CapturePath(0).c_str(), O_RDWR | O_NONBLOCK);
    v4l2_requestbuffers req{};
    req.count = 1;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    fake.Ioctl(fd, VIDIOC_REQBUFS, &req);
    v4l2_buffer b{};
    b.type = req.type;
    b.memory = req.memory;
    fake.Ioctl(fd, VIDIOC_QBUF, &b);
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fake.Ioctl(fd, VIDIOC_STREAMON, &type);
    pollfd p{fd, POLLIN, 0};
    fake.Poll(&p, 1, 10000);
    fake.Ioctl(fd, VIDIOC_DQBUF, &b);
    std::vector<uint8_t> data = fake.LastFrame(0, nullptr, nullptr, nullptr);
    fake.Close(fd);
    return cache.emplace(key, std::move(data)).first->second;
}

void Label(benchmark::State& state, int w, int h) {
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
    state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 3);
}

void MjpegOurs(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const std::vector<uint8_t>& jpeg = Frame(V4L2_PIX_FMT_MJPEG, w, h);
    const int64_t stride = DibStride(w, 24);
    std::vector<uint8_t> dib(size_t(stride) * h);
    CMjpegDecoder dec;
    for (auto _ : state) {
        if (!dec.Decode(jpeg.data(), jpeg.size(), w, h, dib.data(), stride))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(dib.data());
    }
    Label(state, w, h);
}

void MjpegOpenCV(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const cv::Mat jpeg(1, int(Frame(V4L2_PIX_FMT_MJPEG, w, h).size()), CV_8UC1,
                       const_cast<uint8_t*>(Frame(V4L2_PIX_FMT_MJPEG, w, h).data()));
    cv::Mat out;
    for (auto _ : state) {
        cv::imdecode(jpeg, cv::IMREAD_COLOR, &out);
        if (out.empty()) state.SkipWithError("imdecode failed");
        benchmark::DoNotOptimize(out.data);
    }
    Label(state, w, h);
}

void YuyvOurs(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const std::vector<uint8_t>& yuyv = Frame(V4L2_PIX_FMT_YUYV, w, h);
    const int64_t stride = DibStride(w, 24);
    std::vector<uint8_t> dib(size_t(stride) * h);
    for (auto _ : state) {
        if (!DecodeYuyv(yuyv.data(), yuyv.size(), int64_t(w) * 2, w, h, dib.data(), stride))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(dib.data());
    }
    Label(state, w, h);
}

void YuyvOpenCV(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const cv::Mat yuyv(h, w, CV_8UC2, const_cast<uint8_t*>(Frame(V4L2_PIX_FMT_YUYV, w, h).data()));
    cv::Mat out(h, w, CV_8UC3);
    for (auto _ : state) {
        cv::cvtColor(yuyv, out, cv::COLOR_YUV2BGR_YUYV);
        benchmark::DoNotOptimize(out.data);
    }
    Label(state, w, h);
}

// The floor: one copy of the decoded frame's bytes.
void CopyOfFrameBytes(benchmark::State& state) {
    const int w = kSizes[state.range(0)][0], h = kSizes[state.range(0)][1];
    const size_t bytes = size_t(DibStride(w, 24)) * h;
    std::vector<uint8_t> src(bytes, 0x55), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    Label(state, w, h);
}

}  // namespace

BENCHMARK(MjpegOurs)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(MjpegOpenCV)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(YuyvOurs)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(YuyvOpenCV)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(CopyOfFrameBytes)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
