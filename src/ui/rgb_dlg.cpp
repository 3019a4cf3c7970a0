#include "ui/rgb_dlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/language_table.h"
#include "ui/binary_dlg.h"
#include "ui/save_as_dlg.h"
#include "ui/sort_list_ctrl.h"

namespace {

QString Tr(const char* text) {
    return Translate(QString::fromUtf8(text));
}

std::atomic<int> CScopeDoc::*const kGainMember[CRgbDlg::kChannels] = {
    &CScopeDoc::m_nGainRed, &CScopeDoc::m_nGainGreen, &CScopeDoc::m_nGainBlue};
const char* const kChannelNames[CRgbDlg::kChannels] = {"Red", "Green", "Blue"};

// The settings file allows names of up to 255 characters.
constexpr int kMaxNameLength = 255;

}  // namespace

CRgbDlg::CRgbDlg(CScopeDoc& doc, QWidget* parent) : QDialog(parent), m_doc(doc) {
    setObjectName(QStringLiteral("RgbDlg"));
    setWindowTitle(Tr("RGB Adjusting"));
    m_bOldEnable = doc.m_bRgbGain;
    for (int c = 0; c < kChannels; ++c) m_nOldGain[c] = doc.*kGainMember[c];

    m_enable = new QCheckBox(Tr("Enable"), this);
    m_enable->setChecked(m_bOldEnable);
    auto* grid = new QGridLayout;
    const int valueWidth = fontMetrics().horizontalAdvance(QStringLiteral("000"));
    for (int c = 0; c < kChannels; ++c) {
        m_names[c] = new QLabel(Tr(kChannelNames[c]), this);
        m_sliders[c] = new QSlider(Qt::Horizontal, this);
        m_sliders[c]->setRange(0, kMaxGain);
        m_sliders[c]->setValue(doc.*kGainMember[c]);
        m_values[c] = new QLabel(QString::number(m_sliders[c]->value()), this);
        m_values[c]->setMinimumWidth(valueWidth);
        m_values[c]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(m_names[c], c, 0);
        grid->addWidget(m_sliders[c], c, 1);
        grid->addWidget(m_values[c], c, 2);
        connect(m_sliders[c], &QSlider::valueChanged, this, [this, c](int v) { OnSlider(c, v); });
    }
    grid->setColumnStretch(1, 1);

    m_advanced = new QPushButton(Tr("Advanced >>"), this);
    m_advanced->setAutoDefault(false);
    m_ok = new QPushButton(Tr("OK"), this);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(Tr("Cancel"), this);
    m_cancel->setAutoDefault(false);
    connect(m_advanced, &QPushButton::clicked, this, &CRgbDlg::ToggleAdvanced);
    connect(m_ok, &QPushButton::clicked, this, &CRgbDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CRgbDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_advanced);
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    // The preset part, shown by "Advanced >>".
    m_presetPanel = new QWidget(this);
    m_list = new CSortListCtrl(kPresetListId, m_presetPanel);
    m_list->SetColumns(QString::fromLatin1(kPresetColumns));
    m_list->setMinimumHeight(m_list->fontMetrics().lineSpacing() * 8);
    m_add = new QPushButton(Tr("Add"), m_presetPanel);
    m_add->setToolTip(Tr("Add current rgb values to list"));
    m_apply = new QPushButton(Tr("Apply"), m_presetPanel);
    m_apply->setToolTip(Tr("Apply selected item to camera parameter"));
    m_delete = new QPushButton(Tr("Delete"), m_presetPanel);
    m_delete->setToolTip(Tr("Delete selected item from list"));
    for (QPushButton* b : {m_add, m_apply, m_delete}) b->setAutoDefault(false);
    connect(m_add, &QPushButton::clicked, this, &CRgbDlg::ToggleNameRow);
    connect(m_apply, &QPushButton::clicked, this, &CRgbDlg::ApplySelected);
    connect(m_delete, &QPushButton::clicked, this, &CRgbDlg::DeleteSelected);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(m_add);
    listButtons->addWidget(m_apply);
    listButtons->addWidget(m_delete);
    listButtons->addStretch(1);

    m_nameRow = new QWidget(m_presetPanel);
    auto* nameLabel = new QLabel(Tr("Name"), m_nameRow);
    m_name = new QLineEdit(m_nameRow);
    m_name->setMaxLength(kMaxNameLength);
    nameLabel->setBuddy(m_name);
    m_confirm = new QPushButton(Tr("Confirm"), m_nameRow);
    m_confirm->setAutoDefault(false);
    connect(m_confirm, &QPushButton::clicked, this, &CRgbDlg::ConfirmName);
    // Enter in the name edit confirms rather than closing the dialog with OK.
    m_name->installEventFilter(this);
    auto* nameLayout = new QHBoxLayout(m_nameRow);
    nameLayout->setContentsMargins(0, 0, 0, 0);
    nameLayout->addWidget(nameLabel);
    nameLayout->addWidget(m_name, 1);
    nameLayout->addWidget(m_confirm);
    m_nameRow->hide();

    auto* presetLayout = new QVBoxLayout(m_presetPanel);
    presetLayout->setContentsMargins(0, 0, 0, 0);
    presetLayout->addWidget(m_list, 1);
    presetLayout->addLayout(listButtons);
    presetLayout->addWidget(m_nameRow);
    m_presetPanel->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enable);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(m_presetPanel, 1);

    LoadPresets();
    EnableGainControls(m_bOldEnable);
    connect(m_enable, &QCheckBox::toggled, this, &CRgbDlg::OnEnable);

    // Near the right edge of the screen, out of the picture's middle; first shown collapsed.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect geo = screen ? screen->geometry() : QRect(0, 0, 1280, 1024);
    layout->activate();
    resize(std::max(360, minimumSizeHint().width()), minimumSizeHint().height());
    move(geo.x() + geo.width() - 415, geo.y() + 130);
}

bool CRgbDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_name && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ConfirmName();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CRgbDlg::EnableGainControls(bool on) {
    for (int c = 0; c < kChannels; ++c) {
        m_names[c]->setEnabled(on);
        m_sliders[c]->setEnabled(on);
        m_values[c]->setEnabled(on);
    }
    m_add->setEnabled(on);
    m_apply->setEnabled(on);
    m_delete->setEnabled(on);
}

void CRgbDlg::OnEnable(bool on) {
    m_doc.m_bRgbGain = on;
    EnableGainControls(on);
    RefreshStillPicture(m_doc);
}

void CRgbDlg::OnSlider(int channel, int value) {
    m_values[channel]->setText(QString::number(value));
    m_doc.*kGainMember[channel] = value;
    RefreshStillPicture(m_doc);
}

bool CRgbDlg::IsExpanded() const {
    return !m_presetPanel->isHidden();
}

void CRgbDlg::FitHeight() {
    layout()->activate();
    const int h = IsExpanded() ? sizeHint().height() : minimumSizeHint().height();
    resize(width(), h);
}

void CRgbDlg::ToggleAdvanced() {
    const bool expand = !IsExpanded();
    m_presetPanel->setVisible(expand);
    m_advanced->setText(Tr(expand ? "Advanced <<" : "Advanced >>"));
    FitHeight();
}

void CRgbDlg::ToggleNameRow() {
    const bool show = m_nameRow->isHidden();
    m_nameRow->setVisible(show);
    if (show) m_name->setFocus();
    if (IsExpanded()) FitHeight();
}

void CRgbDlg::ConfirmName() {
    // The settings file drops blanks around a value and cannot hold a line break (a pasted
    // one); keep the name as it will read back.
    QString name = m_name->text();
    name.replace(u'\r', u' ').replace(u'\n', u' ');
    name = name.trimmed();
    if (name.isEmpty()) {
        DialogMessage(this, Tr("Hint"), Tr("Input name first"));
        m_name->setFocus();
        return;
    }
    QStringList row{QString::number(m_list->ItemCount()), name};
    for (int c = 0; c < kChannels; ++c) row << QString::number(m_sliders[c]->value());
    m_list->AddItem(row);
    m_name->clear();
    m_nameRow->hide();
    if (IsExpanded()) FitHeight();
}

void CRgbDlg::ApplySelected() {
    const int row = m_list->SelectedRow();
    if (row < 0) {
        DialogMessage(this, Tr("Hint"), Tr("Select One item first"));
        return;
    }
    const int columns[kChannels] = {kColRed, kColGreen, kColBlue};
    for (int c = 0; c < kChannels; ++c) {
        // A hand-edited file may hold anything: offsets stay within the slider's range, since a
        // negative one would wrap the picture's bytes.
        const int value =
            std::clamp(m_list->ItemText(row, columns[c]).trimmed().toInt(), 0, kMaxGain);
        const QSignalBlocker block(m_sliders[c]);
        m_sliders[c]->setValue(value);
        m_values[c]->setText(QString::number(value));
        m_doc.*kGainMember[c] = value;
    }
    RefreshStillPicture(m_doc);
}

void CRgbDlg::DeleteSelected() {
    const int row = m_list->SelectedRow();
    if (row < 0) {
        DialogMessage(this, Tr("Hint"), Tr("Select One item first"));
        return;
    }
    m_list->DeleteItem(row);
    WritePresets();
    // Numbered again from the rows as written.
    const std::vector<RgbPreset> presets = Presets();
    m_list->DeleteAllItems();
    for (size_t i = 0; i < presets.size(); ++i)
        m_list->AddItem({QString::number(i), presets[i].name, presets[i].red, presets[i].green,
                         presets[i].blue});
}

std::vector<RgbPreset> CRgbDlg::Presets() const {
    std::vector<RgbPreset> presets;
    for (int i = 0; i < m_list->ItemCount(); ++i)
        presets.push_back({m_list->ItemText(i, kColName), m_list->ItemText(i, kColRed),
                           m_list->ItemText(i, kColGreen), m_list->ItemText(i, kColBlue)});
    return presets;
}

void CRgbDlg::LoadPresets() {
    m_list->DeleteAllItems();
    const std::vector<RgbPreset> presets = ReadRgbPresets(g_strIniPath);
    for (size_t i = 0; i < presets.size(); ++i)
        m_list->AddItem({QString::number(i), presets[i].name, presets[i].red, presets[i].green,
                         presets[i].blue});
}

void CRgbDlg::WritePresets() {
    WriteRgbPresets(g_strIniPath, Presets());
}

void CRgbDlg::accept() {
    WritePresets();
    QDialog::accept();
}

void CRgbDlg::reject() {
    m_doc.m_bRgbGain = m_bOldEnable;
    for (int c = 0; c < kChannels; ++c) m_doc.*kGainMember[c] = m_nOldGain[c];
    RefreshStillPicture(m_doc);
    WritePresets();
    QDialog::reject();
}

void RunRgbDialog(CScopeDoc& doc, QWidget* parent) {
    CRgbDlg dlg(doc, parent);
    dlg.exec();
}
