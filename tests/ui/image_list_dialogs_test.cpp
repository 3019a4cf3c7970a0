// The image-list dialogs of stitching, HDR and EDF (rows, buttons and their rules) and the
// three commands run from the main window: dialog, progress dialog, result document, messages.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstring>

#include "test_support.h"
#include "advanced/sim_fields.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "ui/child_frame.h"
#include "ui/image_list_dlg.h"
#include "ui/main_frame.h"
#include "ui/progress_dlg.h"

namespace {

constexpr int kWait = 120000;  // generous: the machine may be busy

QStringList Texts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

void Select(QListWidget* list, std::initializer_list<int> rows) {
    list->clearSelection();
    for (int r : rows) list->item(r)->setSelected(true);
}

// Runs f on the image-list dialog once it is the modal window.
void OnDialog(std::function<void(CImageListDlg*)> f) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [f, poll] {
        if (auto* dlg = qobject_cast<CImageListDlg*>(QApplication::activeModalWidget()))
            f(dlg);
        else
            QTimer::singleShot(20, *poll);
    };
    QTimer::singleShot(20, *poll);
}

// Closes every image window and lets its document go (the dialogs list open documents).
void CloseAll(CMainFrame& frame) {
    for (QMdiSubWindow* w : frame.MdiArea()->subWindowList()) w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class ImageListDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString Field(const QString& name, double x, double y, double z = 0, double exposure = 10000) {
        SimFields sim(480, 360);
        sim.Change([&](SimSensorSettings& s) { s.exposureUs = exposure; });
        const QString path = m_dir.path() + u'/' + name;
        const cv::Mat field = sim.FieldAt(x, y, z);
        FCObjImage picture;
        picture.Allocate(field.cols, field.rows, 24);
        for (int r = 0; r < field.rows; ++r)
            std::memcpy(picture.GetRow(r), field.ptr(r), 3 * field.cols);
        picture.SaveToFile(path.toStdString());
        return path;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        InitAppFolders(QCoreApplication::applicationDirPath(),
                       m_dir.path() + QStringLiteral("/Documents"));
        QDir().mkpath(g_strImageFolder);
    }

    void buttonsFollowTheRules() {
        CScopeDoc capture;
        capture.SetTitle(QStringLiteral("Untitled4"));
        CStitchingDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Stitching"));
        QCOMPARE(Texts(dlg.LeftList()), QStringList{QStringLiteral("Untitled4")});
        QVERIFY(!dlg.AddButton()->isEnabled());
        QVERIFY(!dlg.DeleteButton()->isEnabled());
        QVERIFY(!dlg.CleanButton()->isEnabled());

        QStringList chosen = {QStringLiteral("/p/a.bmp"), QStringLiteral("/p/b.bmp"),
                              QStringLiteral("/p/c.bmp"), QStringLiteral("/p/d.bmp")};
        dlg.SetFileChooser([&](QWidget*) { return chosen; });
        dlg.LoadingButton()->click();
        dlg.LoadingButton()->click();  // the same files again are listed once
        QCOMPARE(dlg.LeftList()->count(), 5);
        QCOMPARE(dlg.LeftList()->item(1)->text(), QStringLiteral("a.bmp"));

        Select(dlg.LeftList(), {1});
        QVERIFY(dlg.AddButton()->isEnabled());
        dlg.AddButton()->click();
        QVERIFY(!dlg.AddButton()->isEnabled());
        QVERIFY(dlg.LeftList()->selectedItems().isEmpty());
        QCOMPARE(Texts(dlg.RightList()), QStringList{QStringLiteral("a.bmp")});
        QVERIFY(dlg.CleanButton()->isEnabled());

        dlg.AddAllButton()->click();
        QCOMPARE(Texts(dlg.RightList()),
                 (QStringList{QStringLiteral("Untitled4"), QStringLiteral("a.bmp"),
                              QStringLiteral("b.bmp"), QStringLiteral("c.bmp"),
                              QStringLiteral("d.bmp")}));
        Select(dlg.RightList(), {1, 3});
        QVERIFY(dlg.DeleteButton()->isEnabled());
        dlg.DeleteButton()->click();
        QCOMPARE(Texts(dlg.RightList()),
                 (QStringList{QStringLiteral("Untitled4"), QStringLiteral("b.bmp"),
                              QStringLiteral("d.bmp")}));
        QCOMPARE(dlg.Model().m_nSelected, 3);
        QVERIFY(!dlg.DeleteButton()->isEnabled());
        dlg.CleanButton()->click();
        QCOMPARE(dlg.RightList()->count(), 0);
        QVERIFY(!dlg.CleanButton()->isEnabled());
    }

    // Each command on two open pictures: the result opens as a new document named by its
    // numbered file.
    void commandsOpenTheirResult() {
        CRecordingPrompt prompt;
        CMainFrame frame;
        theApp().prompt = &prompt;  // dialogs would block the test
        frame.show();
        const cv::Point2d o = SimFields::Tissue();
        struct Case {
            int command;
            QString first, second, result;
        } cases[] = {
            {ID_STITCHING, Field(QStringLiteral("left.png"), o.x, o.y),
             Field(QStringLiteral("right.png"), o.x + 360, o.y + 12),
             QStringLiteral("Stiching_0000.jpg")},
            {ID_HDR, Field(QStringLiteral("short.png"), o.x, o.y, 0, 3000),
             Field(QStringLiteral("long.png"), o.x, o.y, 0, 30000), QStringLiteral("HDR_0000.jpg")},
            {ID_EDF, Field(QStringLiteral("near.png"), o.x, o.y, -3),
             Field(QStringLiteral("far.png"), o.x, o.y, 3), QStringLiteral("EDF_0000.jpg")},
        };
        for (const Case& c : cases) {
            CloseAll(frame);
            QVERIFY(frame.OpenDocumentFile(c.first));
            QVERIFY(frame.OpenDocumentFile(c.second));
            frame.UpdateCommandStates();
            QVERIFY(frame.CommandAction(c.command)->isEnabled());
            OnDialog([](CImageListDlg* dlg) {
                dlg->AddAllButton()->click();
                dlg->OkButton()->click();
            });
            frame.CommandAction(c.command)->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(
                !prompt.calls().empty() ||
                    (frame.ActiveDocument() && frame.ActiveDocument()->GetTitle() == c.result),
                kWait);
            QVERIFY2(prompt.calls().empty(),
                     qPrintable(prompt.calls().empty() ? QString() : prompt.calls()[0].text));
            CScopeDoc* result = frame.ActiveDocument();
            QCOMPARE(result->m_strPath, g_strImageFolder + c.result);
            QVERIFY(result->m_image.Width() >= 480);
        }
        // Fields with nothing in common: the message, and no new document.
        CloseAll(frame);
        QVERIFY(frame.OpenDocumentFile(Field(QStringLiteral("here.png"), o.x, o.y)));
        QVERIFY(frame.OpenDocumentFile(Field(QStringLiteral("there.png"), o.x + 9000, o.y + 7000)));
        OnDialog([](CImageListDlg* dlg) {
            dlg->AddAllButton()->click();
            dlg->OkButton()->click();
        });
        frame.CommandAction(ID_STITCHING)->trigger();
        QCOMPARE(prompt.calls().size(), size_t{1});
        QCOMPARE(prompt.calls()[0].text, QStringLiteral("StitchingError"));
        QCOMPARE(frame.MdiArea()->subWindowList().size(), 2);
        theApp().prompt = nullptr;
    }

    // One picture chosen: nothing runs.
    void fewerThanTwoPicturesDoNothing() {
        CRecordingPrompt prompt;
        CMainFrame frame;
        theApp().prompt = &prompt;
        frame.show();
        QVERIFY(frame.OpenDocumentFile(Field(QStringLiteral("alone.png"), 20000, 20000)));
        const int before = frame.MdiArea()->subWindowList().size();
        OnDialog([](CImageListDlg* dlg) {
            dlg->AddAllButton()->click();
            dlg->OkButton()->click();
        });
        frame.CommandAction(ID_STITCHING)->trigger();
        QCOMPARE(frame.MdiArea()->subWindowList().size(), before);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(prompt.calls().empty());
        theApp().prompt = nullptr;
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    UseOwnHome(home.path().toStdString());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Norvane TECH"));
    ImageListDialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "image_list_dialogs_test.moc"
