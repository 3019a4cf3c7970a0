// The Record and Interval Capture dialogs on the live window of simulated cameras: texts, buttons
// and the recording state machine, the files they make (read back by ffprobe and Qt), a recording
// ended with its camera (dialog closed, camera switched or unplugged, live window closed), the
// displayed frame rate while recording, and the interval fields' rules and series.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include "camera/recording/recorder.h"
#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/uvc_camera.h"
#include "document/prompt.h"
#include "live_test_host.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/profile_file.h"
#include "test_support.h"
#include "ui/interval_cap_dlg.h"
#include "ui/record_dlg.h"

class RecordDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    LiveTestHost m_host;
    CRecordingPrompt m_prompt;
    std::unique_ptr<QMdiArea> m_area;
    std::unique_ptr<CCameraPane> m_pane;
    std::shared_ptr<CFakeV4l2> m_fake;

    void Start(const char* cameras) {
        qputenv("NORVANESCOPE_SIM_CAMERAS", cameras);
        m_fake = CFakeV4l2::Emulated(1);
        theUVCCamera().SetSys(m_fake);
        theCameraManager().Startup();
        m_area = std::make_unique<QMdiArea>();
        m_area->resize(1000, 760);
        m_area->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_area.get()));
        m_pane = std::make_unique<CCameraPane>();
        m_host.area = m_area.get();
        m_host.pane = m_pane.get();
    }

    // The live document on the first camera of a kind, with frames painted.
    CVideoWnd* GoLive(int kind) { return m_host.GoLive(LiveTestHost::DeviceOfKind(kind)); }

    QString File(const QString& name) const { return m_dir.filePath(name); }

    // Path and Start through the dialog's buttons; frames are being recorded afterwards.
    static bool PathAndStart(CRecordDlg& dlg, CRecordingPrompt& prompt, CRecorder& recorder, const QString& path) {
        prompt.queueSaveFile(path);
        QTest::mouseClick(dlg.PathButton(), Qt::LeftButton);
        if (!QTest::qWaitFor([&] { return recorder.m_nRecordState.load() == kRecordOpen; }, 20000)) return false;
        QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
        return QTest::qWaitFor([&] { return recorder.GetStatus().frames >= 5; }, 30000);
    }

    // The video file plays: H.264, the frames the recorder counted, at least three seconds.
    static void VerifyPlayable(const QString& path, int64_t frames) {
        const auto probe = ProbeVideo(path.toStdString());
        QVERIFY2(!probe.count("error"), probe.count("error") ? probe.at("error").c_str() : "");
        QCOMPARE(probe.at("codec_name"), std::string("h264"));
        if (frames > 0) QCOMPARE(probe.at("nb_read_frames"), std::to_string(frames));
        QVERIFY(std::stoi(probe.at("nb_read_frames")) > 0);
        QVERIFY(std::stod(probe.at("duration")) >= 3.0);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        InitAppFolders(m_dir.path(), m_dir.path());
        QDir().mkpath(g_strImageFolder);
    }

    void init() {
        theSettings = CAppSettings{};
        theApp().frame = &m_host;
        theApp().prompt = &m_prompt;
        theApp().m_nNewDocKind = 0;
        m_prompt.clearAnswers();
        m_prompt.clearCalls();
    }

    void cleanup() {
        m_host.CloseAll();
        m_host.pane = nullptr;
        m_host.area = nullptr;
        m_pane.reset();
        m_area.reset();
        CCameraManager& cm = theCameraManager();
        cm.Stop();
        cm.CloseCamera();
        cm.Shutdown();
        theUVCCamera().SetSys(nullptr);
        theApp().frame = nullptr;
        theApp().prompt = nullptr;
    }

    // ---------------------------------------------------------------- Record

    void recordDialogTextsAndStates() {
        Start("none,mc-a=1");
        QVERIFY(GoLive(KindModule1));
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        CRecorder& recorder = live->Recorder();
        CRecordDlg dlg(*live);
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Record"));
        QCOMPARE(dlg.FileLine()->text(), QStringLiteral("/"));
        QCOMPARE(dlg.StatusLine()->text(), QStringLiteral("Ready"));
        const auto enabled = [&] {
            return QString("%1%2%3%4")
                .arg(dlg.PathButton()->isEnabled())
                .arg(dlg.StartButton()->isEnabled())
                .arg(dlg.PauseButton()->isEnabled())
                .arg(dlg.StopButton()->isEnabled());
        };
        QCOMPARE(enabled(), QStringLiteral("1000"));

        // Cancelled: nothing chosen, the status still moves on.
        m_prompt.queueSaveFileCancel();
        QTest::mouseClick(dlg.PathButton(), Qt::LeftButton);
        QCOMPARE(dlg.StatusLine()->text(), QStringLiteral("Start"));
        QCOMPARE(enabled(), QStringLiteral("1000"));
        QCOMPARE(recorder.m_nRecordState.load(), int{kRecordIdle});
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{8,14}\\.mp4$")).match(m_prompt.calls().back().text).hasMatch());

        // Chosen: ".mp4" appended exactly as the rule says; the next frame opens the encoder.
        m_prompt.queueSaveFile(File(QStringLiteral("clip.MP4")));
        QTest::mouseClick(dlg.PathButton(), Qt::LeftButton);
        const QString path = File(QStringLiteral("clip.MP4.mp4"));
        QCOMPARE(dlg.FileLine()->text(), path);
        QCOMPARE(enabled(), QStringLiteral("1100"));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.m_nRecordState.load(), int{kRecordOpen}, 20000);

        QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
        QCOMPARE(recorder.m_nRecordState.load(), int{kRecording});
        QCOMPARE(dlg.StatusLine()->text(), QStringLiteral("Record"));
        QCOMPARE(enabled(), QStringLiteral("0011"));
        QVERIFY(dlg.TimerRunning());
        // One tick per second: seconds, three blanks, "Recording" and one to six dots.
        const QStringList ticks = {"1s   Recording.",      "2s   Recording..",   "3s   Recording...",
                                   "4s   Recording....",   "5s   Recording.....", "6s   Recording......",
                                   "7s   Recording."};
        for (const QString& expected : ticks) {
            dlg.OnTimer();
            QCOMPARE(dlg.StatusLine()->text(), expected);
        }

        // Pause keeps the counters; Start resumes.
        QTest::mouseClick(dlg.PauseButton(), Qt::LeftButton);
        QCOMPARE(recorder.m_nRecordState.load(), int{kRecordPaused});
        QCOMPARE(dlg.StatusLine()->text(), QStringLiteral("Pause"));
        QCOMPARE(enabled(), QStringLiteral("0101"));
        QVERIFY(!dlg.TimerRunning());
        QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
        dlg.OnTimer();
        QCOMPARE(dlg.StatusLine()->text(), QStringLiteral("8s   Recording.."));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.GetStatus().frames >= 5, 30000);

        // Stop: the next frame hands the file to the finishing worker.
        QTest::mouseClick(dlg.StopButton(), Qt::LeftButton);
        QCOMPARE(dlg.StatusLine()->text(), QStringLiteral("Stop"));
        QCOMPARE(enabled(), QStringLiteral("1000"));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.m_nRecordState.load(), int{kRecordIdle}, 20000);
        QVERIFY(recorder.WaitFinished(std::chrono::seconds(60)));
        const CRecorder::Result r = recorder.Finished().back();
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(r.path, path);
        VerifyPlayable(path, r.frames);
        QCOMPARE(r.width, live->m_imageLive.Width() & ~1);
    }

    void recordDialogShowsAnEncoderThatCannotOpen() {
        Start("none,mc-a=1");
        QVERIFY(GoLive(KindModule1));
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        CRecordDlg dlg(*live);
        dlg.show();
        m_prompt.queueSaveFile(File(QStringLiteral("no/such/folder/clip.mp4")));
        QTest::mouseClick(dlg.PathButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(dlg.StatusLine()->text().startsWith(QStringLiteral("Failed to open output file!")), 20000);
        QVERIFY(dlg.StatusLine()->text().contains(QStringLiteral("clip.mp4")));
        QVERIFY(!dlg.StartButton()->isEnabled());
        QVERIFY(dlg.PathButton()->isEnabled());
        dlg.close();
        QVERIFY(live->Recorder().WaitFinished(std::chrono::seconds(10)));
        QVERIFY(live->Recorder().Finished().empty());
    }

    // Each way the camera can go while a recording runs leaves a finished, playable file.
    void recordingEndsWithItsCamera_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("dialog closed") << "dialog";
        QTest::newRow("camera switched") << "switch";
        QTest::newRow("camera unplugged") << "unplug";
        QTest::newRow("live window closed") << "window";
        QTest::newRow("stopped while the preview is paused") << "paused";
    }

    void recordingEndsWithItsCamera() {
        QFETCH(QString, how);
        Start("none,mc-a=1,mc-b=1");
        QVERIFY(GoLive(how == "unplug" ? KindUvc : KindModule1));
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        CRecorder& recorder = live->Recorder();
        const QString path = File(how + QStringLiteral(".mp4"));
        auto dlg = std::make_unique<CRecordDlg>(*live);
        dlg->show();
        QVERIFY(PathAndStart(*dlg, m_prompt, recorder, path));
        if (how == "dialog") {
            dlg->close();
        } else if (how == "switch") {
            theCameraManager().SwitchCamera(LiveTestHost::DeviceOfKind(KindModule2), m_host);
            // The dialog follows: the recording ended without it.
            QTRY_COMPARE_WITH_TIMEOUT(dlg->StatusLine()->text(), QStringLiteral("Stop"), 10000);
            QVERIFY(dlg->PathButton()->isEnabled() && !dlg->StartButton()->isEnabled());
        } else if (how == "unplug") {
            m_fake->Unplug(0);
        } else if (how == "paused") {
            // No frame comes to take Stop: the dialog ends the file itself.
            QVERIFY(live->OnCommand(ID_PAUSE));
            QTest::mouseClick(dlg->StopButton(), Qt::LeftButton);
        } else {
            dlg.reset();
            // Without waiting for Stop: the window's end finishes the file.
            live->Recorder().m_nRecordState = kRecording;
            m_host.CloseAll();
            QTRY_VERIFY_WITH_TIMEOUT(!CScopeDoc::FindLiveDocument(), 10000);
            VerifyPlayable(path, 0);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(recorder.m_nRecordState.load(), int{kRecordIdle}, 20000);
        QVERIFY(recorder.WaitFinished(std::chrono::seconds(60)));
        QVERIFY(!recorder.Finished().empty());
        const CRecorder::Result r = recorder.Finished().back();
        QVERIFY2(r.ok, r.error.c_str());
        VerifyPlayable(path, r.frames);
        if (how == "switch") {
            // The new camera's picture runs on, not recorded.
            CVideoWnd* video = LiveTestHost::LiveVideo();
            const uint64_t painted = video->FramesPainted();
            QTRY_VERIFY_WITH_TIMEOUT(video->FramesPainted() > painted + 2, 30000);
            QCOMPARE(recorder.Finished().size(), size_t{1});
        }
    }

    // While about 1280 x 1024 frames are recorded the picture is shown as fast as the camera
    // delivers (the maker camera's nearest size is 1296 x 972, at 32 bits).
    void displayRateWhileRecording_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QSize>("size");
        QTest::newRow("24 bit, module") << int{KindModule1} << QSize(1280, 1024);
        QTest::newRow("32 bit, maker") << int{KindMaker} << QSize(1296, 972);
    }

    void displayRateWhileRecording() {
        QFETCH(int, kind);
        QFETCH(QSize, size);
        Start("none,mc-a=1,maker=1");
        CVideoWnd* video = GoLive(kind);
        QVERIFY(video);
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        CCameraManager& cm = theCameraManager();
        int count = 0;
        cm.GetResolutionCount(&count);
        for (int i = 0; i < count; ++i) {
            int w = 0, h = 0;
            cm.GetResolutionSize(i, &w, &h);
            if (QSize(w, h) == size) {
                cm.SetResolutionIndex(i);
                live->m_nFrameWidth = w;
                live->m_nFrameHeight = h;
                m_host.RefreshLayout(*live);
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(QSize(live->m_imageLive.Width(), live->m_imageLive.Height()), size, 30000);
        live->SelectZoom(kZoomFitIndex);
        CRecordDlg dlg(*live);
        dlg.show();
        QVERIFY(PathAndStart(dlg, m_prompt, live->Recorder(), File(QString::number(kind) + QStringLiteral("rate.mp4"))));
        const int64_t framesBefore = live->Recorder().GetStatus().frames;
        QTest::qWait(4000);
        const float capture = cm.GetCaptureFrameRate();
        const float display = video->DisplayFrameRate();
        const double recorded = static_cast<double>(live->Recorder().GetStatus().frames - framesBefore) / 4.0;
        qInfo("recording %dx%d at %d bits: capture %.2f, display %.2f, recorded %.2f frames/s", size.width(),
              size.height(), live->m_imageLive.ColorBits(), capture, display, recorded);
        QVERIFY(capture > 0.0f);
        // A loaded machine may show and record fewer; the figures are in the log.
        QVERIFY2(display >= 0.5f * capture, qPrintable(QStringLiteral("%1 of %2").arg(display).arg(capture)));
        QVERIFY2(recorded >= 0.5 * capture, qPrintable(QStringLiteral("%1 of %2").arg(recorded).arg(capture)));
        dlg.close();
    }

    // ---------------------------------------------------------------- Interval Capture

    void intervalFieldRules_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message");
        QTest::newRow("interval 12a") << int{CIntervalCapDlg::FieldInterval} << "12a" << "1" << "";
        QTest::newRow("interval 6000") << int{CIntervalCapDlg::FieldInterval} << "6000" << "1"
                                       << "Please input an integer between 1 and 5400!";
        QTest::newRow("interval 0") << int{CIntervalCapDlg::FieldInterval} << "0" << "1" << "";
        QTest::newRow("interval 5400") << int{CIntervalCapDlg::FieldInterval} << "5400" << "5400" << "";
        QTest::newRow("images emptied") << int{CIntervalCapDlg::FieldImages} << "" << "5" << "";
        QTest::newRow("images 15001") << int{CIntervalCapDlg::FieldImages} << "15001" << "5"
                                      << "Please input an integer between 1 and 15000!";
        QTest::newRow("images 99999999999") << int{CIntervalCapDlg::FieldImages} << "99999999999" << "5"
                                            << "Please input an integer between 1 and 15000!";
        QTest::newRow("wait 101") << int{CIntervalCapDlg::FieldWait} << "101" << "0"
                                  << "Please input an integer between 0 and 100!";
        QTest::newRow("wait -1") << int{CIntervalCapDlg::FieldWait} << "-1" << "0" << "";
        QTest::newRow("wait 42") << int{CIntervalCapDlg::FieldWait} << "42" << "42" << "";
    }

    void intervalFieldRules() {
        QFETCH(int, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, message);
        CScopeDoc doc;
        CIntervalCapDlg dlg(doc);
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Interval Capture"));
        QLineEdit* edit = dlg.Edit(static_cast<CIntervalCapDlg::Field>(field));
        edit->setText(typed);
        QCOMPARE(edit->text(), shown);
        const int member = field == CIntervalCapDlg::FieldWait       ? dlg.m_nWait
                           : field == CIntervalCapDlg::FieldInterval ? dlg.m_nInterval
                                                                     : dlg.m_nImages;
        QCOMPARE(QString::number(member), shown);
        if (shown != typed) QCOMPARE(edit->selectedText(), shown.left(8));
        const auto& calls = m_prompt.calls();
        if (message.isEmpty()) {
            QVERIFY(calls.empty());
        } else {
            QCOMPARE(int(calls.size()), 1);
            QCOMPARE(calls[0].caption, QStringLiteral("Hint"));
            QCOMPARE(calls[0].text, message);
        }
    }

    void intervalTypingAndSpins() {
        CScopeDoc doc;
        CIntervalCapDlg dlg(doc);
        dlg.show();
        // Typed a key at a time: the message comes with the key that passes the limit.
        QLineEdit* interval = dlg.Edit(CIntervalCapDlg::FieldInterval);
        interval->selectAll();
        QTest::keyClicks(interval, QStringLiteral("6000"));
        QCOMPARE(interval->text(), QStringLiteral("1"));
        QCOMPARE(int(m_prompt.calls().size()), 1);
        m_prompt.clearCalls();
        interval->selectAll();
        QTest::keyClicks(interval, QStringLiteral("12a"));
        QCOMPARE(interval->text(), QStringLiteral("1"));
        QCOMPARE(interval->selectedText(), QStringLiteral("1"));
        // The spin arrows step within the range.
        QCOMPARE(dlg.Edit(CIntervalCapDlg::FieldWait)->text(), QStringLiteral("1"));
        QTest::mouseClick(dlg.SpinDown(CIntervalCapDlg::FieldWait), Qt::LeftButton);
        QTest::mouseClick(dlg.SpinDown(CIntervalCapDlg::FieldWait), Qt::LeftButton);
        QCOMPARE(dlg.m_nWait, 0);
        dlg.Edit(CIntervalCapDlg::FieldImages)->setText(QStringLiteral("15000"));
        QTest::mouseClick(dlg.SpinUp(CIntervalCapDlg::FieldImages), Qt::LeftButton);
        QCOMPARE(dlg.Edit(CIntervalCapDlg::FieldImages)->text(), QStringLiteral("15000"));
        QVERIFY(m_prompt.calls().empty());
    }

    // A short series through the interval save: countdown, numbers, the next file name, the
    // pictures on disk; then a series whose saves fail and that goes on regardless.
    void intervalSeriesSavesAndShows() {
        Start("none,mc-a=1");
        QVERIFY(GoLive(KindModule1));
        CScopeDoc* live = CScopeDoc::FindLiveDocument();
        CProfileFile ini(g_strIniPath);
        const QString section = QStringLiteral("Save");
        QVERIFY(ini.WriteString(section, QStringLiteral("Prefix"), QStringLiteral("img")));
        QVERIFY(ini.WriteString(section, QStringLiteral("Suffix"), QStringLiteral("7")));
        QVERIFY(ini.WriteString(section, QStringLiteral("bBmp"), QStringLiteral("0")));
        QVERIFY(ini.WriteString(section, QStringLiteral("FilePath"), m_dir.path()));

        CIntervalCapDlg dlg(*live);
        dlg.show();
        dlg.Edit(CIntervalCapDlg::FieldImages)->setText(QStringLiteral("2"));
        QCOMPARE(dlg.m_nWait, 1);
        QCOMPARE(dlg.m_nInterval, 1);
        QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.WaitDisplay()->text(), QStringLiteral("0"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.NumberDisplay()->text(), QStringLiteral("1"), 10000);
        QCOMPARE(dlg.FileNameDisplay()->text(), QStringLiteral("img8.jpg"));
        const QImage first(File(QStringLiteral("img7.jpg")));
        QCOMPARE(first.size(), QSize(live->m_nFrameWidth, live->m_nFrameHeight));
        QTRY_COMPARE_WITH_TIMEOUT(dlg.NumberDisplay()->text(), QStringLiteral("2"), 10000);
        QCOMPARE(dlg.FileNameDisplay()->text(), QStringLiteral("img9.jpg"));
        // One interval after the last picture the displays are cleared.
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.Series().IsRunning(), 10000);
        QCOMPARE(dlg.NumberDisplay()->text(), QString());
        QCOMPARE(dlg.FileNameDisplay()->text(), QString());
        QCOMPARE(dlg.WaitDisplay()->text(), QString());
        QVERIFY(QFileInfo::exists(File(QStringLiteral("img8.jpg"))));
        QVERIFY(dlg.FailureLine()->isHidden());

        // A folder that cannot be made: each save fails, the series still takes every picture.
        const QString blocker = File(QStringLiteral("blocker"));
        QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
        QVERIFY(ini.WriteString(section, QStringLiteral("FilePath"), blocker + QStringLiteral("/sub")));
        dlg.Edit(CIntervalCapDlg::FieldWait)->setText(QStringLiteral("0"));
        QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.NumberDisplay()->text(), QStringLiteral("1"), 10000);
        QVERIFY(dlg.FailureLine()->isVisible());
        QVERIFY(dlg.FailureLine()->text().contains(QStringLiteral("img9.jpg")));
        QTRY_COMPARE_WITH_TIMEOUT(dlg.NumberDisplay()->text(), QStringLiteral("2"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.Series().IsRunning(), 10000);

        // Stop clears the displays at once.
        QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.NumberDisplay()->text(), QStringLiteral("1"), 10000);
        QTest::mouseClick(dlg.StopButton(), Qt::LeftButton);
        QVERIFY(!dlg.Series().IsRunning());
        QCOMPARE(dlg.NumberDisplay()->text(), QString());
    }
};

QTEST_MAIN(RecordDialogsTest)
#include "record_dialogs_test.moc"
