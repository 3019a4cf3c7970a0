#include "ui/image_list_dlg.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/language_table.h"

namespace {

QString Tr(const char* text) {
    return Translate(QString::fromUtf8(text));
}

std::vector<int> SelectedRows(const QListWidget* list) {
    std::vector<int> rows;
    for (const QListWidgetItem* item : list->selectedItems()) rows.push_back(list->row(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace

CImageListDlg::CImageListDlg(const QString& title, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ImageListDlg"));
    setWindowTitle(Translate(title));
    m_left = new QListWidget(this);
    m_right = new QListWidget(this);
    for (QListWidget* list : {m_left, m_right}) {
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setMinimumSize(240, 280);
    }
    m_loading = new QPushButton(Tr("Loading..."), this);
    m_add = new QPushButton(Tr("Add>>"), this);
    m_addAll = new QPushButton(Tr("Add All>>"), this);
    m_delete = new QPushButton(Tr("Delete"), this);
    m_clean = new QPushButton(Tr("Clean"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(Tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(Tr("Cancel"));

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    for (QPushButton* b : {m_loading, m_add, m_addAll, m_delete, m_clean}) {
        b->setAutoDefault(false);
        middle->addWidget(b);
    }
    middle->addStretch();
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(Tr("Unselected image:"), this), 0, 0);
    grid->addWidget(new QLabel(Tr("Selected image:"), this), 0, 2);
    grid->addWidget(m_left, 1, 0);
    grid->addLayout(middle, 1, 1);
    grid->addWidget(m_right, 1, 2);
    grid->addWidget(buttons, 2, 0, 1, 3);

    connect(m_loading, &QPushButton::clicked, this, &CImageListDlg::Load);
    connect(m_add, &QPushButton::clicked, this, &CImageListDlg::AddSelected);
    connect(m_addAll, &QPushButton::clicked, this, &CImageListDlg::AddAll);
    connect(m_delete, &QPushButton::clicked, this, &CImageListDlg::DeleteSelected);
    connect(m_clean, &QPushButton::clicked, this, &CImageListDlg::Clean);
    connect(m_left, &QListWidget::itemSelectionChanged, this, [this] {
        m_model.LeftSelectionChanged(!m_left->selectedItems().isEmpty());
        RefreshButtons();
    });
    connect(m_right, &QListWidget::itemSelectionChanged, this, [this] {
        m_model.RightSelectionChanged(!m_right->selectedItems().isEmpty());
        RefreshButtons();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &CImageListDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CImageListDlg::reject);

    m_model.Open(CScopeDoc::AllDocuments());
    Refresh();
}

QStringList CImageListDlg::ChooseFiles(QWidget* parent) {
    const QString filter =
        Tr("All pictures") +
        QStringLiteral(" (*.bmp *.jpg *.jpeg *.png *.tif *.tiff *.gif *.tga);;") +
        Tr("Bitmap Files (*.bmp)") + QStringLiteral(";;") + Tr("JPEG Files (*.jpg)");
    return QFileDialog::getOpenFileNames(parent, Tr("Loading..."), g_strImageFolder, filter);
}

void CImageListDlg::Load() {
    m_model.AddFiles(m_chooser(this));
    Refresh();
}

void CImageListDlg::AddSelected() {
    m_model.AddSelected(SelectedRows(m_left));
    {
        const QSignalBlocker block(m_left);
        m_left->clearSelection();
    }
    Refresh();
}

void CImageListDlg::AddAll() {
    m_model.AddAll();
    Refresh();
}

void CImageListDlg::DeleteSelected() {
    m_model.DeleteRows(SelectedRows(m_right));
    Refresh();
}

void CImageListDlg::Clean() {
    m_model.Clean();
    Refresh();
}

void CImageListDlg::Refresh() {
    // The left rows only ever grow: add the new ones, keeping the user's selection.
    for (int i = m_left->count(); i < static_cast<int>(m_model.Left().size()); ++i)
        m_left->addItem(m_model.Left()[i].text);
    {
        const QSignalBlocker block(m_right);
        m_right->clear();
        for (const ImageListRow& row : m_model.Right()) m_right->addItem(row.text);
    }
    RefreshButtons();
}

void CImageListDlg::RefreshButtons() {
    m_add->setEnabled(m_model.AddEnabled());
    m_delete->setEnabled(m_model.DeleteEnabled());
    m_clean->setEnabled(m_model.CleanEnabled());
}

void CImageListDlg::accept() {
    AcceptStep();
    QDialog::accept();
}

CStitchingDlg::CStitchingDlg(QWidget* parent)
    : CImageListDlg(QStringLiteral("Stitching"), parent) {}

CHDRDlg::CHDRDlg(QWidget* parent) : CImageListDlg(QStringLiteral("HDR"), parent) {}

CEDFDlg::CEDFDlg(QWidget* parent) : CImageListDlg(QStringLiteral("EDF"), parent) {}

void CEDFDlg::AcceptStep() {
    Model().AcceptTemporaries(g_strImageFolder, theApp().prompt);
}
