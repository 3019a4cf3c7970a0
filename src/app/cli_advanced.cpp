// Advanced sub-commands on picture files: stitch, hdr, edf. Each runs the job the Advanced
// menu's command runs (the same library calls, the same enfuse run), with the result written
// to OUT by its extension instead of a numbered file.

#include <QFileInfo>
#include <QTemporaryDir>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "advanced/jobs/file_jobs.h"
#include "advanced/jobs/image_list.h"
#include "app/cli.h"
#include "image/image_handle.h"
#include "image/obj_image.h"

namespace {

// The progress dialog's part: the run is over at its close request.
class CloseWaiter : public IJobProgress {
public:
    void Post(int) override {}
    void Close() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_cv.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return m_closed; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_closed = false;
};

int RunJob(FileJobKind kind, const char* synopsis, const CliArgs& args) {
    if (args.size() < 3) return CliUsage(synopsis);
    const std::string& out = args[0];
    if (!FCImageHandleFactory::CanWrite(FCImageHandleFactory::QueryImageFileType(out)))
        return CliFail("no handler for the extension of " + CliQuoted(out));
    QStringList inputs;
    for (size_t i = 1; i < args.size(); ++i) {
        FCObjImage probe;
        if (!probe.LoadFromFile(args[i])) return CliFail("cannot read " + CliQuoted(args[i]));
        inputs << QFileInfo(QString::fromStdString(args[i])).absoluteFilePath();
    }
    CImageListModel list;
    list.Open({});
    list.AddFiles(inputs);
    list.AddAll();
    QTemporaryDir scratch;
    if (kind == FileJobKind::Edf) {
        if (!scratch.isValid()) return CliFail("cannot make a temporary folder");
        list.AcceptTemporaries(scratch.path() + u'/', nullptr);
    } else {
        list.AcceptPaths();
    }
    CloseWaiter waiter;
    CFileJob job(kind, list, waiter);
    // enfuse writes its own formats; ours convert its result to OUT's.
    const QString result = kind == FileJobKind::Edf ? scratch.path() + QStringLiteral("/edf.tif")
                                                    : QString::fromStdString(out);
    job.SetResultPath(result);
    if (!job.Start()) return CliFail(job.MessageText().trimmed().toStdString());
    waiter.Wait();
    job.Finish();
    if (!job.Succeeded()) return CliFail(job.MessageText().trimmed().toStdString());
    FCObjImage picture;
    if (!picture.LoadFromFile(result.toStdString()))
        return CliFail("cannot read the result " + CliQuoted(result.toStdString()));
    if (kind == FileJobKind::Edf) {
        picture.ToTrueColor24();
        if (!picture.SaveToFile(out)) return CliFail("cannot write " + CliQuoted(out));
    }
    std::printf("width %d\nheight %d\n", picture.Width(), picture.Height());
    if (kind == FileJobKind::Stitching) {
        const auto tiles = job.TilePositions();
        for (size_t i = 0; i < tiles.size(); ++i)
            std::printf("tile %zu x=%.2f y=%.2f\n", i, tiles[i].first, tiles[i].second);
    }
    std::printf("saved %s\n", out.c_str());
    return 0;
}

}  // namespace

int CliStitch(const CliArgs& args) {
    return RunJob(FileJobKind::Stitching, "stitch OUT IN IN...", args);
}

int CliHdr(const CliArgs& args) {
    return RunJob(FileJobKind::Hdr, "hdr OUT IN IN...", args);
}

int CliEdf(const CliArgs& args) {
    return RunJob(FileJobKind::Edf, "edf OUT IN IN...", args);
}
