// interval: the Interval Capture dialog's series from a camera, each picture through the live
// document's interval save (named and placed by section "Save" of Setting.ini).

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "app/cli.h"
#include "app/cli_camera_session.h"
#include "camera/camera_manager.h"
#include "camera/interval/interval_series.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/ini_location.h"
#include "settings/profile_file.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kSynopsis =
    "interval --device N --images K --interval S [--wait W] [--setting GROUP.VALUE=TEXT]...";

struct IntervalArgs {
    int device = -1;
    CIntervalSeries::Settings series{0, 0, 0};
    bool haveImages = false, haveInterval = false;
    struct Setting {
        QString section, key, value;
    };
    std::vector<Setting> settings;
};

// The reason, or nothing when the arguments hold; an empty reason asks for the usage line.
std::optional<std::string> Parse(const CliArgs& args, IntervalArgs& a) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) return name.size() > 1 && name[0] == '-' ? name + " needs a value" : std::string();
        const std::string& value = args[++i];
        const auto number = [&](int lo, int hi, int& into) -> std::optional<std::string> {
            const auto v = CliParseInt(value);
            if (!v || *v < lo || *v > hi)
                return name + " needs a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
            into = *v;
            return std::nullopt;
        };
        std::optional<std::string> bad;
        if (name == "--device") {
            bad = number(0, CCameraManager::kMaxDevices, a.device);
        } else if (name == "--images") {
            bad = number(1, 15000, a.series.images);
            a.haveImages = true;
        } else if (name == "--interval") {
            bad = number(1, 5400, a.series.interval);
            a.haveInterval = true;
        } else if (name == "--wait") {
            bad = number(0, 100, a.series.wait);
        } else if (name == "--setting") {
            const size_t dot = value.find('.'), eq = value.find('=');
            if (dot == std::string::npos || eq == std::string::npos || dot == 0 || eq < dot + 2)
                return "--setting needs GROUP.VALUE=TEXT, not " + CliQuoted(value);
            a.settings.push_back({QString::fromStdString(value.substr(0, dot)),
                                  QString::fromStdString(value.substr(dot + 1, eq - dot - 1)),
                                  QString::fromStdString(value.substr(eq + 1))});
        } else if (name.size() > 1 && name[0] == '-') {
            return "unknown option " + CliQuoted(name);
        } else {
            return std::string();
        }
        if (bad) return bad;
    }
    if (a.device < 0 || !a.haveImages || !a.haveInterval) return std::string();
    return std::nullopt;
}

// Values of Setting.ini for one run: written before the series and put back after it. The
// picture counter ("Suffix" of section "Save") keeps its advance unless the run set it, so a
// later series does not write over these pictures.
class RunSettings {
public:
    explicit RunSettings(const QString& path) : m_ini(path) {}
    ~RunSettings() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) m_ini.WriteString(it->section, it->key, it->old);
    }
    bool Set(const QString& section, const QString& key, const QString& value) {
        m_saved.push_back({section, key, m_ini.GetString(section, key)});
        return m_ini.WriteString(section, key, value);
    }

private:
    struct Saved {
        QString section, key, old;
    };
    CProfileFile m_ini;
    std::vector<Saved> m_saved;
};

// Counts the frames that reach the sink: a camera hands over stills once it streams.
struct FirstFrames {
    std::mutex mutex;
    std::condition_variable arrived;
    int64_t frames = 0;
    static int Sink(int, uint8_t* frame, const FCBitmapInfoHeader* header, void* user) {
        auto* self = static_cast<FirstFrames*>(user);
        if (!frame || !header) return 1;
        {
            std::lock_guard lock(self->mutex);
            ++self->frames;
        }
        self->arrived.notify_all();
        return 1;
    }
    bool Wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, timeout, [&] { return frames > 0; });
    }
};

}  // namespace

int CliInterval(const CliArgs& args) {
    IntervalArgs a;
    if (const auto reason = Parse(args, a)) return reason->empty() ? CliUsage(kSynopsis) : CliFail(*reason);

    // The settings file as the program finds it (the first start installs the user's copy).
    LoadDefaultSettings();
    InitAppFolders();
    QDir().mkpath(g_strImageFolder);
    const CIniLocation location({QCoreApplication::applicationFilePath()}, g_strDataFolder);
    g_strIniPath = g_strDataFolder + location.m_strIniName;
    RunSettings settings(g_strIniPath);
    for (const auto& s : a.settings)
        if (!settings.Set(s.section, s.key, s.value))
            return CliFail("cannot write " + (s.section + u'.' + s.key).toStdString() + " to " +
                           CliQuoted(g_strIniPath.toStdString()));

    CliCameraSession session;
    FirstFrames first;
    if (const int status = CliOpenDevice(session, a.device, &FirstFrames::Sink, &first)) return status;
    CCameraManager& cm = theCameraManager();
    CScopeDoc* live = NewDocumentWithoutView();
    if (!live) return CliFail("cannot start the live picture");
    int failures = 0;
    if (!first.Wait(10s)) {
        ++failures;
        CliFail("the camera delivers no frames");
    } else {
        CliStillsFollowLive();
        using Clock = std::chrono::steady_clock;
        const auto origin = Clock::now();
        const auto now = [&] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - origin).count();
        };
        const auto sleepUntil = [&](int64_t ms) { std::this_thread::sleep_until(origin + std::chrono::milliseconds(ms)); };
        CIntervalSeries series;
        RunIntervalSeries(series, a.series, now, sleepUntil, [&](int, int64_t at) {
            QString path;
            const double seconds = static_cast<double>(at) / 1000.0;
            if (live->IntervalSave(&path)) {
                std::printf("saved %s at %.2f\n", qPrintable(path), seconds);
                std::fflush(stdout);
            } else {
                // The series goes on.
                ++failures;
                CliFail(QString::asprintf("cannot save %s at %.2f", qPrintable(path), seconds).toStdString());
            }
        });
    }
    cm.Stop();
    cm.CloseCamera();
    CloseDocumentWithoutView(live);
    return failures ? kCliFailure : 0;
}
