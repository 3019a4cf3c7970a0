// EDF of 3 focus positions of 1280 x 1024 of the simulated thick section: the whole run as the
// command does it (temporary BMP files written from the open pictures, the size check, enfuse,
// the temporaries deleted) beside enfuse alone on the same files already written. enfuse's own
// time swings with the machine's load by more than the overhead: compare the two interleaved
// (scripts/bench.sh edf_bench --benchmark_enable_random_interleaving=true).

#include <benchmark/benchmark.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "advanced/edf/enfuse_runner.h"
#include "advanced/jobs/file_jobs.h"
#include "advanced/sim_fields.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"

namespace {

class CloseWaiter : public IJobProgress {
public:
    void Post(int) override {}
    void Close() override {
        std::lock_guard<std::mutex> lock(m);
        closed = true;
        cv.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return closed; });
    }
    std::mutex m;
    std::condition_variable cv;
    bool closed = false;
};

struct Series {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<CScopeDoc>> docs;
    QStringList files;  // the same pictures as BMP files, for enfuse alone
};

Series& FocusSeries() {
    static Series s = [] {
        Series out;
        InitAppFolders(out.dir.path(), out.dir.path());
        QDir().mkpath(g_strImageFolder);
        SimFields fields(1280, 1024);
        CSimSensor& sensor = fields.Sensor();
        const SpecimenRect t = CVirtualSpecimen::ThickSectionRegion();
        sensor.Stage().SetPosition((t.left + t.right) / 2, (t.top + t.bottom) / 2, 0);
        int k = 0;
        for (double z : {-3.0, 0.0, 3.0}) {
            sensor.Stage().SetFocus(z, 0);
            auto doc = std::make_unique<CScopeDoc>();
            sensor.Render(0, &doc->m_image, 24);
            doc->m_nImageState = 1;
            doc->SetTitle(QStringLiteral("z%1").arg(k));
            const QString file = out.dir.path() + QStringLiteral("/in%1.bmp").arg(k++);
            doc->m_image.SaveToFile(file.toStdString());
            out.files << file;
            out.docs.push_back(std::move(doc));
        }
        return out;
    }();
    return s;
}

void BM_EdfRun(benchmark::State& state) {
    Series& s = FocusSeries();
    for (auto _ : state) {
        CImageListModel list;
        std::vector<CScopeDoc*> docs;
        for (auto& d : s.docs) docs.push_back(d.get());
        list.Open(docs);
        list.AddAll();
        list.AcceptTemporaries(g_strImageFolder, nullptr);
        CloseWaiter waiter;
        CFileJob job(FileJobKind::Edf, list, waiter);
        job.SetResultPath(s.dir.path() + QStringLiteral("/run.jpg"));
        job.Start();
        waiter.Wait();
        job.Finish();
        if (!job.Succeeded()) state.SkipWithError("the EDF run failed");
    }
}

void BM_EnfuseAlone(benchmark::State& state) {
    Series& s = FocusSeries();
    const QString program = CEnfuseRunner().Program();
    const QStringList args =
        CEnfuseRunner::Arguments(s.dir.path() + QStringLiteral("/bare.jpg"), s.files);
    for (auto _ : state) {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(-1);
        if (p.exitCode() != 0) state.SkipWithError("enfuse failed");
    }
}

}  // namespace

BENCHMARK(BM_EdfRun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EnfuseAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
