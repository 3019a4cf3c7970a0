// Acquisition in the main window against SANE's "test" backend: the two File-menu commands, the
// selection dialog (devices with vendor, model and type, the default preselected, no device said
// so), the source's own dialog built from the device's options and remembered per device, a
// feeder scan whose pages open as documents while the window's event loop keeps running, cancel
// and device errors shown with SANE's reason, and the program's closing closing the source.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "camera/acquisition/sane_source_manager.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "sane_test_support.h"
#include "settings/app_folders.h"
#include "ui/child_frame.h"
#include "ui/main_frame.h"
#include "ui/sane_source_dlg.h"
#include "ui/select_source_dlg.h"

namespace {

struct FrameFixture {
    CRecordingPrompt prompt;
    CMainFrame frame;
    FrameFixture() { theApp().prompt = &prompt; }
    ~FrameFixture() { theApp().prompt = nullptr; }
};

// Runs a command whose dialog is modal, acting on the dialog once it shows.
template <class Dialog>
void WithModal(CMainFrame& frame, int command, const std::function<void(Dialog*)>& act) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY_WITH_TIMEOUT(qobject_cast<Dialog*>(QApplication::activeModalWidget()), 10000);
        seen = true;
        act(qobject_cast<Dialog*>(QApplication::activeModalWidget()));
    });
    frame.OnCommand(command);
    QVERIFY(seen);
}

CSaneSourceDlg* SourceDialog(CMainFrame& frame) {
    for (CSaneSourceDlg* d : frame.findChildren<CSaneSourceDlg*>())
        if (d->isVisible()) return d;
    return nullptr;
}

std::vector<CScopeDoc*> StillDocuments() {
    std::vector<CScopeDoc*> docs;
    for (CScopeDoc* d : CScopeDoc::AllDocuments())
        if (d->m_strPath.isEmpty() && !d->m_bLive) docs.push_back(d);
    return docs;
}

void Choose(QComboBox* box, const QVariant& value) {
    QVERIFY(box);
    const int i = box->findData(value);
    QVERIFY2(i >= 0, qPrintable(value.toString()));
    box->setCurrentIndex(i);
    emit box->activated(i);
}

}  // namespace

class AcquisitionTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QTemporaryDir m_sane;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid() && m_sane.isValid());
        // SANE keeps the folder it reads first: this program's own, before anything loads SANE.
        qputenv("SANE_CONFIG_DIR", m_sane.path().toLocal8Bit());
        InitAppFolders(QCoreApplication::applicationDirPath(),
                       m_dir.path() + QStringLiteral("/Documents"));
        QDir().mkpath(g_strImageFolder);
        QFile::copy(g_strExeFolder + QStringLiteral("Setting.ini"), g_strIniPath);
        QFile::setPermissions(g_strIniPath, QFile::ReadOwner | QFile::WriteOwner);
    }

    void init() {
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Norvane TECH"),
                  QStringLiteral("NorvaneScope"))
            .remove(QStringLiteral("Acquisition"));
    }

    void commandsStandInTheImageWindowFileMenu() {
        SaneTestFolder sane;
        FrameFixture f;
        const QList<QAction*> file = f.frame.ImageWindowMenus().front()->actions();
        const qsizetype setup = file.indexOf(f.frame.CommandAction(ID_FILE_PRINT_SETUP));
        QVERIFY(setup >= 0 && setup + 4 < file.size());
        QCOMPARE(file[setup + 1], f.frame.CommandAction(ID_SELECT_SOURCE));
        QCOMPARE(file[setup + 2], f.frame.CommandAction(ID_ACQUIRE));
        QCOMPARE(file[setup + 1]->text(), QStringLiteral("Select Source..."));
        QCOMPARE(file[setup + 2]->text(), QStringLiteral("Acquire..."));
        QVERIFY(file[setup + 3]->isSeparator());
        QCOMPARE(file[setup + 4]->menu()->title(), QStringLiteral("Recent File"));
        for (QAction* a : f.frame.NoWindowMenus().front()->actions()) {
            QVERIFY(a != f.frame.CommandAction(ID_SELECT_SOURCE));
            QVERIFY(a != f.frame.CommandAction(ID_ACQUIRE));
        }
        QVERIFY(f.frame.IsManagerOpen());
    }

    void selectionListsDevicesAndPreselectsTheDefault() {
        SaneTestFolder sane;
        FrameFixture f;
        WithModal<CSelectSourceDlg>(f.frame, ID_SELECT_SOURCE, [](CSelectSourceDlg* d) {
            QTRY_VERIFY_WITH_TIMEOUT(!d->IsSearching(), 10000);
            QTreeWidget* list = d->List();
            QCOMPARE(list->topLevelItemCount(), 2);
            const QTreeWidgetItem* second = list->topLevelItem(1);
            QCOMPARE(second->text(0), QStringLiteral("Noname"));
            QCOMPARE(second->text(1), QStringLiteral("frontend-tester"));
            QCOMPARE(second->text(2), QStringLiteral("virtual device"));
            QCOMPARE(second->text(3), QStringLiteral("test:1"));
            // No source used yet: the manager's default is the first one.
            QCOMPARE(d->SelectedDevice(), std::string("test:0"));
            list->setCurrentItem(list->topLevelItem(1));
            d->SelectButton()->click();
        });
        QCOMPARE(QString::fromLatin1(f.frame.SourceIdentity().ProductName),
                 QStringLiteral("test:1"));
        // The next selection starts from the one used last.
        WithModal<CSelectSourceDlg>(f.frame, ID_SELECT_SOURCE, [](CSelectSourceDlg* d) {
            QTRY_VERIFY_WITH_TIMEOUT(!d->IsSearching(), 10000);
            QCOMPARE(d->SelectedDevice(), std::string("test:1"));
            d->reject();
        });
    }

    void selectionSaysSoWithoutDevices() {
        SaneTestFolder none(SaneTestFolder::Conf{}, false);
        FrameFixture f;
        WithModal<CSelectSourceDlg>(f.frame, ID_SELECT_SOURCE, [](CSelectSourceDlg* d) {
            QTRY_VERIFY_WITH_TIMEOUT(!d->IsSearching(), 10000);
            QCOMPARE(d->List()->topLevelItemCount(), 0);
            QCOMPARE(d->StatusLabel()->text(),
                     QStringLiteral("No scanner or other acquisition source was found."));
            QVERIFY(!d->SelectButton()->isEnabled());
            d->reject();
        });
        QVERIFY(!f.frame.IsSourceIdentityKnown());
    }

    // The feeder's pages open as documents while the scan runs, and the window's event loop
    // keeps turning all the while.
    void feederScanKeepsTheWindowResponsive() {
        SaneTestFolder sane(
            SaneTestFolder::Conf{{"read-delay", "true"}, {"read-delay-duration", "200000"}});
        FrameFixture f;
        f.frame.show();
        const size_t before = StillDocuments().size();
        f.frame.OnCommand(ID_ACQUIRE);
        QVERIFY(f.frame.IsSourceEnabled());
        CSaneSourceDlg* dialog = SourceDialog(f.frame);
        QVERIFY(dialog);
        // Built from the device's options: the main ones and the scan area.
        for (const char* name :
             {"mode", "resolution", "source", "depth", "tl-x", "tl-y", "br-x", "br-y"})
            QVERIFY2(dialog->Editor(QString::fromLatin1(name)), name);
        Choose(qobject_cast<QComboBox*>(dialog->Editor(QStringLiteral("source"))),
               QStringLiteral("Automatic Document Feeder"));
        auto* resolution =
            qobject_cast<QDoubleSpinBox*>(dialog->Editor(QStringLiteral("resolution")));
        QVERIFY(resolution);
        resolution->setValue(50);
        QTRY_COMPARE(
            qobject_cast<QDoubleSpinBox*>(dialog->Editor(QStringLiteral("resolution")))->value(),
            50.0);

        int ticks = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
        heartbeat.start(20);
        dialog->ScanButton()->click();
        QVERIFY(dialog->ProgressBar()->isVisible());
        QVERIFY(dialog->CancelButton()->isVisible());
        QVERIFY(!dialog->ScanButton()->isEnabled());
        // Pages arrive while the device is still scanning.
        QTRY_VERIFY_WITH_TIMEOUT(StillDocuments().size() > before, 30000);
        QVERIFY(dialog->CancelButton()->isVisible());
        const int ticksAtFirstPage = ticks;
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->CancelButton()->isVisible(), 60000);
        QVERIFY2(ticks - ticksAtFirstPage >= 20,
                 qPrintable(QString::number(ticks - ticksAtFirstPage)));
        // The last page's transfer may still wait in the queue.
        QTRY_COMPARE(StillDocuments().size(), before + 10);
        const std::vector<CScopeDoc*> docs = StillDocuments();
        for (size_t i = before; i < docs.size(); ++i) {
            QCOMPARE(docs[i]->m_image.Width(), 157);
            QCOMPARE(docs[i]->m_image.Height(), 196);
            QCOMPARE(docs[i]->m_image.ColorBits(), 24);
            QCOMPARE(docs[i]->m_nImageState, 1);
        }
        QCOMPARE(dialog->StatusLabel()->text(), QStringLiteral("10 pages scanned."));

        // Close: the source closes, the manager stays open.
        dialog->CloseButton()->click();
        QTRY_VERIFY(!f.frame.IsSourceOpen());
        QVERIFY(f.frame.IsManagerOpen());
        QTRY_VERIFY(!SourceDialog(f.frame));
    }

    void sourceDialogRemembersTheDevicesValues() {
        SaneTestFolder sane;
        {
            FrameFixture f;
            const size_t before = StillDocuments().size();
            f.frame.OnCommand(ID_ACQUIRE);
            QVERIFY(SourceDialog(f.frame));
            Choose(qobject_cast<QComboBox*>(SourceDialog(f.frame)->Editor(QStringLiteral("mode"))),
                   QStringLiteral("Gray"));
            QTRY_VERIFY(SourceDialog(f.frame) &&
                        SourceDialog(f.frame)->Editor(QStringLiteral("depth")));
            Choose(qobject_cast<QComboBox*>(SourceDialog(f.frame)->Editor(QStringLiteral("depth"))),
                   16.0);
            QTRY_VERIFY(SourceDialog(f.frame) && SourceDialog(f.frame)->ScanButton()->isEnabled());
            SourceDialog(f.frame)->ScanButton()->click();
            QTRY_VERIFY_WITH_TIMEOUT(StillDocuments().size() == before + 1, 30000);
            QCOMPARE(StillDocuments().back()->m_image.ColorBits(), 24);
        }
        // Another run of the program (SANE loaded afresh, the device at its defaults): the
        // dialog comes back with the values of the last scan.
        FrameFixture f;
        f.frame.OnCommand(ID_ACQUIRE);
        CSaneSourceDlg* dialog = SourceDialog(f.frame);
        QVERIFY(dialog);
        QCOMPARE(qobject_cast<QComboBox*>(dialog->Editor(QStringLiteral("mode")))
                     ->currentData()
                     .toString(),
                 QStringLiteral("Gray"));
        QCOMPARE(qobject_cast<QComboBox*>(dialog->Editor(QStringLiteral("depth")))
                     ->currentData()
                     .toInt(),
                 16);
    }

    void cancelKeepsThePagesAndSaysWhy() {
        SaneTestFolder sane(
            SaneTestFolder::Conf{{"read-delay", "true"}, {"read-delay-duration", "200000"}});
        FrameFixture f;
        const size_t before = StillDocuments().size();
        f.frame.OnCommand(ID_ACQUIRE);
        CSaneSourceDlg* dialog = SourceDialog(f.frame);
        QVERIFY(dialog);
        Choose(qobject_cast<QComboBox*>(dialog->Editor(QStringLiteral("source"))),
               QStringLiteral("Automatic Document Feeder"));
        QTest::qWait(50);
        dialog = SourceDialog(f.frame);
        dialog->ScanButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(StillDocuments().size() > before, 30000);
        // Well into the second page.
        QTRY_VERIFY_WITH_TIMEOUT(
            dialog->StatusLabel()->text() == QStringLiteral("Scanning page 2...") &&
                dialog->ProgressBar()->value() >= 10,
            30000);
        dialog->CancelButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->MessageBox(), 30000);
        const QString text = dialog->MessageBox()->text();
        QVERIFY2(text.startsWith(QStringLiteral("The scan was stopped (Operation was cancel")),
                 qPrintable(text));
        // Every page the message counts as kept becomes a document.
        const QRegularExpressionMatch m =
            QRegularExpression(
                QStringLiteral("The (\\d+ pages|page) scanned before w(ere|as) kept\\.$"))
                .match(text);
        QVERIFY2(m.hasMatch(), qPrintable(text));
        const size_t kept =
            m.captured(1) == QStringLiteral("page") ? 1 : m.captured(1).split(u' ')[0].toUInt();
        QVERIFY(kept >= 1 && kept < 10);
        QTRY_COMPARE(StillDocuments().size() - before, kept);
        dialog->MessageBox()->accept();
        // Scanning again is possible.
        QVERIFY(dialog->ScanButton()->isEnabled());
    }

    void deviceErrorIsShownWithSanesReason() {
        SaneTestFolder sane(SaneTestFolder::Conf{{"read-status-code", "\"SANE_STATUS_IO_ERROR\""}});
        FrameFixture f;
        f.frame.OnCommand(ID_ACQUIRE);
        CSaneSourceDlg* dialog = SourceDialog(f.frame);
        QVERIFY(dialog);
        dialog->ScanButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->MessageBox(), 30000);
        QCOMPARE(dialog->MessageBox()->windowTitle(), QStringLiteral("Error"));
        QCOMPARE(dialog->MessageBox()->text(),
                 QStringLiteral(
                     "The scanner reported an error: Error during device I/O. No page was kept."));
    }

    void closingTheProgramClosesSourceAndManager() {
        SaneTestFolder sane;
        FrameFixture f;
        f.frame.show();
        f.frame.OnCommand(ID_ACQUIRE);
        QVERIFY(f.frame.IsSourceEnabled());
        QVERIFY(SourceDialog(f.frame));
        // Select Source while the source is open is answered with a hint.
        f.frame.OnCommand(ID_SELECT_SOURCE);
        QCOMPARE(f.prompt.calls().size(), size_t(1));
        QCOMPARE(f.prompt.calls()[0].caption, QStringLiteral("Hint"));
        f.frame.close();
        QVERIFY(!f.frame.IsSourceEnabled());
        QVERIFY(!f.frame.IsSourceOpen());
        QVERIFY(!f.frame.IsManagerOpen());
        QVERIFY(!f.frame.IsTwainLoaded());
        QCOMPARE(CSaneSourceManager::Instance(), nullptr);
        QTRY_VERIFY(!SourceDialog(f.frame));
    }
};

QTEST_MAIN(AcquisitionTest)
#include "acquisition_test.moc"
