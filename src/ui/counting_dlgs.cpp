#include "ui/counting_dlgs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "advanced/counting/counting_document.h"
#include "advanced/counting/counting_results.h"
#include "document/scope_doc.h"
#include "settings/language_table.h"
#include "ui/measure_color_dlg.h"

namespace {

QString Tr(const char* text) {
    return Translate(QString::fromUtf8(text));
}

QComboBox* StyleBox(std::initializer_list<const char*> entries, QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (const char* e : entries) box->addItem(Tr(e));
    return box;
}

// "Style:" and "Color:" side by side in a group.
QGroupBox* StyleGroup(const char* title, QComboBox* style, CColorSelectComboBox* colour,
                      QWidget* parent) {
    auto* group = new QGroupBox(Tr(title), parent);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(Tr("Style:"), group), 0, 0);
    grid->addWidget(style, 0, 1);
    grid->addWidget(new QLabel(Tr("Color:"), group), 1, 0);
    grid->addWidget(colour, 1, 1);
    return group;
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

CCountingSettingsDlg::CCountingSettingsDlg(CCountingSettingsModel& model, QWidget* parent)
    : QDialog(parent), m_model(model) {
    using M = CCountingSettingsModel;
    setWindowTitle(Tr("Counting settings"));
    m_outlineStyle = StyleBox({"Contour line", "Fill", "nothing"}, this);
    m_tabStyle = StyleBox({"No.", "Area", "Perimeter"}, this);
    m_outlineColor = new CColorSelectComboBox(this);
    m_tabColor = new CColorSelectComboBox(this);
    m_outlineColor->FillColors();
    m_tabColor->FillColors();

    auto* layout = new QVBoxLayout(this);
    auto* styles = new QHBoxLayout;
    styles->addWidget(StyleGroup("Outline", m_outlineStyle, m_outlineColor, this));
    styles->addWidget(StyleGroup("Tab:", m_tabStyle, m_tabColor, this));
    layout->addLayout(styles);

    auto* filters = new QGridLayout;
    m_byArea = new QCheckBox(Tr("Area (px)"), this);
    m_byPerimeter = new QCheckBox(Tr("Perimeter (px)"), this);
    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,9}")), this);
    for (int e = 0; e < 4; ++e) {
        m_edits[e] = new QLineEdit(this);
        m_edits[e]->setValidator(digits);
        m_edits[e]->setObjectName(QStringLiteral("edit%1").arg(e));
    }
    QCheckBox* boxes[2] = {m_byArea, m_byPerimeter};
    for (int row = 0; row < 2; ++row) {
        filters->addWidget(boxes[row], row, 0);
        filters->addWidget(new QLabel(Tr("Lower limit:"), this), row, 1);
        filters->addWidget(m_edits[2 * row], row, 2);
        filters->addWidget(new QLabel(Tr("Upper limit:"), this), row, 3);
        filters->addWidget(m_edits[2 * row + 1], row, 4);
    }
    layout->addLayout(filters);
    m_hole = new QCheckBox(Tr("Hole"), this);
    layout->addWidget(m_hole);

    // Min, Max and Average of the objects counted, for area and perimeter.
    auto* values = new QGridLayout;
    const char* columns[] = {"Min:", "Max:", "Average:"};
    for (int c = 0; c < 3; ++c) values->addWidget(new QLabel(Tr(columns[c]), this), 0, c + 1);
    values->addWidget(new QLabel(Tr("Area"), this), 1, 0);
    values->addWidget(new QLabel(Tr("Perimeter"), this), 2, 0);
    for (int v = 0; v < 6; ++v) {
        m_values[v] = new QLabel(model.ValueText(static_cast<M::Value>(v)), this);
        values->addWidget(m_values[v], 1 + v / 3, 1 + v % 3);
    }
    layout->addLayout(values);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // The opening state, then every change goes to the model.
    m_outlineStyle->setCurrentIndex(model.OutlineStyle());
    m_tabStyle->setCurrentIndex(model.TabStyle());
    m_outlineColor->setCurrentIndex(model.OutlineColorIndex());
    m_tabColor->setCurrentIndex(model.TabColorIndex());
    m_byArea->setChecked(model.ByArea());
    m_byPerimeter->setChecked(model.ByPerimeter());
    m_hole->setChecked(model.Hole());
    for (int e = 0; e < 4; ++e) m_edits[e]->setText(model.EditText(static_cast<M::Edit>(e)));
    Refresh();

    connect(m_outlineStyle, &QComboBox::activated, this,
            [this](int i) { m_model.SetOutlineStyle(i), Refresh(); });
    connect(m_tabStyle, &QComboBox::activated, this,
            [this](int i) { m_model.SetTabStyle(i), Refresh(); });
    connect(m_outlineColor, &QComboBox::activated, this,
            [this](int i) { m_model.SetOutlineColor(i), Refresh(); });
    connect(m_tabColor, &QComboBox::activated, this,
            [this](int i) { m_model.SetTabColor(i), Refresh(); });
    connect(m_byArea, &QCheckBox::toggled, this,
            [this](bool on) { m_model.SetByArea(on), Refresh(); });
    connect(m_byPerimeter, &QCheckBox::toggled, this,
            [this](bool on) { m_model.SetByPerimeter(on), Refresh(); });
    connect(m_hole, &QCheckBox::toggled, this, [this](bool on) { m_model.SetHole(on), Refresh(); });
    for (int e = 0; e < 4; ++e)
        connect(m_edits[e], &QLineEdit::textEdited, this, [this, e](const QString& text) {
            m_model.SetEditText(static_cast<CCountingSettingsModel::Edit>(e), text);
            Refresh();
        });
}

void CCountingSettingsDlg::Refresh() {
    for (int e = 0; e < 4; ++e)
        m_edits[e]->setEnabled(m_model.EditEnabled(static_cast<CCountingSettingsModel::Edit>(e)));
    m_ok->setEnabled(m_model.OkEnabled());
}

CCountingResultsDlg::CCountingResultsDlg(CScopeDoc& doc, QWidget* parent)
    : QDialog(parent), m_doc(doc) {
    setWindowTitle(Tr("Statistical results"));
    auto* layout = new QVBoxLayout(this);
    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels(CountingHeaders());
    m_list->header()->setStretchLastSection(false);
    for (int c = 0; c < 4; ++c) m_list->setColumnWidth(c, 150);
    for (const CountingRow& r : CountingResultRows(doc.m_hSegm, Tr("Average:")))
        m_list->addTopLevelItem(
            new QTreeWidgetItem(QStringList{r.number, r.centre, r.area, r.perimeter}));
    m_list->setMinimumSize(4 * 150 + 24, 320);
    layout->addWidget(m_list);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_export = new QPushButton(Tr("export"), this);
    m_close = new QPushButton(Tr("close"), this);
    buttons->addWidget(m_export);
    buttons->addWidget(m_close);
    layout->addLayout(buttons);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_export, &QPushButton::clicked, this, [this] {
        if (ExportCountingResults(m_doc)) accept();
    });
}

void RunCountingSettingsDialog(CScopeDoc& doc, QWidget* parent) {
    if (doc.m_bLive) return;
    CountingBegin(doc);
    CCountingSettingsModel model(doc.m_hSegm);
    CCountingSettingsDlg dlg(model, parent);
    if (dlg.exec() != QDialog::Accepted) return;
    model.Accept();
    WaitCursor wait;
    CountingAccepted(doc);
}

void RunCountingResultsDialog(CScopeDoc& doc, QWidget* parent) {
    if (!doc.m_hSegm) return;
    CCountingResultsDlg dlg(doc, parent);
    dlg.exec();
}
