// The Save As, Save Option and saving-resolution dialogs: what they show on opening, what OK
// stores in the settings groups and the document, and the files Save As writes.
//
// With NS_SCREENSHOT_DIR set, renderScreenshots writes the dialogs in English and German there.

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>

#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "ui/resolution_dlg.h"
#include "ui/save_as_dlg.h"
#include "ui/save_option_dlg.h"

namespace {

std::unique_ptr<CScopeDoc> StillDocument(const QString& title) {
    auto doc = std::make_unique<CScopeDoc>();
    FCObjImage img;
    img.Allocate(16, 8, 24);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            uint8_t* p = img.PixelPointer(x, y);
            p[0] = static_cast<uint8_t>(x * 16);
            p[1] = static_cast<uint8_t>(y * 32);
            p[2] = 200;
        }
    doc->m_imageOriginal = img;
    doc->m_image = img;
    doc->SetTitle(title);
    return doc;
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs act on the next modal dialog once it is up. Should none appear, every open dialog is
// rejected after a generous while, so a failing test cannot hang in a modal loop.
void WhenModal(const std::function<void(QWidget*)>& act, bool* seen) {
    auto* timer = new QTimer(qApp);
    auto* ticks = new int(0);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            delete ticks;
            *seen = true;
            act(w);
        } else if (++*ticks > 3000) {
            timer->stop();
            timer->deleteLater();
            delete ticks;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(top); d && d->isVisible()) d->reject();
        }
    });
    timer->start();
}

}  // namespace

class SaveDialogsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    CRecordingPrompt m_prompt;

    QString Folder() const { return m_dir.filePath("out"); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("profile"));
        g_strImageFolder = m_dir.filePath("Images") + u'/';
        g_strIniPath = m_dir.filePath("Setting.ini");
        theApp().prompt = &m_prompt;
    }
    void cleanupTestCase() { theApp().prompt = nullptr; }
    void init() {
        LoadDefaultSettings();
        m_prompt.clearCalls();
        m_prompt.clearAnswers();
        QDir(Folder()).removeRecursively();
        QVERIFY(QDir().mkpath(Folder()));
    }

    // ---- Save As ----

    void offeredFileName_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name");
        QTest::newRow("extension dropped") << "cells.bmp"
                                           << "cells";
        QTest::newRow("no extension") << "HDR"
                                      << "HDR";
        QTest::newRow("longer extension kept") << "x.jpeg"
                                               << "x.jpeg";
        QTest::newRow("only an extension") << ".tif"
                                           << "";
        QTest::newRow("short") << "ab"
                               << "ab";
    }
    void offeredFileName() {
        QFETCH(QString, title);
        QFETCH(QString, name);
        auto doc = StillDocument(title);
        CSaveAsDlg dlg(*doc);
        QCOMPARE(dlg.FileNameEdit()->text(), name);
    }

    void saveAsOpensWithTheSaveAsGroup() {
        CAppSettings::SaveAs& s = theSettings.saveAs;
        s.FilePath = Folder();
        s.Title = "T";
        s.Author = "A";
        s.Subject = "S";
        s.Comment = "line 1\nline 2";
        s.bTitle = 1;
        s.bTime = 0;
        s.bMeasure = 0;
        s.bRuler = 1;
        auto doc = StillDocument("cells.bmp");
        CSaveAsDlg dlg(*doc);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Save As"));
        QCOMPARE(dlg.FolderEdit()->text(), Folder());
        QCOMPARE(dlg.TitleEdit()->text(), QStringLiteral("T"));
        QCOMPARE(dlg.AuthorEdit()->text(), QStringLiteral("A"));
        QCOMPARE(dlg.SubjectEdit()->text(), QStringLiteral("S"));
        QCOMPARE(dlg.CommentEdit()->toPlainText(), QStringLiteral("line 1\nline 2"));
        QVERIFY(dlg.TitleCheck()->isChecked() && !dlg.TimeCheck()->isChecked());
        QVERIFY(!dlg.MeasureCheck()->isChecked() && dlg.RulerCheck()->isChecked());
        QVERIFY(dlg.TypeRadio(CSaveAsDlg::kBmp)->isChecked());
        QCOMPARE(dlg.Extension(), QStringLiteral(".bmp"));
        dlg.TypeRadio(CSaveAsDlg::kTga)->setChecked(true);
        QCOMPARE(dlg.TargetPath(), Folder() + QStringLiteral("/cells.tga"));
    }

    void emptyFolderSettingOffersThePicturesFolder() {
        QDir(g_strImageFolder).removeRecursively();
        auto doc = StillDocument("a");
        CSaveAsDlg dlg(*doc);
        QCOMPARE(dlg.FolderEdit()->text(), g_strImageFolder);
        QVERIFY(QFileInfo(g_strImageFolder).isDir());
    }

    void saveAsWritesTheFileAndStoresTheChoices() {
        auto doc = StillDocument("cells.bmp");
        CSaveAsDlg dlg(*doc);
        dlg.show();
        dlg.FolderEdit()->setText(Folder());
        dlg.TypeRadio(CSaveAsDlg::kPng)->setChecked(true);
        dlg.TitleEdit()->setText("Title text");
        dlg.AuthorEdit()->setText("Me");
        dlg.SubjectEdit()->setText("Subj");
        dlg.CommentEdit()->setPlainText("Remark");
        dlg.TimeCheck()->setChecked(true);
        dlg.MeasureCheck()->setChecked(false);
        dlg.RulerCheck()->setChecked(true);
        dlg.OkButton()->click();

        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(dlg.Saved());
        QVERIFY(m_prompt.calls().empty());
        FCObjImage written;
        QVERIFY(written.LoadFromFile((Folder() + "/cells.png").toStdString()));
        QCOMPARE(written.Width(), 16);
        QCOMPARE(written.Height(), 8);
        const CAppSettings::SaveAs& s = theSettings.saveAs;
        QCOMPARE(s.FilePath, Folder());
        QCOMPARE(s.Title, QStringLiteral("Title text"));
        QCOMPARE(s.Author, QStringLiteral("Me"));
        QCOMPARE(s.Subject, QStringLiteral("Subj"));
        QCOMPARE(s.Comment, QStringLiteral("Remark"));
        QCOMPARE(s.bTime, 1);
        QCOMPARE(s.bTitle, 0);
        QCOMPARE(s.bMeasure, 0);
        QCOMPARE(s.bRuler, 1);
    }

    void jpegGetsTheDescriptionInItsSummary() {
        auto doc = StillDocument("cells.bmp");
        CSaveAsDlg dlg(*doc);
        dlg.FolderEdit()->setText(Folder());
        dlg.TypeRadio(CSaveAsDlg::kJpg)->setChecked(true);
        dlg.TitleEdit()->setText("Ti");
        dlg.AuthorEdit()->setText("Au");
        dlg.SubjectEdit()->setText("Su");
        dlg.CommentEdit()->setPlainText("Co");
        dlg.OkButton()->click();
        QVERIFY(dlg.Saved());
        // Each text lands in its own field: the segment right after the encoder's first 20 bytes.
        const QByteArray segment = JpegSummarySegment("Ti", "Su", "Au", "Co");
        QCOMPARE(FileBytes(Folder() + "/cells.jpg").mid(20, segment.size()), segment);
    }

    void emptyFolderKeepsTheDialogOpen() {
        auto doc = StillDocument("cells.bmp");
        CSaveAsDlg dlg(*doc);
        dlg.show();
        dlg.FolderEdit()->setText("  ");
        dlg.TitleEdit()->setText("not stored");
        dlg.OkButton()->click();
        QCOMPARE(m_prompt.calls().size(), size_t(1));
        QCOMPARE(m_prompt.calls()[0].caption, QStringLiteral("Hint"));
        QCOMPARE(m_prompt.calls()[0].text,
                 QStringLiteral("Please select folder for the saving file."));
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.Saved());
        QVERIFY(theSettings.saveAs.Title.isEmpty());
    }

    void emptyFileNameKeepsTheDialogOpen() {
        auto doc = StillDocument("cells.bmp");
        CSaveAsDlg dlg(*doc);
        dlg.show();
        dlg.FolderEdit()->setText(Folder());
        dlg.FileNameEdit()->clear();
        dlg.OkButton()->click();
        QCOMPARE(m_prompt.calls().size(), size_t(1));
        QCOMPARE(m_prompt.calls()[0].text, QStringLiteral("Please input the file name."));
        QVERIFY(dlg.isVisible());
        QVERIFY(!QFileInfo::exists(Folder() + "/.bmp"));
    }

    void existingFile_data() {
        QTest::addColumn<bool>("replace");
        QTest::newRow("No keeps the file") << false;
        QTest::newRow("Yes replaces it") << true;
    }
    void existingFile() {
        QFETCH(bool, replace);
        const QString path = Folder() + "/cells.bmp";
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old contents");
        }
        m_prompt.queueYesNo(replace);
        auto doc = StillDocument("cells.bmp");
        CSaveAsDlg dlg(*doc);
        dlg.show();
        dlg.FolderEdit()->setText(Folder());
        dlg.OkButton()->click();

        QCOMPARE(m_prompt.calls().size(), size_t(1));
        QCOMPARE(m_prompt.calls()[0].kind, CRecordingPrompt::Kind::YesNo);
        QCOMPARE(m_prompt.calls()[0].caption, QStringLiteral("Save As"));
        QCOMPARE(m_prompt.calls()[0].text,
                 path + QStringLiteral(" already existed. Want to replace it?"));
        // The dialog closes either way.
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.Saved(), replace);
        if (replace) {
            FCObjImage written;
            QVERIFY(written.LoadFromFile(path.toStdString()));
            QCOMPARE(written.Width(), 16);
        } else {
            QCOMPARE(FileBytes(path), QByteArray("old contents"));
        }
    }

    void browseSetsTheFolder() {
        const QString chosen = m_dir.filePath("chosen");
        QVERIFY(QDir().mkpath(chosen));
        auto doc = StillDocument("cells.bmp");
        CSaveAsDlg dlg(*doc);
        dlg.show();
        bool seen = false;
        QString caption;
        WhenModal(
            [&](QWidget* w) {
                auto* fd = qobject_cast<QFileDialog*>(w);
                if (!fd) {
                    w->close();
                    return;
                }
                caption = fd->windowTitle();
                fd->setDirectory(chosen);
                static_cast<QDialog*>(fd)->accept();
            },
            &seen);
        dlg.BrowseButton()->click();
        QVERIFY(seen);
        QCOMPARE(caption, QStringLiteral("Select Path:"));
        QCOMPARE(QDir(dlg.FolderEdit()->text()).canonicalPath(), QDir(chosen).canonicalPath());
    }

    void runSaveAsDialogReportsTheSave() {
        theSettings.saveAs.FilePath = Folder();
        auto doc = StillDocument("run.bmp");
        bool seen = false;
        WhenModal(
            [](QWidget* w) {
                if (auto* dlg = qobject_cast<CSaveAsDlg*>(w))
                    dlg->OkButton()->click();
                else
                    w->close();
            },
            &seen);
        QVERIFY(RunSaveAsDialog(*doc, nullptr));
        QVERIFY(seen);
        QVERIFY(QFileInfo::exists(Folder() + "/run.bmp"));
    }

    // ---- Save Option ----

    void saveOptionOpensWithTheSaveGroup() {
        CAppSettings::Save& s = theSettings.save;
        s.StartSuffix = "Img";
        s.Suffix = 7;
        s.FilePath = "";
        s.bBmp = 2;
        s.bTitle = 1;
        s.bTime = 0;
        s.bMeasure = 1;
        s.bRuler = 0;
        s.Title = "T";
        s.Author = "A";
        CSaveOptionDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Save Option"));
        QCOMPARE(dlg.PrefixEdit()->text(), QStringLiteral("Img"));
        QCOMPARE(dlg.SuffixSpin()->value(), 7);
        QCOMPARE(dlg.SuffixSpin()->maximum(), 1000);
        QCOMPARE(dlg.FolderEdit()->text(), g_strImageFolder);
        QVERIFY(dlg.JpegRadio()->isChecked() && !dlg.BitmapRadio()->isChecked());
        QVERIFY(dlg.TitleCheck()->isChecked() && !dlg.TimeCheck()->isChecked());
        QVERIFY(dlg.MeasureCheck()->isChecked() && !dlg.RulerCheck()->isChecked());
        QCOMPARE(dlg.TitleEdit()->text(), QStringLiteral("T"));
        QCOMPARE(dlg.AuthorEdit()->text(), QStringLiteral("A"));

        s.bBmp = 0;  // anything but 2 is a bitmap
        CSaveOptionDlg bitmap;
        QVERIFY(bitmap.BitmapRadio()->isChecked());
    }

    void saveOptionOkStoresAndTheSaveCommandUsesIt() {
        CSaveOptionDlg dlg;
        dlg.show();
        dlg.PrefixEdit()->setText("Cells");
        dlg.SuffixSpin()->setValue(41);
        dlg.FolderEdit()->setText(Folder());
        dlg.JpegRadio()->setChecked(true);
        dlg.TitleCheck()->setChecked(false);
        dlg.TimeCheck()->setChecked(false);
        dlg.MeasureCheck()->setChecked(true);
        dlg.RulerCheck()->setChecked(true);
        dlg.TitleEdit()->setText("Ti");
        dlg.AuthorEdit()->setText("Au");
        dlg.OkButton()->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));

        const CAppSettings::Save& s = theSettings.save;
        QCOMPARE(s.StartSuffix, QStringLiteral("Cells"));
        QCOMPARE(s.Suffix, 41);
        QCOMPARE(s.FilePath, Folder());
        QCOMPARE(s.bBmp, 2);
        QCOMPARE(s.bTitle, 0);
        QCOMPARE(s.bTime, 0);
        QCOMPARE(s.bMeasure, 1);
        QCOMPARE(s.bRuler, 1);
        QCOMPARE(s.Title, QStringLiteral("Ti"));
        QCOMPARE(s.Author, QStringLiteral("Au"));
        // Prefix (persisted only) is not what the dialog edits.
        QCOMPARE(s.Prefix, QStringLiteral("Image"));

        auto doc = StillDocument("x");
        QCOMPARE(doc->QuickSave(), Folder() + QStringLiteral("/Cells41.jpg"));

        CSaveOptionDlg bitmap;
        bitmap.BitmapRadio()->setChecked(true);
        bitmap.OkButton()->click();
        QCOMPARE(theSettings.save.bBmp, 1);
    }

    void saveOptionRefusesAnEmptyFolder() {
        CSaveOptionDlg dlg;
        dlg.show();
        dlg.PrefixEdit()->setText("not stored");
        dlg.FolderEdit()->clear();
        dlg.OkButton()->click();
        QCOMPARE(m_prompt.calls().size(), size_t(1));
        QCOMPARE(m_prompt.calls()[0].caption, QStringLiteral("Hint"));
        QCOMPARE(m_prompt.calls()[0].text,
                 QStringLiteral("Please select folder for the saving file."));
        QVERIFY(dlg.isVisible());
        QCOMPARE(theSettings.save.StartSuffix, QStringLiteral("Image"));

        dlg.CancelButton()->click();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(theSettings.save.StartSuffix, QStringLiteral("Image"));
    }

    void startSuffixRange() {
        theSettings.save.FilePath = Folder();
        {
            CSaveOptionDlg dlg;
            dlg.SuffixSpin()->setValue(5000);
            QCOMPARE(dlg.SuffixSpin()->value(), 1000);
            dlg.SuffixSpin()->findChild<QLineEdit*>()->setText("-3");
            dlg.OkButton()->click();
            QVERIFY(theSettings.save.Suffix >= 0 && theSettings.save.Suffix <= 1000);
        }
        // The Save command counted past 1000: OK keeps the counter instead of pulling it back
        // onto numbers already written.
        theSettings.save.Suffix = 1500;
        CSaveOptionDlg dlg;
        QCOMPARE(dlg.SuffixSpin()->value(), 1500);
        dlg.OkButton()->click();
        QCOMPARE(theSettings.save.Suffix, 1500);
    }

    // ---- Saving resolution ----

    void resolutionShowsAndStoresAtOnce() {
        auto doc = StillDocument("live");
        doc->m_nSaveResolution = 3;
        {
            CResolutionDlg dlg(*doc);
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Resolution"));
            QVERIFY(dlg.Radio2048()->isChecked() && !dlg.Radio1280()->isChecked());
            dlg.show();
            dlg.Radio1280()->click();
            QCOMPARE(doc->m_nSaveResolution, 1);
            dlg.Radio2048()->click();
            QCOMPARE(doc->m_nSaveResolution, 3);
            dlg.Radio1280()->click();
            // Closing does not undo it.
            dlg.close();
            QCOMPARE(doc->m_nSaveResolution, 1);
        }
        // 1600*1200 set elsewhere is not offered: nothing is checked, nothing changes.
        doc->m_nSaveResolution = 2;
        CResolutionDlg dlg(*doc);
        QVERIFY(!dlg.Radio1280()->isChecked() && !dlg.Radio2048()->isChecked());
        dlg.OkButton()->click();
        QCOMPARE(doc->m_nSaveResolution, 2);
    }

    // ---- Pictures of the dialogs ----

    void renderScreenshots() {
        const QByteArray dir = qgetenv("NS_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("NS_SCREENSHOT_DIR not set");
        QDir().mkpath(QString::fromLocal8Bit(dir));
        theSettings.saveAs.FilePath = "/home/user/Pictures/NorvaneScope";
        theSettings.save.FilePath = "/home/user/Pictures/NorvaneScope";
        for (const char* lang : {"en", "de"}) {
            ClearLanguageTable();
            if (QByteArray(lang) == "de")
                QVERIFY(LoadLanguage("de", QCoreApplication::applicationDirPath() + "/"));
            auto shoot = [&](QWidget& w, const char* name) {
                w.show();
                QVERIFY(QTest::qWaitForWindowExposed(&w));
                const QString file = QStringLiteral("%1/dialog_%2_%3.png")
                                         .arg(QString::fromLocal8Bit(dir), name, lang);
                QVERIFY(w.grab().save(file));
            };
            auto doc = StillDocument("cells.bmp");
            CSaveAsDlg saveAs(*doc);
            shoot(saveAs, "save_as");
            CSaveOptionDlg option;
            shoot(option, "save_option");
            CResolutionDlg resolution(*doc);
            shoot(resolution, "resolution");
        }
        ClearLanguageTable();
    }
};

QTEST_MAIN(SaveDialogsTest)
#include "save_dialogs_test.moc"
