// The simulated cameras' cost per frame on the frame thread, at every resolution of every model,
// beside a plain copy of the same frame bytes: maker models render finished 32-bit frames,
// MC-A .. MC-C raw mosaics that the ISP step turns into 24-bit frames, MC-D finished 24-bit
// frames. Each frame also pays the automatic-exposure measurement. Budget on one core: 10 ms
// for 1280 x 1024, 60 ms for 3488 x 2616.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "camera/sim/sim_camera.h"

namespace {

enum class Path { Finished32, RawIsp24, Finished24 };

struct Case {
    const char* model;
    int sensorWidth, sensorHeight;
    double unitsPerPixel;
    int width, height;
    FCRect roi;
    Path path;
};

// Live sizes as the library and the modules offer them (the maker 5 MP model's last entry is
// its region of interest, native pixels from the sensor's centre; the modules show the largest
// centred part of the sensor with the frame's aspect).
const Case kCases[] = {
    {"NS-5MP", 2592, 1944, 0.5, 2592, 1944, {}, Path::Finished32},
    {"NS-5MP", 2592, 1944, 0.5, 1296, 972, {}, Path::Finished32},
    {"NS-5MP", 2592, 1944, 0.5, 640, 480, {}, Path::Finished32},
    {"NS-5MP", 2592, 1944, 0.5, 800, 600, {896, 672, 1696, 1272}, Path::Finished32},
    {"NS-1.3MP", 1280, 1024, 1.0, 1280, 1024, {}, Path::Finished32},
    {"MC-A", 1280, 1024, 1.0, 1280, 1024, {}, Path::RawIsp24},
    {"MC-A", 1280, 1024, 1.0, 640, 480, {}, Path::RawIsp24},
    {"MC-A", 1280, 1024, 1.0, 320, 240, {}, Path::RawIsp24},
    {"MC-B", 2048, 1536, 0.75, 2048, 1536, {}, Path::RawIsp24},
    {"MC-B", 2048, 1536, 0.75, 1024, 768, {}, Path::RawIsp24},
    {"MC-B", 2048, 1536, 0.75, 640, 480, {}, Path::RawIsp24},
    {"MC-C", 2592, 1944, 0.6, 2592, 1944, {}, Path::RawIsp24},
    {"MC-C", 2592, 1944, 0.6, 1280, 960, {}, Path::RawIsp24},
    {"MC-C", 2592, 1944, 0.6, 1024, 768, {}, Path::RawIsp24},
    {"MC-C", 2592, 1944, 0.6, 640, 480, {}, Path::RawIsp24},
    {"MC-D", 3488, 2616, 0.45, 3488, 2616, {}, Path::Finished24},
    {"MC-D", 3488, 2616, 0.45, 1600, 1200, {}, Path::Finished24},
    {"MC-D", 3488, 2616, 0.45, 1280, 960, {}, Path::Finished24},
    {"MC-D", 3488, 2616, 0.45, 800, 600, {}, Path::Finished24},
    {"MC-D", 3488, 2616, 0.45, 640, 480, {}, Path::Finished24},
};

int BytesPerPixel(Path p) {
    return p == Path::Finished32 ? 4 : 3;
}

std::string Label(const Case& c) {
    return std::string(c.model) + " " + std::to_string(c.width) + "x" + std::to_string(c.height) +
           (c.roi.Width() ? " roi" : "");
}

void RunFrame(benchmark::State& state, const Case& c) {
    CSimSensor sensor(CSimCamera::SharedSpecimen());
    SimSensorSettings s;
    s.sensorWidth = c.sensorWidth;
    s.sensorHeight = c.sensorHeight;
    s.unitsPerPixel = c.unitsPerPixel;
    s.width = c.width;
    s.height = c.height;
    s.roi = c.path == Path::Finished32
                ? c.roi
                : CSimCamera::CentredRoi(c.sensorWidth, c.sensorHeight, c.width, c.height);
    if (!sensor.SetSettings(s)) {
        state.SkipWithError("invalid settings");
        return;
    }
    const SimStagePose home = CSimCamera::HomePosition(c.model, 0);
    sensor.Stage().SetPosition(home.x, home.y, 0);
    FCObjImage frame;
    SimRawFrame raw;
    double t = 0;
    sensor.Render(t, &frame);  // warm the tile cache, as a running camera has
    double level = 0;
    for (auto _ : state) {
        t += 1.0 / 30;
        switch (c.path) {
            case Path::Finished32:
            case Path::Finished24:
                sensor.Render(t, &frame, c.path == Path::Finished32 ? 32 : 24);
                level += CSimCamera::MeanLevel(frame);
                break;
            case Path::RawIsp24:
                sensor.RenderRaw(t, &raw);
                level += CSimCamera::MeanLevel(raw, s);
                sensor.ProcessRaw(raw, &frame, 24);
                break;
        }
        benchmark::DoNotOptimize(frame.GetMemStart());
        benchmark::DoNotOptimize(level);
    }
    state.SetLabel(Label(c));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(c.width) * c.height *
                            BytesPerPixel(c.path));
}

void RunMemcpy(benchmark::State& state, const Case& c) {
    std::vector<uint8_t> a(static_cast<size_t>(c.width) * c.height * BytesPerPixel(c.path), 7);
    std::vector<uint8_t> b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(Label(c));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(a.size()));
}

const bool kRegistered = [] {
    for (const Case& c : kCases) {
        const std::string name = std::string(c.model) + "/" + std::to_string(c.width) + "x" +
                                 std::to_string(c.height) + (c.roi.Width() ? "roi" : "");
        benchmark::RegisterBenchmark(("BM_SimCameraFrame/" + name).c_str(), RunFrame, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_MemcpyFrame/" + name).c_str(), RunMemcpy, c)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
