// The application shell: the main window's menus, toolbars and zoom box built from the command
// table and following the active document, the language menu, the single-instance socket,
// start-up and shut-down keeping settings and layout, the splash and the About box.

#include "test_support.h"
#include "ui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QLocalSocket>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QtTest>
#include <set>

#include "app/scope_app.h"
#include "app/single_instance.h"
#include "camera/camera_manager.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "overlay/element_manager.h"
#include "overlay/elements.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "settings/profile_file.h"
#include "ui/about_dlg.h"
#include "ui/child_frame.h"
#include "ui/qt_prompt.h"
#include "ui/scope_view.h"
#include "ui/splash_wnd.h"

namespace {

// Every command id reachable from a set of menus, submenus included.
void CollectIds(const QMenu* menu, std::set<int>& ids) {
    for (QAction* a : menu->actions()) {
        if (a->menu())
            CollectIds(a->menu(), ids);
        else if (a->data().isValid())
            ids.insert(a->data().toInt());
    }
}
std::set<int> MenuIds(const QList<QMenu*>& menus) {
    std::set<int> ids;
    for (const QMenu* m : menus) CollectIds(m, ids);
    return ids;
}

QString WritePicture(const QString& folder, const QString& name, QSize size = {320, 240},
                     QColor colour = QColor(40, 90, 160)) {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(image.rect(), colour);
    p.fillRect(QRect(20, 20, 60, 40), Qt::yellow);
    p.end();
    const QString path = folder + u'/' + name;
    image.save(path);
    return path;
}

// A main frame with a recording prompt (dialogs would block the test).
struct FrameFixture {
    CRecordingPrompt prompt;  // outlives the frame and its documents
    CMainFrame frame;
    FrameFixture() { theApp().prompt = &prompt; }
    ~FrameFixture() { theApp().prompt = nullptr; }
};

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // Documents of this run, and the settings file beside the program copied as a first
        // start would.
        InitAppFolders(QCoreApplication::applicationDirPath(),
                       m_dir.path() + QStringLiteral("/Documents"));
        QDir().mkpath(g_strImageFolder);
        QDir().mkpath(g_strDataFolder + QStringLiteral("csvdata"));
        QVERIFY(QFile::copy(g_strExeFolder + QStringLiteral("Setting.ini"), g_strIniPath));
        QFile::setPermissions(g_strIniPath, QFile::ReadOwner | QFile::WriteOwner);
    }

    void titleAndWindow() {
        CMainFrame frame;
        QCOMPARE(frame.windowTitle(), QStringLiteral("NorvaneScope"));
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const QImage shot = frame.grab().toImage();
        QCOMPARE(shot.size(), frame.size() * frame.devicePixelRatio());
        QCOMPARE(theApp().frame, static_cast<IScopeDocFrame*>(&frame));
    }

    void menusAndBarsComeFromTheCommandTable() {
        CMainFrame frame;
        const std::set<int> imageIds = MenuIds(frame.ImageWindowMenus());
        for (const DocCommand& c : DocCommands())
            if (c.menuText) QVERIFY2(imageIds.count(c.id), qPrintable(QString::number(c.id)));
        // The menu shown without an image window holds no document command and no language.
        const std::set<int> bareIds = MenuIds(frame.NoWindowMenus());
        for (const DocCommand& c : DocCommands()) QVERIFY(!bareIds.count(c.id));
        QVERIFY(bareIds.count(ID_FILE_OPEN) && bareIds.count(ID_APP_ABOUT));
        QVERIFY(!bareIds.count(ID_LANGUAGE + 1));

        // "&Save           Ctrl+S": the label, and the accelerator as a real shortcut.
        QAction* save = frame.CommandAction(ID_FILE_SAVE);
        QCOMPARE(save->text(), QStringLiteral("&Save"));
        QCOMPARE(save->shortcut(), QKeySequence(QKeySequence::Save));
        // The language submenu follows "Save &Option" in its menu.
        const QList<QAction*> items = frame.ImageWindowMenus().front()->actions();
        const qsizetype option = items.indexOf(frame.CommandAction(ID_SAVE_OPTION));
        QVERIFY(option >= 0 && option + 1 < items.size());
        QCOMPARE(items[option + 1]->menu(), frame.LanguageMenu());

        // Four bars with their names, each button with a picture; the zoom box at position 10.
        struct Bar {
            QToolBar* bar;
            const char* name;
            const char* title;
        } bars[] = {{frame.StandardBar(), "StandardToolbar", "Standard Toolbar"},
                    {frame.MeasureBar(), "MeasureToolbar", "Measure Toolbar"},
                    {frame.ProcessBar(), "ProcessToolbar", "Process Toolbar"},
                    {frame.AnnotationBar(), "AnnotationToolbar", "Annotation Toolbar"}};
        for (const Bar& b : bars) {
            QCOMPARE(b.bar->objectName(), QString::fromLatin1(b.name));
            QCOMPARE(b.bar->windowTitle(), QString::fromLatin1(b.title));
            for (QAction* a : b.bar->actions()) {
                if (a->isSeparator() || !a->data().isValid()) continue;
                QVERIFY2(!a->icon().pixmap(24, 24).isNull(), qPrintable(a->text()));
                QVERIFY(!a->toolTip().isEmpty());
            }
        }
        QCOMPARE(frame.MeasureBar()->allowedAreas(), Qt::RightToolBarArea);
        QCOMPARE(frame.toolBarArea(frame.MeasureBar()), Qt::RightToolBarArea);
        QCOMPARE(frame.StandardBar()->widgetForAction(frame.StandardBar()->actions().at(10)),
                 static_cast<QWidget*>(frame.ZoomBox()));
        QCOMPARE(frame.ZoomBox()->count(), 11);
        QCOMPARE(frame.ZoomBox()->currentText(), QStringLiteral("100%"));
        for (int pane = 1; pane <= 3; ++pane) QCOMPARE(frame.StatusPane(pane)->width(), 120);
        QCOMPARE(frame.CameraPane()->windowTitle(), QStringLiteral("Camera"));
    }

    // Each dialog opens from its command in the running main window (closed again at once).
    void dialogsOpenFromTheirCommands() {
        FrameFixture f;
        CMainFrame& frame = f.frame;
        CChildFrame* child = frame.OpenDocumentFile(WritePicture(m_dir.path(), QStringLiteral("dlg.png")));
        QVERIFY(child);
        child->Document()->m_bProcessEnable = true;
        const std::pair<int, QString> cases[] = {
            {ID_FILE_SAVE_AS, QStringLiteral("Save As")},
            {ID_SAVE_AS_PLUS_MEASURE, QStringLiteral("Save As")},
            {ID_SAVE_OPTION, QStringLiteral("Save Option")},
            {ID_MEASURE_SETTING, QStringLiteral("Measure Setting")},
            {ID_BINARY, QStringLiteral("Binary")},
            {ID_RGB, QStringLiteral("RGB Adjusting")},
            {ID_MIX, QStringLiteral("Image Mix")},
            {ID_STITCHING, QStringLiteral("Stitching")},
            {ID_HDR, QStringLiteral("HDR")},
            {ID_EDF, QStringLiteral("EDF")},
        };
        for (const auto& [id, title] : cases) {
            frame.UpdateCommandStates();
            QVERIFY2(frame.CommandAction(id)->isEnabled(), qPrintable(QString::number(id)));
            QString seen;
            QTimer::singleShot(50, [&seen] {
                if (QWidget* w = QApplication::activeModalWidget()) {
                    seen = w->windowTitle();
                    w->close();
                }
            });
            frame.CommandAction(id)->trigger();
            QCOMPARE(seen, title);
        }
        // Calibration shows the ruler and its modeless dialog, and hides both again.
        CScopeDoc* doc = child->Document();
        frame.CommandAction(ID_CALIBRATION)->trigger();
        QVERIFY(doc->ElemMgr().IsRulerShown());
        QWidget* ruler = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == QStringLiteral("Ruler Setting")) ruler = w;
        QVERIFY(ruler);
        frame.CommandAction(ID_CALIBRATION)->trigger();
        QVERIFY(!doc->ElemMgr().IsRulerShown());
        QVERIFY(!ruler->isVisible());
    }

    void commandsFollowTheActiveDocument() {
        FrameFixture f;
        CMainFrame& frame = f.frame;
        // No window: document commands are off, the application's on.
        QVERIFY(!frame.CommandAction(ID_TOOL_LINE)->isEnabled());
        QVERIFY(frame.CommandAction(ID_FILE_NEW)->isEnabled());
        QVERIFY(frame.CommandAction(ID_FILE_OPEN)->isEnabled());

        const QString path = WritePicture(m_dir.path(), QStringLiteral("still.png"));
        CChildFrame* child = frame.OpenDocumentFile(path);
        QVERIFY(child);
        CScopeDoc* doc = frame.ActiveDocument();
        QCOMPARE(doc, child->Document());
        QVERIFY(!doc->m_bLive);
        QCOMPARE(frame.windowTitle(), QStringLiteral("NorvaneScope - [still.png]"));
        QCOMPARE(frame.menuBar()->actions().size(), frame.ImageWindowMenus().size());
        QCOMPARE(frame.RecentFiles().value(0), QFileInfo(path).absoluteFilePath());
        // Opening it again brings the same window forward.
        QCOMPARE(frame.OpenDocumentFile(path), child);
        QCOMPARE(frame.MdiArea()->subWindowList().size(), 1);

        frame.UpdateCommandStates();
        for (int id : {ID_CAPTURE, ID_PAUSE, ID_PREVIEW, ID_FULL_SCREEN, ID_RECORD})
            QVERIFY2(!frame.CommandAction(id)->isEnabled(), qPrintable(QString::number(id)));
        for (int id : {ID_FLIP_VERTICAL, ID_GRAY, ID_NEGATIVE, ID_BINARY})
            QVERIFY2(!frame.CommandAction(id)->isEnabled(), qPrintable(QString::number(id)));
        QVERIFY(frame.CommandAction(ID_PROCESS_ENABLE)->isEnabled());
        QVERIFY(frame.CommandAction(ID_FILE_SAVE)->isEnabled());
        // A window's command whose window does not exist yet is not offered; one whose
        // dialog exists is.
        QVERIFY(!frame.CommandAction(ID_UVC_PAGES)->isEnabled());
        QVERIFY(frame.CommandAction(ID_FILE_SAVE_AS)->isEnabled());

        frame.CommandAction(ID_PROCESS_ENABLE)->trigger();
        QVERIFY(doc->m_bProcessEnable);
        QVERIFY(frame.CommandAction(ID_PROCESS_ENABLE)->isChecked());
        QVERIFY(frame.CommandAction(ID_GRAY)->isEnabled());
        const uint32_t before = doc->m_image.ReadPixel(100, 100);
        frame.CommandAction(ID_NEGATIVE)->trigger();
        QVERIFY(doc->m_bNegative);
        QVERIFY(frame.CommandAction(ID_NEGATIVE)->isChecked());
        QVERIFY(doc->m_image.ReadPixel(100, 100) != before);

        // Tools are exclusive and checked by the document's tool.
        frame.CommandAction(ID_TOOL_LINE)->trigger();
        QCOMPARE(doc->m_nTool, 2);
        QVERIFY(frame.CommandAction(ID_TOOL_LINE)->isChecked());
        frame.CommandAction(ID_TOOL_RECT)->trigger();
        QCOMPARE(doc->m_nTool, 4);
        QVERIFY(!frame.CommandAction(ID_TOOL_LINE)->isChecked());
        QVERIFY(frame.CommandAction(ID_TOOL_RECT)->isChecked());
        // Cross lines: turning the dashed one on turns the solid one off.
        frame.CommandAction(ID_CROSS_SOLID)->trigger();
        frame.CommandAction(ID_CROSS_DASHED)->trigger();
        QVERIFY(doc->m_bCrossDashed && !doc->m_bCrossSolid);
        QVERIFY(frame.CommandAction(ID_CROSS_DASHED)->isChecked());
        QVERIFY(!frame.CommandAction(ID_CROSS_SOLID)->isChecked());
        // Save writes the picture under the naming scheme and says where.
        f.prompt.clearCalls();
        frame.CommandAction(ID_FILE_SAVE)->trigger();
        QCOMPARE(f.prompt.calls().size(), size_t(1));
        const QString saved = f.prompt.calls()[0].text.section(QStringLiteral("  "), 1);
        QVERIFY2(QFileInfo(saved).isFile(), qPrintable(saved));
        QVERIFY(QImage(saved).size() == QSize(320, 240));
        // Delete All leaves only the ruler.
        doc->ElemMgr().CreateElement(1);
        QVERIFY(doc->ElemMgr().ElementCount() > 1);
        frame.CommandAction(ID_TOOL_DELETE_ALL)->trigger();
        QCOMPARE(doc->ElemMgr().ElementCount(), 1);

        // Closing the last window brings back the menu without image windows.
        child->close();
        QTRY_COMPARE(frame.MdiArea()->subWindowList().size(), 0);
        QTRY_COMPARE(frame.menuBar()->actions().size(), frame.NoWindowMenus().size());
        QVERIFY(!frame.CommandAction(ID_TOOL_LINE)->isEnabled());
        QCOMPARE(frame.windowTitle(), QStringLiteral("NorvaneScope"));
    }

    void liveDocumentFollowsTheCamera() {
        qputenv("NORVANESCOPE_SIM_CAMERAS", "none,mc-a=1");
        theCameraManager().Startup(g_strExeFolder.toStdString());
        {
            FrameFixture f;
            CMainFrame& frame = f.frame;
            frame.SelectCamera(0);
            CScopeDoc* live = CScopeDoc::FindLiveDocument();
            QVERIFY(live);
            QCOMPARE(frame.ActiveDocument(), live);
            QCOMPARE(frame.windowTitle(), QStringLiteral("NorvaneScope - [MC-A]"));
            QCOMPARE(frame.StatusPane(1)->text(),
                     QStringLiteral("%1 x %2").arg(live->m_nFrameWidth).arg(live->m_nFrameHeight));
            frame.UpdateCommandStates();
            QVERIFY(!frame.CommandAction(ID_FILE_NEW)->isEnabled());
            QVERIFY(frame.CommandAction(ID_CAPTURE)->isEnabled());
            QVERIFY(frame.CommandAction(ID_FULL_SCREEN)->isEnabled());
            QVERIFY(!frame.CommandAction(ID_PREVIEW)->isEnabled());

            frame.CommandAction(ID_PAUSE)->trigger();
            QVERIFY(!live->m_bPlaying);
            QVERIFY(frame.CommandAction(ID_PREVIEW)->isEnabled());
            QVERIFY(!frame.CommandAction(ID_CAPTURE)->isEnabled());
            frame.CommandAction(ID_PREVIEW)->trigger();
            QVERIFY(live->m_bPlaying);

            // Full screen goes through the view, and back.
            CScopeView* view = CScopeView::ForDocument(live);
            frame.CommandAction(ID_FULL_SCREEN)->trigger();
            QVERIFY(view->IsFullScreen());
            frame.CommandAction(ID_FULL_SCREEN)->trigger();
            QVERIFY(!view->IsFullScreen());

            // Capture opens a still document beside the live one.
            frame.CommandAction(ID_CAPTURE)->trigger();
            QCOMPARE(frame.MdiArea()->subWindowList().size(), 2);
            CScopeDoc* still = frame.ActiveDocument();
            QVERIFY(still && !still->m_bLive && still->m_image.IsValid());

            // Closing the live window gives New Preview back; it opens the live picture again.
            CChildFrame::ForDocument(live)->close();
            QTRY_VERIFY(!CScopeDoc::FindLiveDocument());
            frame.UpdateCommandStates();
            QVERIFY(frame.CommandAction(ID_FILE_NEW)->isEnabled());
            frame.CommandAction(ID_FILE_NEW)->trigger();
            QVERIFY(CScopeDoc::FindLiveDocument());
            QVERIFY(!frame.CommandAction(ID_FILE_NEW)->isEnabled());
        }
        theCameraManager().Shutdown();
        qputenv("NORVANESCOPE_SIM_CAMERAS", "none");
    }

    // A new tab shows its own picture at once, not the one of the tab before.
    void newDocumentShowsItsOwnPicture() {
        FrameFixture f;
        f.frame.resize(1000, 700);
        f.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        const QColor colours[] = {QColor(200, 30, 30), QColor(30, 200, 30), QColor(30, 30, 200)};
        int n = 0;
        for (const QColor& c : colours) {
            const QString name = QStringLiteral("own%1.png").arg(n++);
            CChildFrame* child = f.frame.OpenDocumentFile(WritePicture(m_dir.path(), name, {640, 480}, c));
            QVERIFY(child);
            QApplication::processEvents();
            QMdiArea* area = f.frame.MdiArea();
            QCOMPARE(area->activeSubWindow(), child);
            QCOMPARE(child->geometry(), area->viewport()->rect());
            const QImage shot = area->viewport()->grab().toImage();
            const QColor centre = shot.pixelColor(shot.width() / 2, shot.height() * 2 / 3);
            QVERIFY2(centre == c, qPrintable(name + u' ' + centre.name()));
        }
    }

    // The polygon tool says how a polygon closes; choosing another tool finishes one drawn
    // half (closed with three corners, gone with fewer) instead of leaving it hanging.
    void polygonToolHintAndHalfDrawnPolygons() {
        FrameFixture f;
        CChildFrame* child = f.frame.OpenDocumentFile(WritePicture(m_dir.path(), QStringLiteral("poly.png")));
        QVERIFY(child);
        CScopeDoc* doc = child->Document();
        CGVLElemMgr& mgr = doc->ElemMgr();
        const QString hint = QStringLiteral("Click the corners of the polygon; a right click closes it.");
        auto corners = [&](std::initializer_list<QPoint> points) {
            for (const QPoint& p : points) {
                mgr.OnLButtonDown(1, doc->m_nTool, p);
                mgr.OnLButtonUp(0, doc->m_nTool, p);
            }
        };
        const int before = mgr.ElementCount();

        f.frame.CommandAction(ID_TOOL_POLYGON)->trigger();
        QCOMPARE(f.frame.statusBar()->currentMessage(), hint);
        corners({QPoint(20, 20), QPoint(120, 20), QPoint(120, 90)});
        f.frame.CommandAction(ID_TOOL_LINE)->trigger();
        QCOMPARE(mgr.ElementCount(), before + 1);
        auto* polygon = dynamic_cast<CGVLPolygon*>(mgr.GetElement(before));
        QVERIFY(polygon && polygon->IsClosed());
        QCOMPARE(polygon->PointCount(), 3);
        QVERIFY(!polygon->ResultTexts().isEmpty());
        QVERIFY(f.frame.statusBar()->currentMessage() != hint);

        f.frame.CommandAction(ID_TOOL_POLYGON)->trigger();
        corners({QPoint(30, 100), QPoint(90, 110)});
        QCOMPARE(mgr.ElementCount(), before + 2);
        f.frame.CommandAction(ID_TOOL_MOVE)->trigger();
        QCOMPARE(mgr.ElementCount(), before + 1);
    }

    // A captured or changed picture never saved is not lost without asking: a language change
    // (which restarts), closing the program and closing its tab ask Save / Discard / Cancel.
    void unsavedWorkAsksBeforeItGoes() {
        qputenv("NORVANESCOPE_SIM_CAMERAS", "none,mc-a=1");
        theCameraManager().Startup(g_strExeFolder.toStdString());
        QVERIFY(LoadLanguage(QStringLiteral("en"), g_strExeFolder));
        {
            FrameFixture f;
            CMainFrame& frame = f.frame;
            frame.show();
            frame.SelectCamera(0);
            CScopeDoc* live = CScopeDoc::FindLiveDocument();
            QVERIFY(live && !live->IsModified());
            frame.CommandAction(ID_CAPTURE)->trigger();
            CScopeDoc* snap = frame.ActiveDocument();
            QVERIFY(snap && snap != live && snap->IsModified());
            auto asked = [&f] {
                for (const CRecordingPrompt::Call& c : f.prompt.calls())
                    if (c.kind == CRecordingPrompt::Kind::SaveChanges) return c.text;
                return QString();
            };

            // The language change: agreeing to the restart, then Cancel for the picture.
            CProfileFile ini(g_strIniPath);
            const QString language = ini.GetString(QStringLiteral("Norvane"), QStringLiteral("Language"));
            f.prompt.queueYesNo(true);
            f.prompt.queueSaveChanges(SaveChoice::Cancel);
            frame.SwitchLanguage(37002);
            QVERIFY(asked().contains(snap->GetTitle()));
            QCOMPARE(ini.GetString(QStringLiteral("Norvane"), QStringLiteral("Language")), language);
            QVERIFY(!g_bRestartOnExit);
            QCoreApplication::processEvents();
            QVERIFY(frame.isVisible());

            // Closing the program: Cancel keeps it running and the picture open.
            f.prompt.clearCalls();
            f.prompt.queueSaveChanges(SaveChoice::Cancel);
            QVERIFY(!frame.close());
            QVERIFY(frame.isVisible());
            QVERIFY(!asked().isEmpty());
            QCOMPARE(frame.MdiArea()->subWindowList().size(), 2);

            // Closing its tab: Save runs Save As; a dialog left with Cancel keeps the tab.
            CChildFrame* child = CChildFrame::ForDocument(snap);
            f.prompt.queueSaveChanges(SaveChoice::Save);
            QTimer::singleShot(100, [] {
                if (QWidget* w = QApplication::activeModalWidget()) static_cast<QDialog*>(w)->reject();
            });
            QVERIFY(!child->close());
            QVERIFY(snap->IsModified());
            // Save with OK writes the picture; then the tab closes without another question.
            f.prompt.clearCalls();
            f.prompt.queueSaveChanges(SaveChoice::Save);
            QString saved;
            QTimer::singleShot(100, [&saved] {
                if (auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    saved = w->windowTitle();
                    w->accept();
                }
            });
            QPointer<CChildFrame> guard(child);
            child->close();
            QCOMPARE(saved, QStringLiteral("Save As"));
            QTRY_VERIFY(guard.isNull());

            // A changed file asks too; Discard lets it go.
            CChildFrame* file = frame.OpenDocumentFile(WritePicture(m_dir.path(), QStringLiteral("changed.png")));
            QVERIFY(file && !file->Document()->IsModified());
            frame.CommandAction(ID_PROCESS_ENABLE)->trigger();
            frame.CommandAction(ID_NEGATIVE)->trigger();
            QVERIFY(file->Document()->IsModified());
            f.prompt.clearCalls();
            f.prompt.queueSaveChanges(SaveChoice::Discard);
            guard = file;
            file->close();
            QVERIFY(!asked().isEmpty());
            QTRY_VERIFY(guard.isNull());
            // Nothing unsaved is left: the program closes without a question.
            f.prompt.clearCalls();
            QVERIFY(frame.close());
            QVERIFY(asked().isEmpty());
        }
        ClearLanguageTable();
        theCameraManager().Shutdown();
        qputenv("NORVANESCOPE_SIM_CAMERAS", "none");
    }

    // Help opens the manual of the program's language; when no program can show it (nothing to
    // start on this PATH) the user is told where the file is, and likewise for the folder.
    void helpAndFolderNameTheFileWhenNothingShowsThem() {
        FrameFixture f;
        const QString manual = g_strExeFolder + QStringLiteral("NorvaneScope_en.pdf");
        QVERIFY2(QFileInfo(manual).isFile(), qPrintable(manual));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", m_dir.path().toLocal8Bit());
        g_strHelpFile = QStringLiteral("NorvaneScope_fr.pdf");  // no French one: the English
        f.frame.OnCommand(ID_HELP_HOW_TO_USE);
        QVERIFY(!f.prompt.calls().empty());
        QVERIFY2(f.prompt.calls().back().text.endsWith(QDir::toNativeSeparators(manual)),
                 qPrintable(f.prompt.calls().back().text));
        f.frame.OnCommand(ID_OPEN_IMAGE_FOLDER);
        QVERIFY(f.prompt.calls().back().text.contains(QStringLiteral("Images")));
        qputenv("PATH", path);
        g_strHelpFile = QStringLiteral("NorvaneScope_en.pdf");
    }

    void unreadablePictureOpensNothing() {
        FrameFixture f;
        const QString path = m_dir.path() + QStringLiteral("/broken.png");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        QVERIFY(!f.frame.OpenDocumentFile(path));
        QCOMPARE(f.frame.MdiArea()->subWindowList().size(), 0);
        QCOMPARE(theApp().m_nNewDocKind, 0);
        QVERIFY(!f.prompt.calls().empty());
        QCOMPARE(f.prompt.calls().back().text, QStringLiteral("Invalid Image Format"));
    }

    void zoomBoxReachesTheDocument() {
        FrameFixture f;
        CChildFrame* child =
            f.frame.OpenDocumentFile(WritePicture(m_dir.path(), QStringLiteral("zoom.png")));
        QVERIFY(child);
        CScopeDoc* doc = child->Document();
        QComboBox* box = f.frame.ZoomBox();
        QVERIFY(box->isEnabled());
        box->setFocus();
        const int start = box->currentIndex();
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->currentIndex(), start + 1);
        QCOMPARE(doc->m_nZoomIndex, start + 1);
        // And back: the document's zoom selects the box entry.
        doc->SelectZoom(1);
        f.frame.UpdateCommandStates();
        QCOMPARE(box->currentText(), QStringLiteral("200%"));
    }

    // Qt's own dialog texts follow the chosen language; English has none to load.
    void qtDialogTextsFollowTheLanguage() {
        const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
        QCOMPARE(cancel, QStringLiteral("Cancel"));
        QVERIFY(CScopeApp::InstallQtTranslation(QStringLiteral("de")));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
        QVERIFY(!CScopeApp::InstallQtTranslation(QStringLiteral("xx")));
        // A failed load keeps the language that was there.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
        QVERIFY(CScopeApp::InstallQtTranslation(QStringLiteral("fr")));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Annuler"));
        // Back to untranslated for the other tests.
        CScopeApp::RemoveQtTranslation();
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    }

    void languageMenuListsTheShippedLanguages() {
        QVERIFY(LoadLanguage(QStringLiteral("en"), g_strExeFolder));
        FrameFixture f;
        f.frame.RebuildLanguageMenu();
        // The shipped languages only, no empty entries for the unused slots.
        const QList<QAction*> items = f.frame.LanguageMenu()->actions();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0]->text(), QStringLiteral("English"));
        QCOMPARE(items[1]->text(), QStringLiteral("Deutsch"));
        QCOMPARE(items[1]->data().toInt(), 37002);
        // The zoom entry kept in Chinese in the code reads English in the English interface.
        QCOMPARE(f.frame.ZoomBox()->itemText(10), QStringLiteral("Fit to window"));

        // Declining the restart changes nothing; agreeing writes the language and closes.
        CProfileFile ini(g_strIniPath);
        const QString before = ini.GetString(QStringLiteral("Norvane"), QStringLiteral("Language"));
        f.frame.show();
        f.prompt.queueYesNo(false);
        items[1]->trigger();
        QCOMPARE(ini.GetString(QStringLiteral("Norvane"), QStringLiteral("Language")), before);
        QVERIFY(!g_bRestartOnExit);
        f.prompt.queueYesNo(true);
        items[1]->trigger();
        QCOMPARE(ini.GetString(QStringLiteral("Norvane"), QStringLiteral("Language")),
                 QStringLiteral("de"));
        QVERIFY(g_bRestartOnExit);
        QTRY_VERIFY(!f.frame.isVisible());
        g_bRestartOnExit = false;
        ini.WriteString(QStringLiteral("Norvane"), QStringLiteral("Language"), before);
        ClearLanguageTable();

        // A settings file that cannot be written: said so, and no restart into the old language.
        const QString iniPath = g_strIniPath;
        g_strIniPath = m_dir.path();
        f.frame.show();
        f.prompt.clearCalls();
        f.prompt.queueYesNo(true);
        f.frame.SwitchLanguage(37002);
        g_strIniPath = iniPath;
        QVERIFY(!g_bRestartOnExit);
        QCOMPARE(f.prompt.calls().back().caption, QStringLiteral("Error"));
        QCoreApplication::processEvents();  // a queued close would run here
        QVERIFY(f.frame.isVisible());
    }

    void singleInstanceAnswersActivation() {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/instance");
        // A file left where the socket belongs (a crashed run) does not stop the first start.
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        CSingleInstance first;
        QCOMPARE(first.Start(path), CSingleInstance::Result::First);
        QVERIFY(first.IsListening());
        int requests = 0;
        connect(&first, &CSingleInstance::activationRequested, this, [&requests] { ++requests; });

        // A client speaking the protocol gets its answer after the activation ran.
        QLocalSocket client;
        client.connectToServer(path);
        QVERIFY(client.waitForConnected(10000));
        client.write(CSingleInstance::kActivateMessage);
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT((answer += client.readAll()).contains('\n'), 20000);
        QCOMPARE(answer, QByteArray(CSingleInstance::kActivatedAnswer));
        QCOMPARE(requests, 1);

        // A second start (blocking, as at program start) is told to end.
        CSingleInstance::Result second = CSingleInstance::Result::First;
        std::unique_ptr<QThread> thread(QThread::create([&] {
            CSingleInstance other;
            second = other.Start(path, 20000);
        }));
        thread->start();
        QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), 30000);
        QCOMPARE(second, CSingleInstance::Result::Activated);
        QCOMPARE(requests, 2);

        // Released, the name is free for the next start.
        first.Release();
        CSingleInstance next;
        QCOMPARE(next.Start(path), CSingleInstance::Result::First);
    }

    void activationBringsTheWindowForward() {
        FrameFixture f;
        f.frame.OnActivationRequest();
        QVERIFY(f.frame.isVisible());
        QVERIFY(f.frame.isMaximized());
        QCOMPARE(f.prompt.calls().size(), size_t(1));
        QCOMPARE(f.prompt.calls()[0].caption, QStringLiteral("Hint"));
        QCOMPARE(f.prompt.calls()[0].text, QStringLiteral("Already having one instance running!"));
    }

    void startAndShutDownKeepSettingsAndLayout() {
        QTemporaryDir docs;
        QTemporaryDir run;
        const QString picture = WritePicture(docs.path(), QStringLiteral("kept.png"));
        const QString dataFolder = docs.path() + QStringLiteral("/NorvaneScope/");
        {
            CScopeApp app({QCoreApplication::applicationFilePath()});
            app.SetDocumentsFolder(docs.path());
            app.SetInstanceSocket(run.path() + QStringLiteral("/instance"));
            app.SetSplashAllowed(false);
            QVERIFY(app.InitInstance());
            // First start: folders, the settings file and the language identifier.
            for (const char* sub : {"Images", "nrrdata", "csvdata"})
                QVERIFY(QFileInfo(dataFolder + QLatin1String(sub)).isDir());
            QCOMPARE(g_strIniPath, dataFolder + QStringLiteral("Setting.ini"));
            QCOMPARE(CProfileFile(g_strIniPath)
                         .GetInt(QStringLiteral("Lang"), QStringLiteral("LangId"), -1),
                     SystemLanguageId());
            QVERIFY(theSettings.bLoaded);
            CMainFrame* frame = app.MainFrame();
            QVERIFY(frame && frame->isVisible());
            QVERIFY(app.Instance().IsListening());
            // No camera attached: no live document.
            QCOMPARE(frame->MdiArea()->subWindowList().size(), 0);

            CChildFrame* child = frame->OpenDocumentFile(picture);
            QVERIFY(child);
            frame->ZoomBox()->setFocus();
            child->Document()->SelectZoom(7);
            frame->CommandAction(ID_VIEW_MEASURE_BAR)->trigger();
            frame->CommandAction(ID_VIEW_CAMERA_PANE)->trigger();
            QVERIFY(frame->MeasureBar()->isHidden());
            QVERIFY(frame->CameraPane()->isHidden());
            QCOMPARE(app.ExitInstance(), 0);
            QVERIFY(!app.Instance().IsListening());
        }
        // What the next start reads back.
        LoadDefaultSettings();
        QCOMPARE(theSettings.zoom.ZoomCurSel, 10);
        {
            CScopeApp app({QCoreApplication::applicationFilePath()});
            app.SetDocumentsFolder(docs.path());
            app.SetInstanceSocket(run.path() + QStringLiteral("/instance"));
            app.SetSplashAllowed(false);
            QVERIFY(app.InitInstance());
            QCOMPARE(theSettings.zoom.ZoomCurSel, 7);
            QCOMPARE(theSettings.cameraPane.bCamPaneVisible, 0);
            CMainFrame* frame = app.MainFrame();
            QVERIFY(frame->CameraPane()->isHidden());
            QVERIFY(frame->MeasureBar()->isHidden());
            QVERIFY(!frame->StandardBar()->isHidden());
            // The picture open at the last close is open again.
            QCOMPARE(frame->OpenDocumentPaths(), QStringList{picture});
            QCOMPARE(frame->ActiveDocument()->m_nZoomIndex, 7);
            app.ExitInstance();
        }
        // A picture named on the command line opens instead of the last ones.
        {
            const QString other = WritePicture(docs.path(), QStringLiteral("named.png"));
            CScopeApp app(
                {QCoreApplication::applicationFilePath(), other, QStringLiteral("-nosplash")});
            app.SetDocumentsFolder(docs.path());
            app.SetInstanceSocket(run.path() + QStringLiteral("/instance"));
            QVERIFY(app.InitInstance());
            QVERIFY(!g_bShowSplash);
            QCOMPARE(app.MainFrame()->OpenDocumentPaths(), QStringList{other});
            app.ExitInstance();
        }
    }

    void commandLineOptions() {
        struct Case {
            QStringList args;
            bool splash;
            int pictures;
        } cases[] = {
            {{"prog"}, true, 0},
            {{"prog", "a.png"}, true, 1},
            {{"prog", "/nologo", "a.png", "b.bmp"}, false, 2},
            {{"prog", "-nosplash"}, false, 0},
            {{"prog", "/ini", "Other.ini", "/tmp/c.jpg"}, true, 1},
        };
        for (const Case& c : cases) {
            bool splash = !c.splash;
            const QStringList pictures = CScopeApp::PicturesOnCommandLine(c.args, &splash);
            QCOMPARE(splash, c.splash);
            QCOMPARE(pictures.size(), c.pictures);
            for (const QString& p : pictures) QVERIFY(QFileInfo(p).isAbsolute());
        }
    }

    void splashClosesOnTheFirstClick() {
        QWidget window;
        window.resize(400, 300);
        int presses = 0;
        struct Counter : QObject {
            int* n;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::MouseButtonPress) ++*n;
                return false;
            }
        } counter;
        counter.n = &presses;
        window.installEventFilter(&counter);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        g_bShowSplash = false;
        CSplashWnd::Show(&window);
        QVERIFY(!CSplashWnd::Current());

        g_bShowSplash = true;
        CSplashWnd::Show(&window);
        QVERIFY(CSplashWnd::Current());
        QVERIFY(CSplashWnd::Current()->width() > 100);
        QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(50, 50));
        QTRY_VERIFY(!CSplashWnd::Current());
        QCOMPARE(presses, 0);
        // Afterwards clicks reach the window again.
        QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(presses, 1);

        // Left alone it closes by itself.
        CSplashWnd::Show(&window);
        QVERIFY(CSplashWnd::Current());
        QTRY_VERIFY_WITH_TIMEOUT(!CSplashWnd::Current(), 20000);
        g_bShowSplash = false;
    }

    void aboutTextsComeFromTheLanguageTable() {
        ClearLanguageTable();
        {
            CAboutDlg about;
            QCOMPARE(about.windowTitle(), QStringLiteral("About"));
            QCOMPARE(about.VersionLabel()->text(), QStringLiteral("Version"));
            QCOMPARE(about.WarningLabel()->text(), QStringLiteral("WARNING:"));
            QCOMPARE(about.NoticeLabel()->text(),
                     QStringLiteral("Copyright (C) Norvane TECH Year-Year"));
        }
        QVERIFY(LoadLanguage(QStringLiteral("de"), g_strExeFolder));
        {
            CAboutDlg about;
            QCOMPARE(about.windowTitle(), QStringLiteral("Info"));
            QVERIFY(
                about.VersionLabel()->text().startsWith(QStringLiteral("NorvaneScope Version")));
            QVERIFY(about.NoticeLabel()->text().endsWith(QStringLiteral("2024-2025")));
            QVERIFY(about.WarningLabel()->text().size() > 40);
            QCOMPARE(about.OkButton()->text(), QStringLiteral("OK"));
        }
        ClearLanguageTable();
    }

    void saveQuestionsAnsweredFromTheSaveFolder() {
        QTemporaryDir out;
        qputenv(kSaveDirVariable, out.path().toLocal8Bit());
        CQtPrompt prompt;
        const std::optional<QString> path =
            prompt.chooseSaveFile(QStringLiteral("Save As"), QStringLiteral("20250101120000"),
                                  QStringLiteral("CSV Files(*.csv)"));
        qunsetenv(kSaveDirVariable);
        QVERIFY(path);
        QCOMPARE(*path, out.path() + QStringLiteral("/20250101120000"));
    }
};

int main(int argc, char** argv) {
    // A home of its own: settings, Documents and the instance socket never touch the user's.
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    UseOwnHome(home.path().toStdString());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Norvane TECH"));
    Q_INIT_RESOURCE(norvanescope);
    MainFrameTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_frame_test.moc"
