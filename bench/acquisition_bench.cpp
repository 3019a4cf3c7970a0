// Acquisition from SANE's "test" backend: ours (the source manager's scan worker, frame assembly
// and CTwain's native transfers, each page turned into the program's picture) beside scanimage
// acquiring the same pages with the same options (a process writing PNM files, as it must), and
// beside a plain copy of the same bytes.
//
// Pages: 80 x 100 mm, colour pattern, 8-bit colour at 300 dpi (945 x 1181); one flatbed page and
// the ten pages of the backend's document feeder. SANE is configured privately (SANE_CONFIG_DIR
// names a scratch folder listing only the test backend).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <fstream>
#include <vector>

#include "camera/acquisition/scripted_source_ui.h"
#include "camera/acquisition/twain_host.h"
#include "image/packed_dib.h"

namespace {

constexpr int kDpi = 300;
constexpr int kWidth = 945, kHeight = 1181;

// The private SANE folder, set before SANE is loaded for the first time in this process.
const QString& SaneFolder() {
    static QTemporaryDir* dir = [] {
        auto* d = new QTemporaryDir;
        std::ofstream(d->filePath(QStringLiteral("dll.conf")).toStdString()) << "test\n";
        std::ofstream(d->filePath(QStringLiteral("test.conf")).toStdString())
            << "number_of_devices 1\nmode Color\ndepth 8\nresolution 300\ntest-picture \"Color "
               "pattern\"\n";
        qputenv("SANE_CONFIG_DIR", d->path().toLocal8Bit());
        // The source manager remembers the source used: not in the real home.
        qputenv("XDG_CONFIG_HOME", d->filePath(QStringLiteral("config")).toLocal8Bit());
        return d;
    }();
    static const QString path = dir->path();
    return path;
}

// The program's side: pictures arrive through the message filter and become FCObjImages.
class CBenchTwain : public CTwainHost {
public:
    void ReceiveImage(TW_HANDLE bitmap, const TW_IMAGEINFO&) override {
        FCObjImage picture;
        if (ImageFromPackedDib(static_cast<const uint8_t*>(TwGlobalLock(bitmap)),
                               TwGlobalSize(bitmap), picture))
            ++pages;
    }
    int pages = 0;
};

// One acquisition as the command-line tool runs it, with the device named: load the manager,
// open the source, acquire, wait until the source closes after its last page.
int AcquireOurs(bool feeder) {
    ScriptedScan scan;
    scan.mode = QStringLiteral("Color");
    scan.resolution = kDpi;
    scan.feeder = feeder;
    CScriptedSourceManagerUi ui("test:0", scan);
    SetSourceManagerUi(&ui);
    CBenchTwain twain;
    int pages = -1;
    if (twain.Start()) {
        // The device by name, as scanimage -d takes it: no listing.
        TW_IDENTITY device{};
        TwCopyString(device.ProductName, "test:0");
        if (twain.OpenDataSource(&device) && twain.Acquire(-1)) {
            twain.WaitUntilSourceClosed();
            pages = twain.pages;
        }
    }
    twain.ReleaseTwain();
    SetSourceManagerUi(nullptr);
    return pages;
}

int AcquireScanimage(bool feeder, const QString& folder) {
    QStringList args = {QStringLiteral("-d"),
                        QStringLiteral("test:0"),
                        QStringLiteral("--mode"),
                        QStringLiteral("Color"),
                        QStringLiteral("--resolution"),
                        QString::number(kDpi),
                        QStringLiteral("--test-picture"),
                        QStringLiteral("Color pattern"),
                        QStringLiteral("--format=pnm")};
    if (feeder) {
        args << QStringLiteral("--source") << QStringLiteral("Automatic Document Feeder")
             << QStringLiteral("--batch=") + folder + QStringLiteral("/p%d.pnm");
    } else {
        args << QStringLiteral("-o") << folder + QStringLiteral("/p.pnm");
    }
    QProcess p;
    p.start(QStringLiteral("scanimage"), args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) return -1;
    return static_cast<int>(QDir(folder).entryList({QStringLiteral("*.pnm")}, QDir::Files).size());
}

void BM_AcquireOurs(benchmark::State& state) {
    SaneFolder();
    const bool feeder = state.range(0) != 0;
    for (auto _ : state) {
        const int pages = AcquireOurs(feeder);
        if (pages != (feeder ? 10 : 1)) {
            state.SkipWithError("the acquisition did not deliver every page");
            return;
        }
    }
    state.counters["pages"] = feeder ? 10 : 1;
    state.SetBytesProcessed(state.iterations() * (feeder ? 10 : 1) * int64_t(kWidth) * kHeight * 3);
}

void BM_AcquireScanimage(benchmark::State& state) {
    SaneFolder();
    const bool feeder = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir out;
        state.ResumeTiming();
        const int pages = AcquireScanimage(feeder, out.path());
        if (pages != (feeder ? 10 : 1)) {
            state.SkipWithError("scanimage did not deliver every page (is sane-utils installed?)");
            return;
        }
    }
    state.counters["pages"] = feeder ? 10 : 1;
    state.SetBytesProcessed(state.iterations() * (feeder ? 10 : 1) * int64_t(kWidth) * kHeight * 3);
}

// The floor: copying the same pixel bytes once.
void BM_AcquireMemcpy(benchmark::State& state) {
    const int pages = state.range(0) != 0 ? 10 : 1;
    const size_t bytes = size_t(kWidth) * kHeight * 3;
    std::vector<uint8_t> from(bytes, 7), to(bytes);
    for (auto _ : state) {
        for (int i = 0; i < pages; ++i) std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(state.iterations() * pages * int64_t(bytes));
}

}  // namespace

// Argument: 0 one flatbed page, 1 the ten feeder pages.
BENCHMARK(BM_AcquireOurs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AcquireScanimage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AcquireMemcpy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
