#include "ui/save_as_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "ui/qt_prompt.h"
#include "ui/save_with_groups.h"

namespace {

QString Tr(const char* text) {
    return Translate(QString::fromUtf8(text));
}

const char* const kTypeTexts[CSaveAsDlg::kTypeCount] = {"BMP", "JPG", "PNG", "PCX", "TIF", "TGA"};
const char* const kTypeExtensions[CSaveAsDlg::kTypeCount] = {".bmp", ".jpg", ".png",
                                                             ".pcx", ".tif", ".tga"};

}  // namespace

void DialogMessage(QWidget* parent, const QString& caption, const QString& text) {
    if (IScopePrompt* prompt = theApp().prompt) {
        prompt->message(caption, text);
        return;
    }
    CQtPrompt(parent).message(caption, text);
}

bool DialogAskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    if (IScopePrompt* prompt = theApp().prompt) return prompt->askYesNo(caption, text);
    return CQtPrompt(parent).askYesNo(caption, text);
}

QString CSaveAsDlg::DefaultFileName(const QString& title) {
    if (title.size() >= 4 && title[title.size() - 4] == u'.') return title.left(title.size() - 4);
    return title;
}

CSaveAsDlg::CSaveAsDlg(CScopeDoc& doc, QWidget* parent) : QDialog(parent), m_doc(doc) {
    setObjectName(QStringLiteral("SaveAsDlg"));
    setWindowTitle(Tr("Save As"));
    const CAppSettings::SaveAs& s = theSettings.saveAs;

    // File: name and folder.
    auto* fileGroup = new QGroupBox(Tr("File"), this);
    m_name = new QLineEdit(DefaultFileName(doc.GetTitle()), fileGroup);
    QString folder = s.FilePath;
    if (folder.isEmpty()) {
        folder = g_strImageFolder;
        if (!QFileInfo::exists(folder)) QDir().mkpath(folder);
    }
    m_folder = new QLineEdit(folder, fileGroup);
    m_browse = new QToolButton(fileGroup);
    m_browse->setText(Tr("..."));
    connect(m_browse, &QToolButton::clicked, this, &CSaveAsDlg::Browse);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    auto* fileForm = new QFormLayout(fileGroup);
    fileForm->addRow(Tr("File Name"), m_name);
    fileForm->addRow(Tr("File Path"), folderRow);

    // Image type: BMP on every opening.
    auto* typeGroup = new QGroupBox(Tr("Image Type"), this);
    auto* typeGrid = new QGridLayout(typeGroup);
    for (int i = 0; i < kTypeCount; ++i) {
        m_types[i] = new QRadioButton(Tr(kTypeTexts[i]), typeGroup);
        typeGrid->addWidget(m_types[i], i / 3, i % 3);
    }
    m_types[kBmp]->setChecked(true);

    const SaveWithGroups groups =
        MakeSaveWithGroups(this, s.bTitle != 0, s.bTime != 0, s.bMeasure != 0, s.bRuler != 0);
    m_withTitle = groups.title;
    m_withTime = groups.time;
    m_withMeasure = groups.measure;
    m_withRuler = groups.ruler;
    QGroupBox* withGroup = groups.with;
    QGroupBox* stillGroup = groups.still;

    auto* descGroup = new QGroupBox(Tr("Description"), this);
    m_title = new QLineEdit(s.Title, descGroup);
    m_author = new QLineEdit(s.Author, descGroup);
    m_subject = new QLineEdit(s.Subject, descGroup);
    m_comment = new QPlainTextEdit(s.Comment, descGroup);
    m_comment->setTabChangesFocus(true);
    m_comment->setFixedHeight(m_comment->fontMetrics().lineSpacing() * 4 + 12);
    auto* descForm = new QFormLayout(descGroup);
    descForm->addRow(Tr("Title"), m_title);
    descForm->addRow(Tr("Author"), m_author);
    descForm->addRow(Tr("Subject"), m_subject);
    descForm->addRow(Tr("Comment"), m_comment);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = box->button(QDialogButtonBox::Ok);
    m_cancel = box->button(QDialogButtonBox::Cancel);
    m_ok->setText(Tr("OK"));
    m_cancel->setText(Tr("Cancel"));
    connect(box, &QDialogButtonBox::accepted, this, &CSaveAsDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* options = new QHBoxLayout;
    options->addWidget(withGroup, 1);
    options->addWidget(stillGroup, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileGroup);
    layout->addWidget(typeGroup);
    layout->addLayout(options);
    layout->addWidget(descGroup);
    layout->addWidget(box);
    setMinimumWidth(440);
    m_name->setFocus();
}

QString CSaveAsDlg::Extension() const {
    for (int i = 0; i < kTypeCount; ++i)
        if (m_types[i]->isChecked()) return QString::fromLatin1(kTypeExtensions[i]);
    return QStringLiteral(".bmp");
}

QString CSaveAsDlg::TargetPath() const {
    return WithSeparator(m_folder->text().trimmed()) + m_name->text() + Extension();
}

void CSaveAsDlg::Browse() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, Tr("Select Path:"), m_folder->text().trimmed(), QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty()) m_folder->setText(QDir::toNativeSeparators(chosen));
}

void CSaveAsDlg::accept() {
    m_bSaved = false;
    if (m_folder->text().trimmed().isEmpty()) {
        DialogMessage(this, Tr("Hint"), Tr("Please select folder for the saving file."));
        m_folder->setFocus();
        return;
    }
    // Without a name the file would be a hidden ".bmp" in the folder.
    if (m_name->text().trimmed().isEmpty()) {
        DialogMessage(this, Tr("Hint"), Tr("Please input the file name."));
        m_name->setFocus();
        return;
    }
    CAppSettings::SaveAs& s = theSettings.saveAs;
    s.FilePath = m_folder->text().trimmed();
    s.Title = m_title->text();
    s.Author = m_author->text();
    s.Subject = m_subject->text();
    s.Comment = m_comment->toPlainText();
    s.bTitle = m_withTitle->isChecked() ? 1 : 0;
    s.bTime = m_withTime->isChecked() ? 1 : 0;
    s.bMeasure = m_withMeasure->isChecked() ? 1 : 0;
    s.bRuler = m_withRuler->isChecked() ? 1 : 0;

    const QString path = TargetPath();
    const bool replace =
        !QFileInfo::exists(path) ||
        DialogAskYesNo(
            this, Tr("Save As"),
            Tr("%s already existed. Want to replace it?").replace(QStringLiteral("%s"), path));
    if (replace)
        m_bSaved = m_doc.SaveImage(path, s.bMeasure, s.bRuler, s.bTime, s.bTitle, s.Title,
                                   s.Subject, s.Author, s.Comment);
    QDialog::accept();
}

bool RunSaveAsDialog(CScopeDoc& doc, QWidget* parent) {
    CSaveAsDlg dlg(doc, parent);
    dlg.exec();
    return dlg.Saved();
}
