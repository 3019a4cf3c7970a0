// The Image Mix dialog (document lists, offsets, the preview worker and its stopping, the new
// document on OK), the image picker's preview values and filter, and the progress dialog
// (deaf to Enter and Escape, driven by queued signals from another thread).
//
// With NS_SCREENSHOT_DIR set, the screenshots test also saves every dialog in English and
// German there.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "document/image_mix.h"
#include "document/scope_doc.h"
#include "settings/language_table.h"
#include "ui/image_picker_dlg.h"
#include "ui/mix_dlg.h"
#include "ui/progress_dlg.h"

namespace {

constexpr int kWait = 60000;  // generous: the machine may be busy

using Rgb = std::array<int, 3>;  // b, g, r

FCObjImage Picture(int w, int h, Rgb (*colour)(int x, int y)) {
    FCObjImage img;
    img.Allocate(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = colour(x, y);
            uint8_t* p = img.GetRow(y) + x * 3;
            for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>(c[static_cast<size_t>(i)]);
        }
    return img;
}

Rgb At(const FCObjImage& img, int x, int y) {
    const uint8_t* p = img.GetRow(y) + x * 3;
    return {p[0], p[1], p[2]};
}

Rgb Red(int, int) {
    return {0, 0, 255};
}
Rgb Blue(int, int) {
    return {255, 0, 0};
}
Rgb SrcColour(int x, int y) {
    return {(x * 53 + y * 29 + 100) % 256, 255 - x * 7 - y * 13, (x * y * 17 + 9) % 256};
}
Rgb DstColour(int x, int y) {
    return {(x * 37 + y * 11) % 256, (x * 5 + y * 71 + 3) % 256, 200 - x - y};
}
// Something worth looking at in the screenshots: rings on a soft background.
Rgb Cells(int x, int y) {
    const int cx = x % 90 - 45, cy = y % 80 - 40, d = cx * cx + cy * cy;
    const bool ring = d > 600 && d < 900;
    return {ring ? 60 : 200 + x % 40, ring ? 90 : 190 + y % 50, ring ? 160 : 180};
}
Rgb Fibres(int x, int y) {
    const bool fibre = (x + 2 * y) % 70 < 6 || (3 * x - y + 1000) % 110 < 5;
    return {fibre ? 40 : 220, fibre ? 120 : 210, fibre ? 40 : 200};
}

std::unique_ptr<CScopeDoc> StillDoc(const QString& title, const FCObjImage& img) {
    auto doc = std::make_unique<CScopeDoc>();
    doc->SetTitle(title);
    doc->m_image = img;
    doc->m_imageOriginal = img;
    *doc->m_pCxImage = img;
    doc->m_nImageState = 1;
    return doc;
}

// Runs f on the first modal dialog of type T once it is up (inside exec()).
template <class T, class F>
void WhenModal(F f) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        if (auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            f(dlg);
        }
    });
    timer->start();
}

// Waits on a condition another thread fulfils.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    void Open() {
        {
            std::lock_guard l(m);
            open = true;
        }
        cv.notify_all();
    }
    bool Wait() {
        std::unique_lock l(m);
        return cv.wait_for(l, std::chrono::milliseconds(kWait), [this] { return open; });
    }
};

QString BinFolder() {
    return qEnvironmentVariable("NS_BIN_DIR") + u'/';
}

// Clicks the picker's file list on a file, as the user would.
bool PickInList(CImagePickerDlg& dlg, const QString& path) {
    auto* model = dlg.findChild<QFileSystemModel*>();
    auto* list = dlg.findChild<QListView*>(QStringLiteral("listView"));
    if (!model || !list) return false;
    const QModelIndex idx = model->index(path);
    if (!idx.isValid()) return false;
    list->setCurrentIndex(idx);
    return true;
}

}  // namespace

// Emits from whichever thread calls it; connected to a dialog living on the main thread.
class ProgressSource : public QObject {
    Q_OBJECT
signals:
    void position(int value);
    void status(const QString& text);
    void done();
};

class MixDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        ClearLanguageTable();
        QVERIFY(CScopeDoc::AllDocuments().empty());
    }

    // ---- Image Mix ----

    void mixListsStillDocumentsInOrder() {
        auto live = StillDoc(QStringLiteral("Camera"), Picture(4, 4, Red));
        live->m_bLive = true;
        auto a = StillDoc(QStringLiteral("A"), Picture(4, 4, Red));
        {
            // One still document: both lists show it.
            CMixDlg dlg;
            QCOMPARE(dlg.SourceBox()->count(), 1);
            QCOMPARE(dlg.DestinationBox()->count(), 1);
            QCOMPARE(dlg.SourceDocument(), a.get());
            QCOMPARE(dlg.DestinationDocument(), a.get());
        }
        auto b = StillDoc(QStringLiteral("B"), Picture(4, 4, Blue));
        auto c = StillDoc(QStringLiteral("C"), Picture(4, 4, Blue));
        CMixDlg dlg;
        QCOMPARE(dlg.SourceBox()->count(), 3);
        QCOMPARE(dlg.SourceBox()->itemText(0), QStringLiteral("A"));
        QCOMPARE(dlg.SourceBox()->itemText(2), QStringLiteral("C"));
        QCOMPARE(dlg.SourceDocument(), a.get());
        QCOMPARE(dlg.DestinationDocument(), b.get());
        QCOMPARE(dlg.Transparency(), 50);
        QCOMPARE(dlg.TransparencyLabel()->text(), QStringLiteral("50%"));
        // Every slider position counts, keyboard steps included.
        dlg.TransparencySlider()->setFocus();
        QTest::keyClick(dlg.TransparencySlider(), Qt::Key_Right);
        QCOMPARE(dlg.Transparency(), 51);
        QCOMPARE(dlg.TransparencyLabel()->text(), QStringLiteral("51%"));
    }

    void mixOffsetArrowsStepByOne() {
        auto a = StillDoc(QStringLiteral("A"), Picture(4, 4, Red));
        CMixDlg dlg;
        QCOMPARE(dlg.XOffset(), 0);
        QTest::keyClick(dlg.XOffsetBox(), Qt::Key_Up);
        QCOMPARE(dlg.XOffset(), 1);
        QTest::keyClick(dlg.YOffsetBox(), Qt::Key_Down);
        QCOMPARE(dlg.YOffset(), -1);
        QTest::keyClick(dlg.YOffsetBox(), Qt::Key_Down);
        QCOMPARE(dlg.YOffset(), -2);
    }

    void mixPreviewShowsTheBlendAtPreviewScale() {
        auto src = StillDoc(QStringLiteral("src"), Picture(800, 600, Red));
        auto dst = StillDoc(QStringLiteral("dst"), Picture(800, 600, Blue));
        CMixDlg dlg;
        dlg.show();
        QCOMPARE(dlg.PreviewScale(), 0.5f);
        // x offset 200 at scale 0.5 moves the source 100 preview pixels left: its right edge
        // ends at column 299 and the rest stays the destination.
        dlg.XOffsetBox()->setValue(200);
        const Rgb blend{128, 0, 128}, blue{255, 0, 0};
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Preview() && At(*dlg.Preview(), 350, 10) == blue, kWait);
        const FCObjImage& p = *dlg.Preview();
        QCOMPARE(p.Width(), 400);
        QCOMPARE(p.Height(), 300);
        QCOMPARE(At(p, 0, 0), blend);
        QCOMPARE(At(p, 299, 299), blend);
        QCOMPARE(At(p, 300, 0), blue);
        // Transparency 100 leaves only the destination.
        dlg.TransparencySlider()->setValue(100);
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Preview() && At(*dlg.Preview(), 0, 0) == blue, kWait);
    }

    void mixOkCreatesTheMixDocument() {
        const FCObjImage srcPic = Picture(5, 3, SrcColour);
        const FCObjImage dstPic = Picture(6, 4, DstColour);
        auto src = StillDoc(QStringLiteral("src"), srcPic);
        auto dst = StillDoc(QStringLiteral("dst"), dstPic);
        const size_t before = CScopeDoc::AllDocuments().size();
        WhenModal<CMixDlg>([](CMixDlg* dlg) {
            dlg->XOffsetBox()->setValue(-2);
            dlg->YOffsetBox()->setValue(1);
            dlg->TransparencySlider()->setValue(0);
            QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
        });
        RunMixDialog(*dst, nullptr);
        QCOMPARE(CScopeDoc::AllDocuments().size(), before + 1);
        CScopeDoc* mix = CScopeDoc::AllDocuments().back();
        QCOMPARE(mix->GetTitle(), QStringLiteral("Mix %1").arg(theApp().m_nMixCount));
        const FCObjImage& out = mix->m_image;
        QCOMPARE(out.Width(), 6);
        QCOMPARE(out.Height(), 4);
        // Offset (-2, 1): destination pixel (x, y) shows source pixel (x - 2, y + 1).
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const int sx = x - 2, sy = y + 1;
                const bool inside = sx >= 0 && sx < 5 && sy >= 0 && sy < 3;
                QCOMPARE(At(out, x, y), inside ? SrcColour(sx, sy) : DstColour(x, y));
            }
        // The destination keeps its own picture; the request is spent.
        QCOMPARE(At(*dst->m_pCxImage, 2, 0), DstColour(2, 0));
        QVERIFY(!g_bMixRequest);
        QCOMPARE(theApp().m_nNewDocKind, 0);
        // A second mix counts on.
        const int first = theApp().m_nMixCount;
        CMixDlg again;
        QVERIFY(again.CreateMixDocument());
        QCOMPARE(theApp().m_nMixCount, first + 1);
        while (CScopeDoc::AllDocuments().size() > before)
            CloseDocumentWithoutView(CScopeDoc::AllDocuments().back());
    }

    void mixWithoutStillDocumentCreatesNothing() {
        auto live = StillDoc(QStringLiteral("Camera"), Picture(4, 4, Red));
        live->m_bLive = true;
        CMixDlg dlg;
        QCOMPARE(dlg.SourceBox()->count(), 0);
        QVERIFY(!dlg.SourceDocument());
        QVERIFY(!dlg.CreateMixDocument());
        QCOMPARE(CScopeDoc::AllDocuments().size(), size_t{1});
        QVERIFY(!dlg.Preview());
        QVERIFY(!g_bMixRequest);
    }

    // The worker is paused inside a computation; new settings arrive; once it resumes it must
    // give up at that very row check and deliver only the new preview.
    void previewWorkerAbandonsStaleWorkAtItsNextRow() {
        auto src = std::make_shared<const FCObjImage>(Picture(800, 600, Red));
        auto dst = std::make_shared<const FCObjImage>(Picture(800, 600, Blue));
        std::mutex m;
        std::vector<uint64_t> delivered;
        std::atomic<int> firstChecks{0};
        Gate entered, release;
        CMixPreviewWorker worker([&](std::shared_ptr<FCObjImage>, uint64_t gen) {
            std::lock_guard l(m);
            delivered.push_back(gen);
        });
        worker.SetRowHook([&](uint64_t gen) {
            if (gen != 1) return;
            if (++firstChecks == 1) {
                entered.Open();
                release.Wait();
            }
        });
        QCOMPARE(worker.Request(src, dst, 0, 0, 50), uint64_t{1});
        QVERIFY(entered.Wait());
        QCOMPARE(worker.Request(src, dst, 10, 0, 50), uint64_t{2});
        release.Open();
        const auto anyDelivered = [&] {
            std::lock_guard l(m);
            return !delivered.empty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(anyDelivered(), kWait);
        worker.Stop();
        QCOMPARE(firstChecks.load(), 1);
        QCOMPARE(worker.Abandoned(), 1);
        QCOMPARE(delivered, std::vector<uint64_t>{2});
    }

    void previewWorkerStopsWithinOneRowAndDeliversNothing() {
        auto pic = std::make_shared<const FCObjImage>(Picture(800, 600, Red));
        std::atomic<int> delivered{0}, checks{0};
        Gate entered, release;
        CMixPreviewWorker worker([&](std::shared_ptr<FCObjImage>, uint64_t) { ++delivered; });
        worker.SetRowHook([&](uint64_t) {
            if (++checks == 1) {
                entered.Open();
                release.Wait();
            }
        });
        worker.Request(pic, pic, 0, 0, 50);
        QVERIFY(entered.Wait());
        worker.RequestStop();
        release.Open();
        worker.Stop();
        QVERIFY(!worker.IsRunning());
        QCOMPARE(checks.load(), 1);
        QCOMPARE(delivered.load(), 0);
    }

    // Closing or deleting the dialog while previews are being computed, many times over: the
    // worker is joined first and late deliveries are dropped with the dialog.
    void closingWhileComputingIsSafe() {
        auto a = StillDoc(QStringLiteral("A"), Picture(1600, 1200, Cells));
        auto b = StillDoc(QStringLiteral("B"), Picture(1200, 1600, Fibres));
        for (int i = 0; i < 40; ++i) {
            auto* dlg = new CMixDlg;
            dlg->show();
            dlg->XOffsetBox()->setValue(i * 7);
            dlg->TransparencySlider()->setValue(i % 101);
            if (i % 4 == 1) dlg->DestinationBox()->setCurrentIndex(0);
            if (i % 5 == 0) QTRY_VERIFY_WITH_TIMEOUT(dlg->Preview(), kWait);
            QCoreApplication::processEvents();
            if (i % 2) {
                dlg->reject();
                QVERIFY(!dlg->Worker().IsRunning());
            }
            delete dlg;
            QCoreApplication::processEvents();
        }
    }

    // ---- Image picker ----

    void pickerShowsTheValuesOfTheSelectedFile() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString good = dir.filePath(QStringLiteral("slide.bmp"));
        QVERIFY(Picture(30, 20, Cells).SaveToFile(good.toStdString()));
        const QString bad = dir.filePath(QStringLiteral("broken.bmp"));
        {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(900, 'x'));
        }
        CImagePickerDlg dlg;
        dlg.setDirectory(dir.path());
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Select Image"));
        QTRY_VERIFY_WITH_TIMEOUT(PickInList(dlg, good), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.WidthValue()->text(), QStringLiteral("30"), kWait);
        QCOMPARE(dlg.HeightValue()->text(), QStringLiteral("20"));
        QCOMPARE(dlg.ColorValue()->text(), QStringLiteral("24 Bits"));
        QCOMPARE(dlg.SizeValue()->text(),
                 QStringLiteral("%1 Kb").arg(QFileInfo(good).size() / 1024));
        QCOMPARE(dlg.PreviewPanel()->Picture().Width(), 30);

        // An unreadable file leaves everything as it was.
        QSignalSpy spy(&dlg, &QFileDialog::currentChanged);
        QTRY_VERIFY_WITH_TIMEOUT(PickInList(dlg, bad), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty() && spy.last().at(0).toString() == bad, kWait);
        QCOMPARE(dlg.WidthValue()->text(), QStringLiteral("30"));
        QCOMPARE(dlg.SizeValue()->text(),
                 QStringLiteral("%1 Kb").arg(QFileInfo(good).size() / 1024));
        QCOMPARE(dlg.PreviewPanel()->Picture().Width(), 30);

        // A large picture is kept reduced, the values are the file's.
        const QString big = dir.filePath(QStringLiteral("big.bmp"));
        QVERIFY(Picture(1500, 1000, Fibres).SaveToFile(big.toStdString()));
        QVERIFY(dlg.ShowPreviewFor(big));
        QCOMPARE(dlg.WidthValue()->text(), QStringLiteral("1500"));
        QCOMPARE(dlg.PreviewPanel()->Picture().Width(), CImagePickerDlg::kPreviewSide);
    }

    void pickerSizeText_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("2500") << qint64{2500} << QStringLiteral("2 Kb");
        QTest::newRow("900") << qint64{900} << QStringLiteral("900 Byte");
        QTest::newRow("1023") << qint64{1023} << QStringLiteral("1023 Byte");
        QTest::newRow("1024") << qint64{1024} << QStringLiteral("1 Kb");
        QTest::newRow("0") << qint64{0} << QStringLiteral("0 Byte");
        QTest::newRow("5 GB") << qint64{5} * 1024 * 1024 * 1024 << QStringLiteral("5242880 Kb");
    }
    void pickerSizeText() {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(CImagePickerDlg::SizeText(bytes), text);
    }

    // The first entry, chosen at opening, lists every format the program reads (PNG among
    // them, so what it saved opens again); the given entry keeps to BMP and JPEG.
    void pickerFilterOffersAllPicturesFirst() {
        CImagePickerDlg dlg;
        auto* types = dlg.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QVERIFY(types);
        QCOMPARE(types->count(), 2);
        QCOMPARE(types->itemText(0), QStringLiteral("All pictures"));
        QCOMPARE(types->itemText(1), QStringLiteral("Image File (*.bmp, *.jpg)"));
        QCOMPARE(types->currentIndex(), 0);
        QTemporaryDir dir;
        const QStringList names = {"a.bmp", "b.JPG", "c.jpeg", "d.png", "e.tif", "f.TIFF",
                                   "g.gif", "h.tga", "i.ico", "j.txt", "k.pcx"};
        for (const QString& name : names) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        auto* model = dlg.findChild<QFileSystemModel*>();
        QVERIFY(model);
        auto listed = [&] {
            QDir d(dir.path());
            d.setNameFilters(model->nameFilters());
            return d.entryList(QDir::Files | QDir::CaseSensitive, QDir::Name);
        };
        QCOMPARE(listed(), names.mid(0, 9));
        dlg.selectNameFilter(dlg.nameFilters().at(1));
        QCOMPARE(listed(), names.mid(0, 3));
    }

    void pickerRemembersTheLastFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kept.bmp"));
        QVERIFY(Picture(8, 8, Cells).SaveToFile(path.toStdString()));
        WhenModal<CImagePickerDlg>([&](CImagePickerDlg* dlg) {
            // Typed into the name field, as a user would (selectFile leaves a focused field alone).
            auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name) name->setText(path);
            static_cast<QDialog*>(dlg)->accept();  // QFileDialog::accept, as the Open button does
            if (dlg->isVisible()) dlg->reject();   // refused: fail below instead of waiting forever
        });
        const std::optional<QString> chosen = RunImagePicker(nullptr);
        QVERIFY(chosen);
        QCOMPARE(QFileInfo(*chosen).canonicalFilePath(), QFileInfo(path).canonicalFilePath());
        QString openedIn;
        WhenModal<CImagePickerDlg>([&](CImagePickerDlg* dlg) {
            openedIn = dlg->directory().absolutePath();
            dlg->reject();
        });
        QVERIFY(!RunImagePicker(nullptr));
        QCOMPARE(QFileInfo(openedIn).canonicalFilePath(),
                 QFileInfo(dir.path()).canonicalFilePath());
    }

    // ---- Progress ----

    void progressIgnoresEnterEscapeAndClose() {
        CProgressDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
            QTest::keyClick(&dlg, key);
        dlg.close();
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), 0);
        QCOMPARE(dlg.Bar()->minimum(), 0);
        QCOMPARE(dlg.Bar()->maximum(), 100);
        dlg.finish();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void progressFollowsQueuedSignalsFromAnotherThread() {
        CProgressDlg dlg;
        ProgressSource source;
        connect(&source, &ProgressSource::position, &dlg, &CProgressDlg::setValue,
                Qt::QueuedConnection);
        connect(&source, &ProgressSource::status, &dlg, &CProgressDlg::setText,
                Qt::QueuedConnection);
        connect(&source, &ProgressSource::done, &dlg, &CProgressDlg::finish, Qt::QueuedConnection);
        std::vector<int> seen;
        connect(dlg.Bar(), &QProgressBar::valueChanged, this, [&](int v) { seen.push_back(v); });
        Gate shown;
        std::thread worker([&] {
            if (!shown.Wait()) return;
            emit source.position(30);
            emit source.position(150);  // outside the range: ignored
            emit source.position(-1);
            emit source.status(QStringLiteral("Stitching..."));
            emit source.position(60);
            emit source.done();
        });
        QTimer::singleShot(0, &dlg, [&] { shown.Open(); });
        const int result = dlg.exec();
        worker.join();
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dlg.Bar()->value(), 60);
        QCOMPARE(seen, (std::vector<int>{30, 60}));
        QCOMPARE(dlg.TextLabel()->text(), QStringLiteral("Stitching..."));
    }

    void progressFinishedBeforeItIsShownStillCloses() {
        CProgressDlg dlg;
        dlg.finish();
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    }

    // ---- Screenshots ----

    void screenshots() {
        const QString out = qEnvironmentVariable("NS_SCREENSHOT_DIR");
        if (out.isEmpty()) QSKIP("NS_SCREENSHOT_DIR is not set");
        QDir().mkpath(out);
        QTemporaryDir dir;
        const QString sample = dir.filePath(QStringLiteral("cells.bmp"));
        QVERIFY(Picture(640, 480, Cells).SaveToFile(sample.toStdString()));
        auto a = StillDoc(QStringLiteral("cells.bmp"), Picture(640, 480, Cells));
        auto b = StillDoc(QStringLiteral("Untitled1"), Picture(640, 480, Fibres));
        for (const char* lang : {"en", "de"}) {
            QVERIFY(LoadLanguage(QString::fromLatin1(lang), BinFolder()));
            const QString suffix = QStringLiteral("_%1.png").arg(QString::fromLatin1(lang));
            {
                CMixDlg dlg;
                dlg.XOffsetBox()->setValue(60);
                dlg.YOffsetBox()->setValue(-25);
                dlg.show();
                // Only the newest settings' preview is ever shown.
                QTRY_VERIFY_WITH_TIMEOUT(dlg.Preview(), kWait);
                QVERIFY(dlg.grab().save(out + QStringLiteral("/dialog_mix") + suffix));
            }
            {
                CImagePickerDlg dlg;
                dlg.setDirectory(dir.path());
                dlg.resize(dlg.sizeHint().expandedTo(QSize(900, 480)));
                dlg.show();
                QTRY_VERIFY_WITH_TIMEOUT(PickInList(dlg, sample), kWait);
                QTRY_VERIFY_WITH_TIMEOUT(!dlg.WidthValue()->text().isEmpty(), kWait);
                QVERIFY(dlg.grab().save(out + QStringLiteral("/dialog_open") + suffix));
            }
            {
                CProgressDlg dlg;
                dlg.setValue(40);
                dlg.show();
                QVERIFY(QTest::qWaitForWindowExposed(&dlg));
                QVERIFY(dlg.grab().save(out + QStringLiteral("/dialog_progress") + suffix));
                dlg.finish();
            }
        }
        ClearLanguageTable();
    }
};

QTEST_MAIN(MixDialogsTest)
#include "mix_dialogs_test.moc"
