// Counting in the real main window: Watershed from the Advanced menu with the settings dialog,
// the counting window it opens, the split mode in the overlay window and the results dialog.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <memory>

#include "advanced/counting/counting_settings.h"
#include "advanced/imagepro_segm.h"
#include "advanced/segm_fixture.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "ui/child_frame.h"
#include "ui/counting_dlgs.h"
#include "ui/gvl_wnd.h"
#include "ui/main_frame.h"
#include "ui/measure_color_dlg.h"
#include "ui/scope_view.h"
#include "ui/view_cursors.h"
#include "when_modal.h"

namespace {

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

// What a user's choice in a list does: the selection, then the signal the dialog listens to.
void Choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

bool SavePicture(const cv::Mat& bgr, const QString& path) {
    FCObjImage img;
    if (!img.Allocate(bgr.cols, bgr.rows, 24)) return false;
    for (int y = 0; y < bgr.rows; ++y) std::memcpy(img.GetRow(y), bgr.ptr(y), bgr.cols * 3);
    return img.SaveToFile(path.toStdString());
}

}  // namespace

class CountingDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<CMainFrame> m_frame;
    QString m_discs, m_pair;

    CScopeDoc* Open(const QString& path) {
        CChildFrame* child = m_frame->OpenDocumentFile(path);
        if (!child) return nullptr;
        child->show();
        QCoreApplication::processEvents();
        return child->Document();
    }
    // Watershed as the Advanced menu runs it, the dialog answered by act.
    CScopeDoc* Watershed(CScopeDoc& doc, std::function<void(CCountingSettingsDlg*)> act) {
        const int windows = static_cast<int>(m_frame->MdiArea()->subWindowList().size());
        bool seen = false;
        WhenModal<CCountingSettingsDlg>(std::move(act), &seen);
        m_frame->OnCommand(ID_WATERSHED);
        if (!seen) return nullptr;
        QCoreApplication::processEvents();
        if (m_frame->MdiArea()->subWindowList().size() == windows) return &doc;
        return m_frame->ActiveDocument();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("NORVANESCOPE_SIM_CAMERAS", "none");
        qputenv("NORVANESCOPE_SAVE_DIR", QFile::encodeName(m_dir.path()));
        g_bShowSplash = false;
        InitAppFolders(m_dir.path(), m_dir.path());
        LoadDefaultSettings();
        using namespace segm_test;
        m_discs = m_dir.filePath(QStringLiteral("discs.bmp"));
        m_pair = m_dir.filePath(QStringLiteral("pair.bmp"));
        QVERIFY(SavePicture(
            DiscPicture(cv::Size(480, 360), {{80, 80, 20}, {240, 180, 30}, {400, 280, 25}}, Look{}),
            m_discs));
        QVERIFY(SavePicture(
            DiscPicture(cv::Size(300, 200), {{135, 100, 30}, {165, 100, 30}}, Look{}), m_pair));
        m_frame = std::make_unique<CMainFrame>();
        m_frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    }
    void cleanupTestCase() { m_frame.reset(); }
    void cleanup() {
        for (QMdiSubWindow* w : m_frame->MdiArea()->subWindowList()) delete w;
    }

    void watershedOpensTheSettingsThenACountingWindow() {
        CScopeDoc* doc = Open(m_discs);
        QVERIFY(doc);
        QVERIFY(m_frame->CommandAction(ID_WATERSHED)->isEnabled());
        QVERIFY(!m_frame->CommandAction(ID_SPLIT_OBJECTS)->isEnabled());
        QVERIFY(!m_frame->CommandAction(ID_COUNTING_RESULTS)->isEnabled());
        const int number = g_nCountingNo + 1;
        CScopeDoc* counted = Watershed(*doc, [](CCountingSettingsDlg* dlg) {
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Counting settings"));
            QCOMPARE(Items(dlg->OutlineStyleBox()),
                     (QStringList{"Contour line", "Fill", "nothing"}));
            QCOMPARE(Items(dlg->TabStyleBox()), (QStringList{"No.", "Area", "Perimeter"}));
            QCOMPARE(dlg->OutlineColorBox()->count(), 8);
            QCOMPARE(dlg->OutlineColorBox()->currentIndex(), 4);
            QCOMPARE(dlg->TabColorBox()->currentIndex(), 0);
            QVERIFY(!dlg->AreaBox()->isChecked() && !dlg->PerimeterBox()->isChecked() &&
                    !dlg->HoleBox()->isChecked());
            for (int e = 0; e < 4; ++e) {
                QVERIFY(!dlg->Edit(static_cast<CCountingSettingsModel::Edit>(e))->isEnabled());
                QVERIFY(dlg->Edit(static_cast<CCountingSettingsModel::Edit>(e))->text().isEmpty());
            }
            for (int v = 0; v < 6; ++v)
                QCOMPARE(dlg->ValueLabel(static_cast<CCountingSettingsModel::Value>(v))->text(),
                         "0");
            QVERIFY(dlg->OkButton()->isEnabled());
            // The area filter enables its edits, which take digits only.
            QTest::mouseClick(dlg->AreaBox(), Qt::LeftButton);
            QLineEdit* lower = dlg->Edit(CCountingSettingsModel::MinArea);
            QVERIFY(lower->isEnabled());
            QVERIFY(!dlg->Edit(CCountingSettingsModel::MinPerimeter)->isEnabled());
            QTest::keyClicks(lower, "15x00");
            QCOMPARE(lower->text(), QStringLiteral("1500"));
            Choose(dlg->OutlineColorBox(), 2);  // red
            QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
        });
        QVERIFY(counted && counted != doc);
        QCOMPARE(counted->GetTitle(), QStringLiteral("Counting %1").arg(number));
        QVERIFY(counted->m_hSegm != 0);
        QCOMPARE(imagepro_segm_get_contournum(counted->m_hSegm), 2);  // the small disc is filtered
        QCOMPARE(imagepro_segm_get_Rangeminarea(counted->m_hSegm), 1500);
        QCOMPARE(m_frame->ActiveChild()->windowTitle(), counted->GetTitle());
        // The counting window fills the picture area as the first window does.
        QTRY_COMPARE(CScopeView::ForDocument(counted)->viewport()->size(),
                     CScopeView::ForDocument(doc)->viewport()->size());
        QVERIFY(m_frame->CommandAction(ID_SPLIT_OBJECTS)->isEnabled());
        QVERIFY(m_frame->CommandAction(ID_COUNTING_RESULTS)->isEnabled());

        // On the counting window the dialog shows its values and OK waits for a change.
        CScopeDoc* again = Watershed(*counted, [](CCountingSettingsDlg* dlg) {
            QVERIFY(!dlg->OkButton()->isEnabled());
            QCOMPARE(dlg->OutlineColorBox()->currentIndex(), 2);
            QVERIFY(dlg->AreaBox()->isChecked());
            QCOMPARE(dlg->Edit(CCountingSettingsModel::MinArea)->text(), QStringLiteral("1500"));
            QCOMPARE(dlg->Edit(CCountingSettingsModel::MaxArea)->text(), QString());
            QVERIFY(dlg->ValueLabel(CCountingSettingsModel::MaxAreaValue)->text() != "0.0");
            QTest::mouseClick(dlg->AreaBox(), Qt::LeftButton);  // filter off
            QVERIFY(dlg->OkButton()->isEnabled());
            QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
        });
        QCOMPARE(again, counted);  // in place
        QCOMPARE(imagepro_segm_get_contournum(counted->m_hSegm), 3);
    }

    void splitModeCutsObjectsWithThePen() {
        CScopeDoc* doc = Open(m_pair);
        QVERIFY(doc);
        CScopeDoc* counted = Watershed(*doc, [](CCountingSettingsDlg* dlg) { dlg->accept(); });
        QVERIFY(counted && counted != doc);
        QCOMPARE(imagepro_segm_get_contournum(counted->m_hSegm), 1);
        m_frame->OnCommand(ID_SPLIT_OBJECTS);
        QVERIFY(counted->m_bSplitMode);
        CGVLWnd* wnd = CScopeView::ForDocument(counted)->OverlayWindow();
        const float zoom = counted->ElemMgr().GetZoom();
        auto at = [zoom](int x, int y) {
            return QPoint(int(x * zoom + 0.5f), int(y * zoom + 0.5f));
        };
        QTest::mouseMove(wnd, at(150, 40));
        QCOMPARE(wnd->cursor().shape(), ViewCursor(ViewCursorKind::Pen).shape());
        QTest::mousePress(wnd, Qt::LeftButton, {}, at(150, 50));
        QVERIFY(counted->m_bSplitDrawing);
        QTest::mouseMove(wnd, at(150, 100));
        QTest::mouseMove(wnd, at(150, 150));
        QTest::mouseRelease(wnd, Qt::LeftButton, {}, at(150, 150));
        QVERIFY(!counted->m_bSplitDrawing);
        QCOMPARE(imagepro_segm_get_contournum(counted->m_hSegm), 2);
        // A measuring tool ends the split mode, and the pointer shows it.
        m_frame->OnCommand(ID_TOOL_RECT);
        QVERIFY(!counted->m_bSplitMode);
        QTest::mouseMove(wnd, at(20, 20));
        QCOMPARE(wnd->cursor().shape(), CursorForTool(4).shape());
    }

    void resultsListTheObjectsAndExportCloses() {
        CScopeDoc* doc = Open(m_discs);
        QVERIFY(doc);
        CScopeDoc* counted = Watershed(*doc, [](CCountingSettingsDlg* dlg) { dlg->accept(); });
        QVERIFY(counted && counted != doc);
        bool seen = false;
        WhenModal<CCountingResultsDlg>(
            [](CCountingResultsDlg* dlg) {
                QCOMPARE(dlg->windowTitle(), QStringLiteral("Statistical results"));
                QTreeWidget* list = dlg->List();
                QCOMPARE(list->columnCount(), 4);
                QCOMPARE(list->headerItem()->text(0), QStringLiteral("No."));
                QCOMPARE(list->headerItem()->text(1), QStringLiteral("core"));
                for (int c = 0; c < 4; ++c) QCOMPARE(list->columnWidth(c), 150);
                QCOMPARE(list->topLevelItemCount(), 4);
                QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("1"));
                QVERIFY(list->topLevelItem(0)->text(1).startsWith('('));
                QCOMPARE(list->topLevelItem(3)->text(0), QStringLiteral("Average:"));
                QCOMPARE(dlg->ExportButton()->text(), QStringLiteral("export"));
                QCOMPARE(dlg->CloseButton()->text(), QStringLiteral("close"));
                // The save question is answered with the suggested name in the test folder.
                QTest::mouseClick(dlg->ExportButton(), Qt::LeftButton);
                QVERIFY(!dlg->isVisible());
            },
            &seen);
        m_frame->OnCommand(ID_COUNTING_RESULTS);
        QVERIFY(seen);
        const QStringList written = QDir(m_dir.path()).entryList({QStringLiteral("*.xlsx")});
        QCOMPARE(written.size(), 1);
        QFile book(m_dir.filePath(written.first()));
        QVERIFY(book.open(QIODevice::ReadOnly));
        QCOMPARE(book.read(2), QByteArray("PK"));
    }
};

QTEST_MAIN(CountingDialogsTest)
#include "counting_dialogs_test.moc"
