// The stage sub-command: steers the stage under a simulated camera and reports where it truly
// is, so a script can visit places of the slide (or walk a path) before it snaps.

#include <QFile>
#include <QString>

#include <cmath>
#include <cstdio>
#include <optional>

#include "app/cli.h"
#include "camera/camera_manager.h"
#include "camera/stage_control.h"

namespace {

constexpr const char* kSynopsis =
    "stage --device N [--still] [--to X,Y] [--by DX,DY] [--pixels DX,DY] [--path FILE] [--speed UM_PER_S]";

int NoSink(int, uint8_t*, const FCBitmapInfoHeader*, void*) { return 1; }

std::optional<StagePoint> ParsePair(const std::string& text) {
    const QStringList parts = QString::fromStdString(text).split(u',');
    if (parts.size() != 2) return std::nullopt;
    bool okX = false, okY = false;
    const StagePoint p{parts[0].trimmed().toDouble(&okX), parts[1].trimmed().toDouble(&okY)};
    if (!okX || !okY || !std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
    return p;
}

struct Step {
    enum Kind { To, By, Pixels, Path } kind;
    StagePoint value;
    std::vector<StagePoint> path;
};

void PrintPosition(const StagePosition& p) {
    std::printf("position %.3f %.3f um %.2f %.2f px\n", p.at.x, p.at.y, p.PixelX(), p.PixelY());
}

}  // namespace

int CliStage(const CliArgs& args) {
    int device = -1;
    bool still = false;
    double speed = 0;
    std::vector<Step> steps;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--still") {
            still = true;
        } else if (a == "--device" || a == "--speed") {
            bool ok = false;
            const double v = hasValue ? QString::fromStdString(args[++i]).toDouble(&ok) : 0;
            if (a == "--device") {
                if (!ok || v < 0 || v != static_cast<int>(v)) return CliFail("--device needs a number of 0 or more");
                device = static_cast<int>(v);
            } else {
                if (!ok || !(v >= 0) || v > 1e6) return CliFail("--speed needs micrometres per second, 0 to 1000000");
                speed = v;
            }
        } else if (a == "--to" || a == "--by" || a == "--pixels") {
            const std::optional<StagePoint> p = hasValue ? ParsePair(args[++i]) : std::nullopt;
            if (!p) return CliFail(a + " needs two numbers X,Y");
            steps.push_back({a == "--to" ? Step::To : a == "--by" ? Step::By : Step::Pixels, *p, {}});
        } else if (a == "--path") {
            if (!hasValue) return CliUsage(kSynopsis);
            const std::string& file = args[++i];
            QFile f(QString::fromStdString(file));
            if (!f.open(QIODevice::ReadOnly)) return CliFail("cannot read " + CliQuoted(file));
            QString error;
            // A path file is text: a few megabytes hold far more points than the limit.
            const std::optional<std::vector<StagePoint>> path = ParseStagePath(f.read(64 << 20), &error);
            if (!path) return CliFail(file + ": " + error.toStdString());
            steps.push_back({Step::Path, {}, *path});
        } else {
            return CliUsage(kSynopsis);
        }
    }
    if (device < 0) return CliUsage(kSynopsis);

    CCameraManager& cm = theCameraManager();
    struct Session {
        Session() { theCameraManager().Startup(); }
        ~Session() {
            theCameraManager().CloseCamera();
            theCameraManager().Shutdown();
        }
    } session;
    int count = 0;
    cm.EnumerateDevices(&count);
    if (device >= count)
        return CliFail(count == 0 ? std::string("no camera is attached")
                                  : "no camera " + std::to_string(device) + " (there are " + std::to_string(count) + ")");
    cm.SelectDevice(device);
    if (cm.OpenCamera(nullptr, &NoSink, nullptr) != 0) return CliFail("cannot open camera " + std::to_string(device));
    const std::unique_ptr<IStageControl> stage = OpenCameraStage(cm);
    if (!stage) return CliFail("camera " + std::to_string(device) + " has no stage that can be steered");
    if (still && !stage->SetDrift(false)) return CliFail("the stage cannot be held still");

    std::optional<StagePosition> at = stage->Position();
    if (!at) return CliFail("the stage does not answer");
    std::printf("microns-per-pixel %.6f %.6f\n", at->micronsPerPixelX, at->micronsPerPixelY);
    PrintPosition(*at);
    for (const Step& s : steps) {
        bool ok = true;
        switch (s.kind) {
            case Step::To: ok = FollowStagePath(*stage, {s.value}, speed); break;
            case Step::By: ok = FollowStagePath(*stage, {{at->at.x + s.value.x, at->at.y + s.value.y}}, speed); break;
            case Step::Pixels: ok = stage->MoveByPixels(s.value.x, s.value.y); break;
            case Step::Path:
                ok = FollowStagePath(*stage, s.path, speed, [](size_t, const StagePosition& p) { PrintPosition(p); });
                break;
        }
        if (!ok) return CliFail("the stage refused the move");
        at = stage->Position();
        if (!at) return CliFail("the stage does not answer");
        if (s.kind != Step::Path) PrintPosition(*at);
    }
    return 0;
}
