// The image-list dialogs' rules and the stitching, HDR and EDF runs of the Advanced menu:
// progress, numbered results read back with OpenCV, messages, temporaries.

#include "advanced/jobs/file_jobs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "advanced/fusion/exposure_fusion.h"
#include "advanced/jobs/image_list.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "sim_fields.h"
#include "test_support.h"

namespace {

// The progress dialog's side: the posted percentages and the close request.
class ProgressRecorder : public IJobProgress {
public:
    void Post(int percent) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_posted.push_back(percent);
    }
    void Close() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_closes;
        m_closed.notify_all();
    }
    bool WaitClosed() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_closed.wait_for(lock, std::chrono::seconds(120), [&] { return m_closes > 0; });
    }
    std::vector<int> Posted() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_posted;
    }
    int Closes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closes;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_closed;
    std::vector<int> m_posted;
    int m_closes = 0;
};

FCObjImage ToPicture(const cv::Mat& bgr) {
    FCObjImage p;
    p.Allocate(bgr.cols, bgr.rows, 24);
    for (int y = 0; y < bgr.rows; ++y) std::memcpy(p.GetRow(y), bgr.ptr(y), 3 * bgr.cols);
    return p;
}

class FileJobs : public ::testing::Test {
protected:
    void SetUp() override {
        theSettings = CAppSettings{};
        InitAppFolders(QString::fromStdString(dir.path()),
                       QString::fromStdString(dir.path() + "/my documents"));
        QDir().mkpath(g_strImageFolder);
        theApp().prompt = &prompt;
    }
    void TearDown() override { theApp().prompt = nullptr; }

    // A picture file in the scratch folder.
    QString File(const cv::Mat& bgr, const std::string& name) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(cv::imwrite(path, bgr));
        return QString::fromStdString(path);
    }
    // An open picture without a file of its own (a capture).
    CScopeDoc* Capture(const cv::Mat& bgr, const QString& title) {
        docs.push_back(std::make_unique<CScopeDoc>());
        CScopeDoc* d = docs.back().get();
        d->m_image = ToPicture(bgr);
        d->m_nImageState = 1;
        d->SetTitle(title);
        return d;
    }
    // Runs a job as the command does, waiting for its close request.
    void Run(CFileJob& job) {
        ASSERT_TRUE(job.Start()) << job.MessageText().toStdString();
        ASSERT_TRUE(progress.WaitClosed());
        job.Finish();
    }
    std::vector<QString> ImageFolderFiles() {
        std::vector<QString> out;
        for (const QString& f : QDir(g_strImageFolder).entryList(QDir::Files)) out.push_back(f);
        return out;
    }

    TempDir dir;
    CRecordingPrompt prompt;
    ProgressRecorder progress;
    std::vector<std::unique_ptr<CScopeDoc>> docs;
};

std::vector<QString> Keys(const std::vector<ImageListRow>& rows) {
    std::vector<QString> out;
    for (const ImageListRow& r : rows) out.push_back(r.entry.m_strKey);
    return out;
}

TEST_F(FileJobs, ImageListRows) {
    CImageListModel m;
    CScopeDoc* capture = Capture(cv::Mat(8, 8, CV_8UC3), "Untitled3");
    docs.push_back(std::make_unique<CScopeDoc>());
    CScopeDoc* fromFile = docs.back().get();
    fromFile->m_strPath = "/pics/cells.png";
    fromFile->SetTitle("cells.png");
    docs.push_back(std::make_unique<CScopeDoc>());
    docs.back()->m_bLive = true;
    m.Open({capture, fromFile, docs.back().get()});
    // The live preview is no candidate; a file's document is keyed by its path.
    ASSERT_EQ(m.Left().size(), 2u);
    EXPECT_EQ(m.Left()[0].entry.m_nKind, ImageListEntry::OpenPicture);
    EXPECT_EQ(m.Left()[0].entry.m_strKey, "Untitled3");
    EXPECT_EQ(m.Left()[1].entry.m_nKind, ImageListEntry::File);
    EXPECT_EQ(m.Left()[1].entry.m_strKey, "/pics/cells.png");
    EXPECT_FALSE(m.AddEnabled() || m.DeleteEnabled() || m.CleanEnabled());

    // The same file picked twice, and a file already open, are listed once.
    m.AddFiles({"/pics/a.bmp", "/pics/b.jpg", "/pics/a.bmp", "/pics/cells.png"});
    EXPECT_EQ(Keys(m.Left()),
              (std::vector<QString>{"Untitled3", "/pics/cells.png", "/pics/a.bmp", "/pics/b.jpg"}));
    EXPECT_EQ(m.Left()[2].text, "a.bmp");

    m.LeftSelectionChanged(true);
    EXPECT_TRUE(m.AddEnabled());
    m.AddSelected({2});
    EXPECT_FALSE(m.AddEnabled());  // disables itself
    m.AddSelected({2, 0});         // a row already chosen adds nothing
    EXPECT_EQ(Keys(m.Right()), (std::vector<QString>{"/pics/a.bmp", "Untitled3"}));
    EXPECT_EQ(m.m_nSelected, 2);
    EXPECT_TRUE(m.CleanEnabled());

    // "Add All>>" puts left row i at position i, the rows already chosen staying.
    m.AddAll();
    EXPECT_EQ(Keys(m.Right()),
              (std::vector<QString>{"/pics/a.bmp", "/pics/cells.png", "Untitled3", "/pics/b.jpg"}));

    m.RightSelectionChanged(true);
    EXPECT_TRUE(m.DeleteEnabled());
    m.Clean();
    EXPECT_EQ(m.m_nSelected, 0);
    EXPECT_FALSE(m.CleanEnabled());
    EXPECT_TRUE(m.m_mapSelected.empty());
}

TEST_F(FileJobs, DeletingRowsOneAndThreeOfFiveKeepsTheOthersInOrder) {
    CImageListModel m;
    m.Open({});
    m.AddFiles({"/p/0.bmp", "/p/1.bmp", "/p/2.bmp", "/p/3.bmp", "/p/4.bmp"});
    m.AddAll();
    m.RightSelectionChanged(true);
    m.DeleteRows({3, 1});
    EXPECT_EQ(Keys(m.Right()), (std::vector<QString>{"/p/0.bmp", "/p/2.bmp", "/p/4.bmp"}));
    EXPECT_EQ(m.m_nSelected, 3);
    EXPECT_FALSE(m.DeleteEnabled());
    EXPECT_TRUE(m.CleanEnabled());
    // A deleted row can be chosen again.
    m.AddSelected({1});
    EXPECT_EQ(m.Right().back().entry.m_strKey, "/p/1.bmp");
    // OK: file rows fill their slots, in order.
    m.AcceptPaths();
    EXPECT_EQ(m.m_strPaths[0], "/p/0.bmp");
    EXPECT_EQ(m.m_strPaths[3], "/p/1.bmp");
    EXPECT_FALSE(m.m_bTempFile[0]);
}

TEST_F(FileJobs, StitchingWritesTheNextNumberedResultAndReportsProgress) {
    SimFields sim(512, 384);
    const cv::Point2d o = SimFields::Tissue();
    CImageListModel m;
    // Two files, one of them unreadable, and an open capture.
    CScopeDoc* capture = Capture(sim.FieldAt(o.x + 400.4, o.y + 30.2), "Untitled1");
    m.Open({capture});
    m.AddFiles(
        {File(sim.FieldAt(o.x, o.y), "left.png"), QString::fromStdString(dir.file("missing.png"))});
    m.AddAll();
    m.AcceptPaths();
    ASSERT_EQ(m.m_nSelected, 3);
    // The numbering skips a result that exists already.
    QFile(g_strImageFolder + "Stiching_0000.jpg").open(QIODevice::WriteOnly);

    CFileJob job(FileJobKind::Stitching, m, progress);
    Run(job);
    ASSERT_TRUE(job.Succeeded()) << job.MessageText().toStdString();
    EXPECT_EQ(job.HandedPictures(), 2);  // the unreadable file is left out
    EXPECT_EQ(job.ResultPath(), g_strImageFolder + "Stiching_0001.jpg");
    const cv::Mat result = cv::imread(job.ResultPath().toStdString());
    ASSERT_FALSE(result.empty());
    EXPECT_NEAR(result.cols, 912, 1);
    EXPECT_NEAR(result.rows, 414, 1);
    // The capture (handed first) lies 400.4, 30.2 from the file's field.
    const auto tiles = job.TilePositions();
    ASSERT_EQ(tiles.size(), 2u);
    EXPECT_NEAR(tiles[0].first - tiles[1].first, 400.4, 0.3);
    EXPECT_NEAR(tiles[0].second - tiles[1].second, 30.2, 0.3);
    const std::vector<int> posted = progress.Posted();
    ASSERT_GE(posted.size(), 3u);
    EXPECT_EQ(posted.front(), 10);
    EXPECT_EQ(posted.back(), 80);
    EXPECT_TRUE(std::is_sorted(posted.begin(), posted.end()));
    EXPECT_NE(std::find(posted.begin(), posted.end(), 30), posted.end());
    EXPECT_EQ(progress.Closes(), 1);
}

TEST_F(FileJobs, StitchingWithoutALayoutSaysStitchingError) {
    SimFields sim(512, 384);
    CImageListModel m;
    m.Open({Capture(sim.FieldAt(20000, 20000), "a"), Capture(sim.FieldAt(45000, 41000), "b")});
    m.AddAll();
    m.AcceptPaths();
    CFileJob job(FileJobKind::Stitching, m, progress);
    Run(job);
    EXPECT_FALSE(job.Succeeded());
    EXPECT_EQ(job.MessageCaption(), "");
    EXPECT_EQ(job.MessageText(), "StitchingError");
    EXPECT_FALSE(QFileInfo::exists(job.ResultPath()));
    EXPECT_EQ(progress.Closes(), 1);
}

TEST_F(FileJobs, HdrResultOfASevenPixelWidePictureKeepsItsRows) {
    // 7 pixels of 3 bytes: rows of 21 bytes in the library's result, padded to 24 in a picture.
    cv::Mat dark(5, 7, CV_8UC3), bright(5, 7, CV_8UC3);
    cv::randu(dark, 10, 90);
    cv::randu(bright, 120, 250);
    CImageListModel m;
    m.Open({Capture(dark, "d"), Capture(bright, "b")});
    m.AddAll();
    m.AcceptPaths();
    CFileJob job(FileJobKind::Hdr, m, progress);
    job.SetResultPath(QString::fromStdString(dir.file("hdr.png")));  // lossless, to compare pixels
    Run(job);
    ASSERT_TRUE(job.Succeeded()) << job.MessageText().toStdString();
    const cv::Mat result = cv::imread(job.ResultPath().toStdString());
    ASSERT_EQ(result.cols, 7);
    ASSERT_EQ(result.rows, 5);
    const cv::Mat expected = FuseExposures({dark, bright}).picture;
    EXPECT_EQ(cv::norm(result, expected, cv::NORM_INF), 0);
}

// An EDF run over three open pictures in a pictures folder whose path has blanks.
TEST_F(FileJobs, EdfWritesTemporariesRunsEnfuseAndDeletesThem) {
    ASSERT_NE(g_strImageFolder.indexOf(' '), -1);
    SimFields sim(320, 240);
    const cv::Point2d o = SimFields::Tissue();
    CImageListModel m;
    m.Open({Capture(sim.FieldAt(o.x, o.y, -3), "z1"), Capture(sim.FieldAt(o.x, o.y, 0), "z2"),
            Capture(sim.FieldAt(o.x, o.y, 3), "z3")});
    m.AddAll();
    m.AcceptTemporaries(g_strImageFolder, &prompt);
    ASSERT_EQ(m.m_nSelected, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(m.m_bTempFile[i]);
        EXPECT_EQ(m.m_strPaths[i], g_strImageFolder +
                                       QString::fromLatin1(CImageListModel::kTempPrefix) +
                                       QStringLiteral("%1.bmp").arg(i, 4, 10, QChar('0')));
        EXPECT_TRUE(QFileInfo::exists(m.m_strPaths[i]));
    }
    CFileJob job(FileJobKind::Edf, m, progress);
    ASSERT_FALSE(CEnfuseRunner().Program().isEmpty());
    Run(job);
    ASSERT_TRUE(job.Succeeded()) << job.MessageText().toStdString();
    EXPECT_EQ(job.ResultPath(), g_strImageFolder + "EDF_0000.jpg");
    const cv::Mat result = cv::imread(job.ResultPath().toStdString());
    EXPECT_EQ(result.cols, 320);
    EXPECT_EQ(result.rows, 240);
    // Only the result is left in the pictures folder.
    EXPECT_EQ(ImageFolderFiles(), std::vector<QString>{"EDF_0000.jpg"});
    EXPECT_EQ(progress.Posted(), (std::vector<int>{10, 30, 80}));
}

// Local focus measure: variance of the Laplacian of grey in a block.
double Focus(const cv::Mat& bgr, cv::Rect block) {
    cv::Mat grey, lap;
    cv::cvtColor(bgr(block), grey, cv::COLOR_BGR2GRAY);
    cv::Laplacian(grey, lap, CV_32F);
    cv::Scalar mean, sd;
    cv::meanStdDev(lap, mean, sd);
    return sd[0] * sd[0];
}

TEST_F(FileJobs, EdfOfAFocusSeriesIsAsSharpAsItsSharpestPictureEverywhere) {
    // The thick section: its height changes across the field, so each focus position has
    // other parts sharp.
    SimFields sim(640, 512);
    const SpecimenRect t = CVirtualSpecimen::ThickSectionRegion();
    const cv::Point2d corner((t.left + t.right) / 2 - 320, (t.top + t.bottom) / 2 - 256);
    std::vector<cv::Mat> series;
    std::vector<CScopeDoc*> pictures;
    for (double z : {-6.0, -3.0, 0.0, 3.0, 6.0}) {
        series.push_back(sim.FieldAt(corner.x, corner.y, z));
        pictures.push_back(Capture(series.back(), QStringLiteral("z%1").arg(z)));
    }
    CImageListModel m;
    m.Open(pictures);
    m.AddAll();
    m.AcceptTemporaries(g_strImageFolder, &prompt);
    CFileJob job(FileJobKind::Edf, m, progress);
    job.SetResultPath(QString::fromStdString(dir.file("edf.tif")));  // lossless, to measure
    Run(job);
    ASSERT_TRUE(job.Succeeded()) << job.MessageText().toStdString();
    EXPECT_TRUE(ImageFolderFiles().empty());  // the temporaries are gone
    const cv::Mat fused = cv::imread(job.ResultPath().toStdString());
    ASSERT_EQ(fused.size(), series[0].size());
    int sharpestDiffers = 0;
    int previousBest = -1;
    std::vector<double> ratios;
    for (int by = 0; by + 64 <= 512; by += 64)
        for (int bx = 0; bx + 64 <= 640; bx += 64) {
            const cv::Rect block(bx, by, 64, 64);
            double best = 0;
            int bestIndex = 0;
            for (size_t k = 0; k < series.size(); ++k)
                if (const double f = Focus(series[k], block); f > best)
                    best = f, bestIndex = static_cast<int>(k);
            // enfuse picks each pixel from the sharpest picture there; the pyramid blend of its
            // masks may give back a little of that in places, never much.
            const double ratio = Focus(fused, block) / best;
            EXPECT_GE(ratio, 0.9) << "block at " << bx << ", " << by;
            ratios.push_back(ratio);
            sharpestDiffers += previousBest >= 0 && bestIndex != previousBest;
            previousBest = bestIndex;
        }
    std::sort(ratios.begin(), ratios.end());
    EXPECT_GE(ratios[ratios.size() / 2], 1.0);  // typically sharper than any single picture
    // Not one picture sharp everywhere: the fusion had work to do.
    EXPECT_GT(sharpestDiffers, 3);
}

TEST_F(FileJobs, EdfFailuresAreToldAndLeaveNoTemporaries) {
    const cv::Mat a(60, 80, CV_8UC3, cv::Scalar(40, 90, 140)),
        b(60, 81, CV_8UC3, cv::Scalar(90, 40, 140));
    struct Case {
        const char* name;
        cv::Mat second;
        CEnfuseRunner runner;
        QString message;
    } cases[] = {
        {"enfuse missing", a, CEnfuseRunner(QString::fromStdString(dir.file("no-such-enfuse"))),
         "Failed to create process 2\n"},
        {"sizes differ", b, CEnfuseRunner(),
         "EDF: the pictures differ in size (80 x 60 and 81 x 60): a focus series shows one field"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgressRecorder recorder;
        CImageListModel m;
        m.Open({Capture(a, "a"), Capture(c.second, "b")});
        m.AddAll();
        m.AcceptTemporaries(g_strImageFolder, &prompt);
        CFileJob job(FileJobKind::Edf, m, recorder, c.runner);
        ASSERT_TRUE(job.Start());
        ASSERT_TRUE(recorder.WaitClosed());
        job.Finish();
        EXPECT_FALSE(job.Succeeded());
        EXPECT_EQ(job.MessageText(), c.message);
        EXPECT_TRUE(ImageFolderFiles().empty());
    }
}

TEST_F(FileJobs, EdfRowThatCannotBeReadIsToldAndLeftOut) {
    const cv::Mat a(60, 80, CV_8UC3, cv::Scalar(40, 90, 140));
    CImageListModel m;
    m.Open({Capture(a, "a"), Capture(a, "b")});
    m.AddFiles({QString::fromStdString(dir.file("broken.bmp"))});
    WriteFileBytes(dir.file("broken.bmp"), {'B', 'M', 1, 2, 3});
    m.AddAll();
    m.AcceptTemporaries(g_strImageFolder, &prompt);
    ASSERT_EQ(prompt.calls().size(), 1u);
    EXPECT_EQ(prompt.calls()[0].text, "Invalid Image Format");
    EXPECT_EQ(m.m_nSelected, 3);  // the row keeps its slot
    CFileJob job(FileJobKind::Edf, m, progress);
    Run(job);
    EXPECT_TRUE(job.Succeeded()) << job.MessageText().toStdString();
    EXPECT_EQ(job.HandedPictures(), 2);
}

}  // namespace
