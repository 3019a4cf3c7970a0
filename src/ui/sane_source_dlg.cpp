#include "ui/sane_source_dlg.h"

#include <sane/saneopts.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>
#include <cmath>

#include "camera/acquisition/sane_options.h"
#include "camera/acquisition/source_settings.h"
#include "settings/language_table.h"

namespace {

QString Tr(const char* english) {
    return Translate(QString::fromLatin1(english));
}

QString WithArg(const char* english, const QString& value) {
    return Tr(english).replace(QStringLiteral("%1"), value);
}

// The main options, in the order they are shown, and the scan area.
const char* const kMainOptions[] = {SANE_NAME_SCAN_MODE,         SANE_NAME_SCAN_RESOLUTION,
                                    SANE_NAME_SCAN_X_RESOLUTION, SANE_NAME_SCAN_Y_RESOLUTION,
                                    SANE_NAME_SCAN_SOURCE,       SANE_NAME_BIT_DEPTH};
const char* const kAreaOptions[] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X,
                                    SANE_NAME_SCAN_BR_Y};

QString UnitSuffix(SANE_Unit unit) {
    switch (unit) {
        case SANE_UNIT_PIXEL:
            return QStringLiteral(" px");
        case SANE_UNIT_BIT:
            return QStringLiteral(" bit");
        case SANE_UNIT_MM:
            return QStringLiteral(" mm");
        case SANE_UNIT_DPI:
            return QStringLiteral(" dpi");
        case SANE_UNIT_PERCENT:
            return QStringLiteral(" %");
        case SANE_UNIT_MICROSECOND:
            return QStringLiteral(" µs");
        default:
            return {};
    }
}

QString NumberText(const SaneOption& o, double v) {
    return (o.type == SANE_TYPE_FIXED ? QString::number(v, 'g', 6)
                                      : QString::number(std::lround(v))) +
           UnitSuffix(o.unit);
}

}  // namespace

// ---- The dialog ----

CSaneSourceDlg::CSaneSourceDlg(ISaneSourceControl& source, QWidget* parent)
    : QDialog(parent), m_source(&source) {
    setObjectName(QStringLiteral("SaneSourceDlg"));
    setModal(false);
    const SaneDeviceInfo& d = source.Device();
    const QString product = QString::fromStdString(d.vendor + " " + d.model).trimmed();
    setWindowTitle(product.isEmpty()
                       ? QString::fromStdString(d.name)
                       : QStringLiteral("%1 (%2)").arg(product, QString::fromStdString(d.name)));

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("ScanStatus"));
    m_status->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ScanProgress"));
    m_progress->setRange(0, 100);
    m_progress->setVisible(false);
    m_scan = new QPushButton(Tr("&Scan"), this);
    m_scan->setObjectName(QStringLiteral("ScanButton"));
    m_scan->setDefault(true);
    m_cancel = new QPushButton(Tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelScanButton"));
    m_cancel->setVisible(false);
    m_close = new QPushButton(Tr("Close"), this);
    m_close->setObjectName(QStringLiteral("CloseSourceButton"));
    connect(m_scan, &QPushButton::clicked, this, &CSaneSourceDlg::StartScan);
    connect(m_cancel, &QPushButton::clicked, this, &CSaneSourceDlg::CancelScan);
    connect(m_close, &QPushButton::clicked, this, &CSaneSourceDlg::RequestClose);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_progress, 1);
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    buttons->addWidget(m_scan);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(m_status);
    layout->addLayout(buttons);

    // The values this device was last used with.
    source.Options().Restore(StoredSourceOptions(d.name));
    BuildForm();
    resize(460, 520);
}

void CSaneSourceDlg::Detach() {
    m_source = nullptr;
    setEnabled(false);
}

QString CSaneSourceDlg::Signature() const {
    QString s;
    if (!m_source) return s;
    for (const SaneOption& o : m_source->Options().All()) {
        if (!o.IsOffered()) continue;
        s += o.name + u'|' + QString::number(int(o.constraint)) + u'|' + o.strings.join(u',') +
             u'|' + QString::number(o.min) + u'|' + QString::number(o.max) + u'|' +
             QString::number(o.words.size()) + u';';
    }
    return s;
}

QWidget* CSaneSourceDlg::MakeEditor(const SaneOption& o) {
    const QString name = o.name;
    QWidget* editor = nullptr;
    if (o.type == SANE_TYPE_BOOL) {
        auto* box = new QCheckBox;
        connect(box, &QCheckBox::toggled, this, [this, name](bool on) { Apply(name, on); });
        editor = box;
    } else if (o.constraint == SaneOption::Constraint::StringList ||
               o.constraint == SaneOption::Constraint::WordList) {
        auto* box = new QComboBox;
        if (o.constraint == SaneOption::Constraint::StringList) {
            for (const QString& s : o.strings) box->addItem(Translate(s), s);
        } else {
            for (double w : o.words) box->addItem(NumberText(o, w), w);
        }
        // Long entries do not widen the dialog; the list shows them whole.
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(16);
        connect(box, &QComboBox::activated, this,
                [this, name, box](int i) { Apply(name, box->itemData(i)); });
        editor = box;
    } else if (o.type == SANE_TYPE_INT) {
        auto* box = new QSpinBox;
        const bool range = o.constraint == SaneOption::Constraint::Range;
        box->setRange(range ? int(o.min) : INT_MIN, range ? int(o.max) : INT_MAX);
        if (range && o.quant >= 1) box->setSingleStep(int(o.quant));
        box->setSuffix(UnitSuffix(o.unit));
        box->setKeyboardTracking(false);
        connect(box, &QSpinBox::valueChanged, this, [this, name](int v) { Apply(name, v); });
        editor = box;
    } else if (o.type == SANE_TYPE_FIXED) {
        auto* box = new QDoubleSpinBox;
        const bool range = o.constraint == SaneOption::Constraint::Range;
        box->setDecimals(range && o.quant >= 1 ? 0 : 2);
        box->setRange(range ? o.min : -32768.0, range ? o.max : 32767.0);
        if (range && o.quant > 0) box->setSingleStep(o.quant);
        box->setSuffix(UnitSuffix(o.unit));
        box->setKeyboardTracking(false);
        connect(box, &QDoubleSpinBox::valueChanged, this,
                [this, name](double v) { Apply(name, v); });
        editor = box;
    } else {
        auto* edit = new QLineEdit;
        connect(edit, &QLineEdit::editingFinished, this,
                [this, name, edit] { Apply(name, edit->text()); });
        editor = edit;
    }
    editor->setObjectName(QStringLiteral("Option_") + name);
    editor->setToolTip(o.description);
    return editor;
}

void CSaneSourceDlg::BuildForm() {
    if (!m_source) return;
    m_editors.clear();
    auto* form = new QWidget;
    auto* layout = new QVBoxLayout(form);
    const CSaneOptions& options = m_source->Options();

    auto addGroup = [&](const QString& title, const std::vector<const SaneOption*>& group) {
        if (group.empty()) return;
        auto* box = new QGroupBox(Translate(title), form);
        auto* rows = new QFormLayout(box);
        layout->addWidget(box);
        for (const SaneOption* o : group) {
            QWidget* editor = MakeEditor(*o);
            m_editors.insert(o->name, editor);
            rows->addRow(Translate(o->title) + u':', editor);
        }
    };
    auto named = [&](const char* const* names, size_t n) {
        std::vector<const SaneOption*> group;
        for (size_t i = 0; i < n; ++i)
            if (const SaneOption* o = options.Find(QLatin1String(names[i])); o && o->IsOffered())
                group.push_back(o);
        return group;
    };
    // The main options and the scan area in their own order, whatever the device's; then the
    // rest in the device's groups.
    addGroup(QStringLiteral("Scan"), named(kMainOptions, std::size(kMainOptions)));
    addGroup(QStringLiteral("Scan Area"), named(kAreaOptions, std::size(kAreaOptions)));
    QStringList groups;
    for (const SaneOption& o : options.All())
        if (o.IsOffered() && !m_editors.contains(o.name) && !groups.contains(o.group))
            groups.append(o.group);
    for (const QString& g : groups) {
        std::vector<const SaneOption*> group;
        for (const SaneOption& o : options.All())
            if (o.IsOffered() && o.group == g && !m_editors.contains(o.name)) group.push_back(&o);
        addGroup(g.isEmpty() ? QStringLiteral("More") : g, group);
    }
    layout->addStretch();

    m_scroll->setWidget(form);  // the old form goes with it
    m_signature = Signature();
    RefreshValues();
    form->setEnabled(!m_scanning);
}

void CSaneSourceDlg::RefreshValues() {
    if (!m_source) return;
    for (const SaneOption& o : m_source->Options().All()) {
        QWidget* editor = m_editors.value(o.name);
        if (!editor || !o.value.isValid()) continue;
        const QSignalBlocker block(editor);
        if (auto* check = qobject_cast<QCheckBox*>(editor)) {
            check->setChecked(o.value.toBool());
        } else if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            int index = -1;
            for (int i = 0; i < combo->count() && index < 0; ++i) {
                const QVariant data = combo->itemData(i);
                if (o.constraint == SaneOption::Constraint::StringList
                        ? data.toString() == o.value.toString()
                        : std::fabs(data.toDouble() - o.value.toDouble()) < 1e-6)
                    index = i;
            }
            combo->setCurrentIndex(index);
        } else if (auto* spin = qobject_cast<QSpinBox*>(editor)) {
            spin->setValue(o.value.toInt());
        } else if (auto* dspin = qobject_cast<QDoubleSpinBox*>(editor)) {
            dspin->setValue(o.value.toDouble());
        } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            edit->setText(o.value.toString());
        }
    }
}

void CSaneSourceDlg::Apply(const QString& name, const QVariant& value) {
    if (!m_source || m_scanning) return;
    std::string reason;
    if (!m_source->Options().Set(name, value, &reason))
        m_status->setText(WithArg("The value was not taken: %1.", QString::fromStdString(reason)));
    else
        m_status->clear();
    // Other options may have come, gone or changed their range: the sender may be rebuilt,
    // so not while its signal is being delivered.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (Signature() != m_signature)
                BuildForm();
            else
                RefreshValues();
        },
        Qt::QueuedConnection);
}

// ---- Scanning ----

void CSaneSourceDlg::SetScanning(bool scanning) {
    m_scanning = scanning;
    m_hung = false;
    if (QWidget* form = m_scroll->widget()) form->setEnabled(!scanning);
    m_scan->setEnabled(!scanning);
    m_close->setEnabled(!scanning);
    m_cancel->setVisible(scanning);
    m_cancel->setEnabled(scanning);
    m_progress->setVisible(scanning);
}

void CSaneSourceDlg::StartScan() {
    if (!m_source || m_scanning) return;
    // The values of this scan are the ones the device comes back with next time.
    StoreSourceOptions(m_source->Device().name, m_source->Options().Snapshot());
    std::string reason;
    if (!m_source->StartScan(&reason))
        m_status->setText(WithArg("The scan could not start: %1.", QString::fromStdString(reason)));
}

void CSaneSourceDlg::CancelScan() {
    if (!m_source || !m_scanning) return;
    m_cancel->setEnabled(false);
    m_status->setText(Tr("Stopping..."));
    m_source->CancelScan();
}

void CSaneSourceDlg::RequestClose() {
    if (!m_source || (m_scanning && !m_hung)) return;
    hide();
    m_source->RequestClose();
}

void CSaneSourceDlg::reject() {
    // Escape stops a scan, or closes the source.
    if (m_scanning)
        CancelScan();
    else
        RequestClose();
}

void CSaneSourceDlg::closeEvent(QCloseEvent* e) {
    e->ignore();
    reject();
}

void CSaneSourceDlg::OnScanStarted() {
    SetScanning(true);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_status->setText(WithArg("Scanning page %1...", QStringLiteral("1")));
}

void CSaneSourceDlg::OnScanProgressed(const ScanProgress& p) {
    if (!m_scanning) return;
    if (p.percent < 0) {
        m_progress->setRange(0, 0);  // length unknown: a busy bar
    } else {
        m_progress->setRange(0, 100);
        m_progress->setValue(p.percent);
    }
    QString text = WithArg("Scanning page %1...", QString::number(p.page));
    if (p.frames > 1)
        text = Tr("Scanning page %1, pass %2 of %3...")
                   .replace(QStringLiteral("%1"), QString::number(p.page))
                   .replace(QStringLiteral("%2"), QString::number(p.frame))
                   .replace(QStringLiteral("%3"), QString::number(p.frames));
    if (m_cancel->isEnabled()) m_status->setText(text);
}

void CSaneSourceDlg::OnScanHung() {
    if (!m_scanning) return;
    m_hung = true;
    m_close->setEnabled(true);
    m_status->setText(
        Tr("The scanner does not stop. Close gives it up until the program starts again."));
}

void CSaneSourceDlg::OnScanFinished(const ScanOutcome& outcome) {
    SetScanning(false);
    const QString message = ScanOutcomeMessage(outcome);
    if (message.isEmpty()) {
        m_status->setText(outcome.pages == 1
                              ? Tr("1 page scanned.")
                              : WithArg("%1 pages scanned.", QString::number(outcome.pages)));
        return;
    }
    const bool failed =
        outcome.end == ScanOutcome::End::DeviceError || outcome.end == ScanOutcome::End::BadData;
    ShowMessage(failed, message);
}

void CSaneSourceDlg::ShowMessage(bool failed, const QString& text) {
    m_status->setText(text);
    // Not a blocking box: the pages already scanned are handed over meanwhile.
    if (m_messageBox) m_messageBox->close();
    m_messageBox = new QMessageBox(failed ? QMessageBox::Warning : QMessageBox::Information,
                                   failed ? Tr("Error") : Tr("Hint"), text, QMessageBox::Ok, this);
    m_messageBox->setObjectName(QStringLiteral("ScanMessage"));
    m_messageBox->setAttribute(Qt::WA_DeleteOnClose);
    m_messageBox->button(QMessageBox::Ok)->setText(Tr("OK"));
    m_messageBox->open();
}

// ---- What the source owns ----

CQtSourceUi::CQtSourceUi(ISaneSourceControl& source, QWidget* parent)
    : m_dialog(new CSaneSourceDlg(source, parent)) {}

CQtSourceUi::~CQtSourceUi() {
    if (!m_dialog) return;
    m_dialog->Detach();
    m_dialog->hide();
    m_dialog->deleteLater();
}

void CQtSourceUi::Show() {
    if (!m_dialog) return;
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void CQtSourceUi::ScanStarted() {
    if (m_dialog) m_dialog->OnScanStarted();
}

void CQtSourceUi::ScanProgressed(const ScanProgress& progress) {
    if (m_dialog) m_dialog->OnScanProgressed(progress);
}

void CQtSourceUi::ScanHung() {
    if (m_dialog) m_dialog->OnScanHung();
}

void CQtSourceUi::ScanFinished(const ScanOutcome& outcome) {
    if (m_dialog) m_dialog->OnScanFinished(outcome);
}
