#include "ui/select_source_dlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "settings/language_table.h"

namespace {

enum Column { kVendor, kModel, kType, kDevice };

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

CSelectSourceDlg::CSelectSourceDlg(ISaneDeviceLister& lister, const std::string& preselected,
                                   QWidget* parent)
    : QDialog(parent), m_lister(lister), m_preselected(preselected) {
    setObjectName(QStringLiteral("SelectSourceDlg"));
    setWindowTitle(Translate(QStringLiteral("Select Source")));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("SourceList"));
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({Translate(QStringLiteral("Vendor")),
                             Translate(QStringLiteral("Model")), Translate(QStringLiteral("Type")),
                             Translate(QStringLiteral("Device"))});
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->setMinimumSize(520, 180);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("SourceStatus"));
    m_status->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    m_select =
        buttons->addButton(Translate(QStringLiteral("Select")), QDialogButtonBox::AcceptRole);
    m_select->setDefault(true);
    buttons->addButton(Translate(QStringLiteral("Cancel")), QDialogButtonBox::RejectRole);
    m_refresh =
        buttons->addButton(Translate(QStringLiteral("Refresh")), QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_refresh, &QPushButton::clicked, this, &CSelectSourceDlg::Refresh);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CSelectSourceDlg::UpdateButtons);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (!SelectedDevice().empty()) accept();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Translate(QStringLiteral("Sources:")), this));
    layout->addWidget(m_list);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    Refresh();
}

void CSelectSourceDlg::Refresh() {
    if (m_searching) return;
    // What is marked now is marked again in the new list.
    if (const std::string current = SelectedDevice(); !current.empty()) m_preselected = current;
    m_searching = true;
    m_list->clear();
    m_status->setText(Translate(QStringLiteral("Looking for scanners and other sources...")));
    UpdateButtons();
    m_lister.ListDevicesLater(this, [this](std::vector<SaneDeviceInfo> devices,
                                           std::string reason) { Fill(devices, reason); });
}

void CSelectSourceDlg::Fill(const std::vector<SaneDeviceInfo>& devices, const std::string& reason) {
    m_searching = false;
    m_list->clear();
    QTreeWidgetItem* marked = nullptr;
    for (const SaneDeviceInfo& d : devices) {
        auto* item = new QTreeWidgetItem(m_list, {Q(d.vendor), Q(d.model), Q(d.type), Q(d.name)});
        if (d.name == m_preselected) marked = item;
    }
    if (!marked && m_list->topLevelItemCount() > 0) marked = m_list->topLevelItem(0);
    if (marked) m_list->setCurrentItem(marked);
    if (!reason.empty())
        m_status->setText(Translate(QStringLiteral("The sources could not be listed: %1."))
                              .replace(QStringLiteral("%1"), Q(reason)));
    else if (devices.empty())
        m_status->setText(
            Translate(QStringLiteral("No scanner or other acquisition source was found.")));
    else
        m_status->clear();
    UpdateButtons();
}

void CSelectSourceDlg::UpdateButtons() {
    m_select->setEnabled(!m_searching && !SelectedDevice().empty());
    m_refresh->setEnabled(!m_searching);
}

std::string CSelectSourceDlg::SelectedDevice() const {
    const QTreeWidgetItem* item = m_list->currentItem();
    return item && item->isSelected() ? item->text(kDevice).toStdString() : std::string();
}
