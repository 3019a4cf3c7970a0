#include "ui/save_option_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "ui/save_as_dlg.h"
#include "ui/save_with_groups.h"

namespace {
QString Tr(const char* text) {
    return Translate(QString::fromUtf8(text));
}
}  // namespace

CSaveOptionDlg::CSaveOptionDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SaveOptionDlg"));
    setWindowTitle(Tr("Save Option"));
    const CAppSettings::Save& s = theSettings.save;

    auto* nameGroup = new QGroupBox(Tr("File Name"), this);
    m_prefix = new QLineEdit(s.StartSuffix, nameGroup);
    m_suffix = new QSpinBox(nameGroup);
    // The Save command counts past the range the user may type; a counter that is already
    // higher is shown as it is, so OK does not pull it back onto files written before.
    m_suffix->setRange(0, std::max(kMaxStartSuffix, s.Suffix));
    m_suffix->setValue(s.Suffix);
    m_folder = new QLineEdit(s.FilePath.isEmpty() ? g_strImageFolder : s.FilePath, nameGroup);
    m_browse = new QToolButton(nameGroup);
    m_browse->setText(Tr("..."));
    connect(m_browse, &QToolButton::clicked, this, &CSaveOptionDlg::Browse);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    auto* nameForm = new QFormLayout(nameGroup);
    nameForm->addRow(Tr("Prefix"), m_prefix);
    nameForm->addRow(Tr("Start Suffix"), m_suffix);
    nameForm->addRow(Tr("Folder"), folderRow);

    auto* typeGroup = new QGroupBox(Tr("Image Type"), this);
    m_bitmap = new QRadioButton(Tr("Bitmap"), typeGroup);
    m_jpeg = new QRadioButton(Tr("JPeg"), typeGroup);
    (s.bBmp == 2 ? m_jpeg : m_bitmap)->setChecked(true);
    auto* typeLayout = new QVBoxLayout(typeGroup);
    typeLayout->addWidget(m_bitmap);
    typeLayout->addWidget(m_jpeg);
    typeLayout->addStretch(1);

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
    auto* descForm = new QFormLayout(descGroup);
    descForm->addRow(Tr("Title"), m_title);
    descForm->addRow(Tr("Author"), m_author);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = box->button(QDialogButtonBox::Ok);
    m_cancel = box->button(QDialogButtonBox::Cancel);
    m_ok->setText(Tr("OK"));
    m_cancel->setText(Tr("Cancel"));
    connect(box, &QDialogButtonBox::accepted, this, &CSaveOptionDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* options = new QHBoxLayout;
    options->addWidget(typeGroup, 1);
    options->addWidget(withGroup, 1);
    options->addWidget(stillGroup, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nameGroup);
    layout->addLayout(options);
    layout->addWidget(descGroup);
    layout->addWidget(box);
    setMinimumWidth(420);
}

void CSaveOptionDlg::Browse() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, Tr("Folder"), m_folder->text().trimmed(), QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty()) m_folder->setText(QDir::toNativeSeparators(chosen));
}

void CSaveOptionDlg::accept() {
    if (m_folder->text().trimmed().isEmpty()) {
        DialogMessage(this, Tr("Hint"), Tr("Please select folder for the saving file."));
        m_folder->setFocus();
        return;
    }
    // A number typed but not yet committed by the spin box counts too.
    m_suffix->interpretText();
    CAppSettings::Save& s = theSettings.save;
    s.StartSuffix = m_prefix->text();
    s.Suffix = m_suffix->value();
    s.FilePath = m_folder->text().trimmed();
    s.bBmp = m_jpeg->isChecked() ? 2 : 1;
    s.bTitle = m_withTitle->isChecked() ? 1 : 0;
    s.bTime = m_withTime->isChecked() ? 1 : 0;
    s.bMeasure = m_withMeasure->isChecked() ? 1 : 0;
    s.bRuler = m_withRuler->isChecked() ? 1 : 0;
    s.Title = m_title->text();
    s.Author = m_author->text();
    QDialog::accept();
}

bool RunSaveOptionDialog(QWidget* parent) {
    CSaveOptionDlg dlg(parent);
    return dlg.exec() == QDialog::Accepted;
}
