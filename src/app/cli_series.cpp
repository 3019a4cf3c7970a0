// The series maker: pictures of a simulated camera for stitching, HDR and EDF, with their truth.
//
//   series --device N --grid CxR --overlap F [--jitter PX] OUTDIR   overlapping fields
//   series --device N --exposures US,US,...  OUTDIR                  an exposure series
//   series --device N --focus Z0:Z1:STEP     OUTDIR                  a focus series
//
// Pictures are OUTDIR/NNNN.png; OUTDIR/truth.txt has one line per picture with the true offset
// of its field from the first one's (pixels of the pictures), and its exposure or focus. The
// truth is where the simulation really took each picture, not where it was asked to go. A focus
// series is taken over the slide's thick section, where the specimen has depth.

#include <QDir>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

#include "app/cli.h"
#include "app/cli_camera_session.h"
#include "camera/camera_manager.h"
#include "camera/sim/virtual_slide.h"
#include "camera/sim_controls.h"
#include "document/scope_doc.h"

namespace {

constexpr const char* kSynopsis =
    "series --device N (--grid CxR --overlap F [--jitter PX] | --exposures US,US,... | --focus "
    "Z0:Z1:STEP) OUTDIR";
constexpr int kMaxPictures = 400;

struct SeriesArgs {
    int device = -1;
    int cols = 0, rows = 0;
    std::optional<double> overlap;
    double jitter = 0;
    bool jitterGiven = false;
    std::vector<double> exposures;
    std::vector<double> focus;
    std::string outdir;
    int modes = 0;
    std::string error;
};

std::optional<double> Number(const QString& s) {
    bool ok = false;
    const double v = s.trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

SeriesArgs Parse(const CliArgs& args) {
    SeriesArgs a;
    auto fail = [&](const std::string& why) {
        a.error = why;
        return a;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& opt = args[i];
        const bool hasValue = i + 1 < args.size();
        const QString value = hasValue ? QString::fromStdString(args[i + 1]) : QString();
        if (opt == "--device") {
            const auto v = hasValue ? Number(value) : std::nullopt;
            if (!v || *v < 0 || *v != std::floor(*v))
                return fail("--device needs a number of 0 or more");
            a.device = static_cast<int>(*v);
            ++i;
        } else if (opt == "--grid") {
            const QStringList parts = value.split(QLatin1Char('x'));
            bool okC = false, okR = false;
            const int c = parts.size() == 2 ? parts[0].toInt(&okC) : 0,
                      r = parts.size() == 2 ? parts[1].toInt(&okR) : 0;
            if (!okC || !okR || c < 1 || r < 1 || c * r < 2 || c * r > kMaxPictures)
                return fail("--grid needs COLUMNSxROWS, at least 2 and at most " +
                            std::to_string(kMaxPictures) + " fields");
            a.cols = c, a.rows = r;
            ++a.modes;
            ++i;
        } else if (opt == "--overlap") {
            const auto v = hasValue ? Number(value) : std::nullopt;
            if (!v || !(*v > 0) || !(*v < 1))
                return fail("--overlap needs a fraction above 0 and below 1");
            a.overlap = *v;
            ++i;
        } else if (opt == "--jitter") {
            const auto v = hasValue ? Number(value) : std::nullopt;
            if (!v || *v < 0 || *v > 1000) return fail("--jitter needs pixels from 0 to 1000");
            a.jitter = *v;
            a.jitterGiven = true;
            ++i;
        } else if (opt == "--exposures") {
            for (const QString& part : value.split(QLatin1Char(','))) {
                const auto v = Number(part);
                if (!v || !(*v > 0))
                    return fail("--exposures needs microseconds above 0, separated by commas");
                a.exposures.push_back(*v);
            }
            if (!hasValue || a.exposures.size() < 2 || a.exposures.size() > kMaxPictures)
                return fail("--exposures needs at least two exposures");
            ++a.modes;
            ++i;
        } else if (opt == "--focus") {
            const QStringList parts = value.split(QLatin1Char(':'));
            const auto z0 = parts.size() == 3 ? Number(parts[0]) : std::nullopt;
            const auto z1 = parts.size() == 3 ? Number(parts[1]) : std::nullopt;
            const auto step = parts.size() == 3 ? Number(parts[2]) : std::nullopt;
            if (!z0 || !z1 || !step || !(*step > 0) || *z1 < *z0 || std::fabs(*z0) > 1000 ||
                std::fabs(*z1) > 1000)
                return fail("--focus needs Z0:Z1:STEP in micrometres, Z0 <= Z1 and STEP above 0");
            const int n = static_cast<int>(std::floor((*z1 - *z0) / *step + 1e-9)) + 1;
            if (n < 2 || n > kMaxPictures)
                return fail("--focus gives " + std::to_string(n) + " pictures; 2 to " +
                            std::to_string(kMaxPictures) + " are possible");
            for (int k = 0; k < n; ++k) a.focus.push_back(*z0 + k * *step);
            ++a.modes;
            ++i;
        } else if (opt.size() > 1 && opt[0] == '-') {
            return fail("unknown option " + CliQuoted(opt));
        } else if (a.outdir.empty()) {
            a.outdir = opt;
        } else {
            return fail("more than one OUTDIR given");
        }
    }
    if (a.modes > 1) return fail("give one of --grid, --exposures and --focus");
    if (a.cols && !a.overlap) return fail("--grid needs --overlap");
    if (!a.cols && (a.overlap || a.jitterGiven))
        return fail("--overlap and --jitter go with --grid");
    return a;
}

struct Shot {
    double x, y;          // stage: field centre, specimen units
    double z;             // focus, micrometres
    double exposure = 0;  // microseconds; 0 keeps the camera's
};

}  // namespace

int CliSeries(const CliArgs& args) {
    const SeriesArgs a = Parse(args);
    if (!a.error.empty()) return CliFail(a.error);
    if (a.device < 0 || a.modes != 1 || a.outdir.empty()) return CliUsage(kSynopsis);
    const QString outdir = QString::fromStdString(a.outdir);
    if (!QDir().mkpath(outdir)) return CliFail("cannot make the folder " + CliQuoted(a.outdir));

    CliCameraSession session;
    FrameCounter counter;
    if (const int status = CliOpenDevice(session, a.device, &counter)) return status;
    CCameraManager& cm = theCameraManager();
    CScopeDoc* live = NewDocumentWithoutView();
    if (!live) return CliFail("cannot start the live picture");
    struct Release {
        CScopeDoc* live;
        ~Release() {
            theCameraManager().Stop();
            theCameraManager().CloseCamera();
            CloseDocumentWithoutView(live);
        }
    } release{live};
    if (!counter.WaitForFrames(1, std::chrono::seconds(10)))
        return CliFail("the camera delivers no frames");

    // Takes a still once the camera shows the new state (two fresh frames) and reads back where
    // the simulation really took it.
    auto take = [&](FCObjImage* picture, SimPicturePose* pose) -> std::string {
        const int64_t seen = counter.Frames();
        if (!counter.WaitForFrames(seen + 2, std::chrono::seconds(10)))
            return "the camera delivers no frames";
        if (!live->CaptureFrame(*picture)) return "the camera did not deliver a still";
        if (!sim_controls::LastPicturePose(pose))
            return "camera " + std::to_string(a.device) +
                   " is not simulated: it cannot report where it looks";
        return {};
    };
    FCObjImage first;
    SimPicturePose home;
    if (std::string why = take(&first, &home); !why.empty()) return CliFail(why);
    if (!(home.unitsPerPixelX > 0) || !(home.unitsPerPixelY > 0))
        return CliFail("the camera reports no picture scale");

    std::vector<Shot> shots;
    std::string header;
    if (a.cols) {
        // Field 0 where the camera looks; the others a grid step further each, with jitter.
        const double stepX = first.Width() * (1 - *a.overlap) * home.unitsPerPixelX;
        const double stepY = first.Height() * (1 - *a.overlap) * home.unitsPerPixelY;
        std::mt19937 rng(20240611);
        std::uniform_real_distribution<double> j(-a.jitter, a.jitter);
        for (int r = 0; r < a.rows; ++r)
            for (int c = 0; c < a.cols; ++c) {
                const double jx = a.jitter > 0 ? j(rng) : 0, jy = a.jitter > 0 ? j(rng) : 0;
                shots.push_back({home.x + c * stepX + jx * home.unitsPerPixelX,
                                 home.y + r * stepY + jy * home.unitsPerPixelY, home.z});
            }
        char buf[160];
        std::snprintf(buf, sizeof buf, "grid %dx%d overlap %.3f jitter %.2f", a.cols, a.rows,
                      *a.overlap, a.jitter);
        header = buf;
    } else if (!a.exposures.empty()) {
        if (cm.SetAeState(0) != 0)
            return CliFail("camera " + std::to_string(a.device) +
                           " cannot switch automatic exposure off");
        for (double us : a.exposures) shots.push_back({home.x, home.y, home.z, us});
        header = "exposure series";
    } else {
        const SpecimenRect t = CVirtualSpecimen::ThickSectionRegion();
        for (double z : a.focus)
            shots.push_back({(t.left + t.right) / 2, (t.top + t.bottom) / 2, z});
        header = "focus series over the thick section";
    }

    const QString truthPath = QDir(outdir).filePath(QStringLiteral("truth.txt"));
    FILE* truth = std::fopen(truthPath.toLocal8Bit().constData(), "w");
    if (!truth) return CliFail("cannot write " + CliQuoted(truthPath.toStdString()));
    std::fprintf(truth, "# NorvaneScope series, camera %d: %s\n", a.device, header.c_str());
    std::fprintf(truth,
                 "# x, y: where the field lies against 0000.png, in pixels of the pictures\n");
    SimPicturePose origin;
    for (size_t k = 0; k < shots.size(); ++k) {
        const Shot& s = shots[k];
        // Every picture is steered to: the stage wanders slowly by itself.
        if (!sim_controls::SetStage(s.x, s.y) || !sim_controls::SetFocus(s.z)) {
            std::fclose(truth);
            return CliFail("camera " + std::to_string(a.device) +
                           " has no simulated stage to move");
        }
        if (s.exposure > 0 &&
            cm.SetExposureTime(static_cast<int64_t>(std::llround(s.exposure))) != 0) {
            std::fclose(truth);
            return CliFail("exposure " + std::to_string(static_cast<long long>(s.exposure)) +
                           " us is out of the camera's range");
        }
        FCObjImage picture;
        SimPicturePose pose;
        if (std::string why = take(&picture, &pose); !why.empty()) {
            std::fclose(truth);
            return CliFail(why);
        }
        if (k == 0) origin = pose;
        const QString name =
            QStringLiteral("%1.png").arg(static_cast<int>(k), 4, 10, QLatin1Char('0'));
        const QString path = QDir(outdir).filePath(name);
        if (!picture.SaveToFile(path.toStdString())) {
            std::fclose(truth);
            return CliFail("cannot write " + CliQuoted(path.toStdString()));
        }
        std::fprintf(truth, "%s x=%.3f y=%.3f", name.toUtf8().constData(),
                     (pose.x - origin.x) / pose.unitsPerPixelX,
                     (pose.y - origin.y) / pose.unitsPerPixelY);
        if (s.exposure > 0) {
            int64_t us = 0;
            cm.GetExposureTime(&us);
            std::fprintf(truth, " exposure=%lld", static_cast<long long>(us));
        }
        if (!a.focus.empty()) std::fprintf(truth, " z=%.3f", pose.z);
        std::fprintf(truth, "\n");
        std::printf("saved %s\n", path.toUtf8().constData());
        std::fflush(stdout);
    }
    if (std::fclose(truth) != 0)
        return CliFail("cannot write " + CliQuoted(truthPath.toStdString()));
    return 0;
}
