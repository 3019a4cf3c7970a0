#include "ui/measure_color_dlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "document/scope_doc.h"
#include "overlay/calibration.h"
#include "overlay/element_manager.h"
#include "settings/language_table.h"

namespace {

constexpr int kOverlayColors = 8;
constexpr int kSwatchInset = 2;
// Room for the swatch and its insets.
constexpr int kSwatchCell = CColorSelectComboBox::kSwatchWidth + 2 * kSwatchInset;

// The swatch from (left + 2, top + 2) to (left + 62, bottom - 2).
QRect SwatchRect(const QRect& item) {
    return QRect(QPoint(item.left() + kSwatchInset, item.top() + kSwatchInset),
                 QPoint(item.left() + kSwatchInset + CColorSelectComboBox::kSwatchWidth - 1,
                        item.bottom() - kSwatchInset));
}

void DrawSwatch(QPainter& p, const QRect& item, const QColor& color, const QString& text,
                const QColor& textColor) {
    p.fillRect(SwatchRect(item), color);
    if (text.isEmpty()) return;
    p.setPen(textColor);
    const QRect textRect(item.left() + kSwatchCell + 4, item.top(),
                         std::max(0, item.width() - kSwatchCell - 4), item.height());
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
}

// Draws the items of the open list: a colour swatch on the window colour, the selected item on
// the highlight colour with a focus frame.
class CColorItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QPalette& pal = option.palette;
        const bool enabled = option.state & QStyle::State_Enabled;
        const bool selected = option.state & QStyle::State_Selected;
        QColor back = pal.color(QPalette::Base);
        QColor text = pal.color(QPalette::Text);
        if (selected) {
            back = pal.color(QPalette::Highlight);
            text = pal.color(QPalette::HighlightedText);
        }
        QColor swatch = index.data(Qt::UserRole).value<QColor>();
        if (!enabled) {
            text = pal.color(QPalette::Disabled, QPalette::Text);
            swatch = text;
        }
        p->save();
        p->fillRect(option.rect, back);
        DrawSwatch(*p, option.rect, swatch, index.data(Qt::DisplayRole).toString(), text);
        if (selected) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.backgroundColor = back;
            const QWidget* w = option.widget;
            const QStyle* style = w ? w->style() : QApplication::style();
            style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, p, w);
        }
        p->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize base = QStyledItemDelegate::sizeHint(option, index);
        return QSize(std::max(base.width(), kSwatchCell + 4),
                     std::max(base.height(), option.fontMetrics.height() + 2 * kSwatchInset));
    }
};

}  // namespace

// ---- Colour list ----

CColorSelectComboBox::CColorSelectComboBox(QWidget* parent) : QComboBox(parent) {
    setItemDelegate(new CColorItemDelegate(this));
}

void CColorSelectComboBox::FillColors() {
    for (int i = 0; i < kOverlayColors; ++i) AddColor(i == 0 ? QColor(0, 0, 0) : GVLColor(i));
    setCurrentIndex(count() > 0 ? 0 : -1);
}

int CColorSelectComboBox::AddColor(const QColor& color) {
    const int found = findData(color, Qt::UserRole);
    if (found >= 0) return found;
    addItem(QString(), color);
    return count() - 1;
}

QColor CColorSelectComboBox::ColorAt(int index) const {
    if (index < 0 || index >= count()) return {};
    return itemData(index, Qt::UserRole).value<QColor>();
}

QSize CColorSelectComboBox::sizeHint() const {
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    const QSize content(kSwatchCell + 8, std::max(fontMetrics().height(), 16));
    return style()->sizeFromContents(QStyle::CT_ComboBox, &opt, content, this);
}

QSize CColorSelectComboBox::minimumSizeHint() const {
    return sizeHint();
}

void CColorSelectComboBox::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentText.clear();
    opt.currentIcon = QIcon();
    p.drawComplexControl(QStyle::CC_ComboBox, opt);
    p.drawControl(QStyle::CE_ComboBoxLabel, opt);
    const int current = currentIndex();
    if (current < 0) return;
    QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    QColor swatch = ColorAt(current);
    if (!isEnabled()) swatch = palette().color(QPalette::Disabled, QPalette::Text);
    DrawSwatch(p, field, swatch, itemText(current), palette().color(QPalette::Text));
}

// ---- Dialog ----

CMeasureColorDlg::CMeasureColorDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("MeasureColorDlg"));
    auto make = [this](const char* name) {
        auto* list = new CColorSelectComboBox(this);
        list->setObjectName(QLatin1String(name));
        return list;
    };
    m_listRuler = make("MeasurementColor");
    m_listAdjust = make("PointColor");
    m_listText = make("TextColor");
    m_listCoord = make("CoordinateColor");
    m_listCoord->hide();
    m_listPrecision = new QComboBox(this);
    m_listPrecision->setObjectName(QStringLiteral("Precision"));
    for (int i = 1; i <= 5; ++i) m_listPrecision->addItem(QString::number(i));
    m_listFontSize = new QComboBox(this);
    m_listFontSize->setObjectName(QStringLiteral("FontSize"));
    m_listBackground = new QComboBox(this);
    m_listBackground->setObjectName(QStringLiteral("Background"));

    auto* colors = new QGroupBox(Translate(QStringLiteral("Measure Color")), this);
    auto* colorForm = new QFormLayout(colors);
    colorForm->addRow(Translate(QStringLiteral("Measurement")), m_listRuler);
    colorForm->addRow(Translate(QStringLiteral("Point")), m_listAdjust);
    colorForm->addRow(Translate(QStringLiteral("Text")), m_listText);

    auto* others = new QGroupBox(Translate(QStringLiteral("Others")), this);
    auto* otherForm = new QFormLayout(others);
    otherForm->addRow(Translate(QStringLiteral("Precision")), m_listPrecision);
    otherForm->addRow(Translate(QStringLiteral("Font Size")), m_listFontSize);
    otherForm->addRow(Translate(QStringLiteral("Background")), m_listBackground);

    // Both groups line their fields up in one column.
    for (QFormLayout* form : {colorForm, otherForm}) {
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    int labelWidth = 0;
    for (QFormLayout* form : {colorForm, otherForm})
        for (int r = 0; r < form->rowCount(); ++r)
            if (QLayoutItem* item = form->itemAt(r, QFormLayout::LabelRole))
                labelWidth = std::max(labelWidth, item->widget()->sizeHint().width());
    for (QFormLayout* form : {colorForm, otherForm})
        for (int r = 0; r < form->rowCount(); ++r)
            if (QLayoutItem* item = form->itemAt(r, QFormLayout::LabelRole))
                item->widget()->setMinimumWidth(labelWidth);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Translate(QStringLiteral("OK")));
    buttons->button(QDialogButtonBox::Cancel)->setText(Translate(QStringLiteral("Cancel")));
    connect(buttons, &QDialogButtonBox::accepted, this, &CMeasureColorDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CMeasureColorDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(colors);
    layout->addWidget(others);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setWindowTitle(Translate(QStringLiteral("Measure Setting")));
    UpdateControls();
}

void CMeasureColorDlg::LoadFrom(const CGVLElemMgr& mgr) {
    const GVLDisplay d = mgr.GetDisplay();
    m_color_Text = std::max(0, d.m_color_Text);
    m_color_Ruler = std::max(0, d.m_color_Ruler);
    m_color_Coord = std::max(0, d.m_color_Coord);
    m_color_Adjust = std::max(0, d.m_color_Adjust);
    m_nPrecision = mgr.GetPrecision();
    m_nFontSize = mgr.GetFontSize();
    m_nFontBackground = mgr.GetFontBackground();
    UpdateControls();
}

void CMeasureColorDlg::ApplyTo(CGVLElemMgr& mgr) const {
    GVLDisplay d;
    d.m_color_Text = m_color_Text;
    d.m_color_Ruler = m_color_Ruler;
    d.m_color_Coord = m_color_Coord;
    d.m_color_Adjust = m_color_Adjust;
    mgr.SetDisplay(d);
    mgr.SetPrecision(m_nPrecision);
    mgr.SetFontSize(m_nFontSize);
    mgr.SetFontBackground(m_nFontBackground);
}

void CMeasureColorDlg::showEvent(QShowEvent* e) {
    UpdateControls();
    QDialog::showEvent(e);
}

void CMeasureColorDlg::UpdateControls() {
    // A value outside its list (edited settings) shows no selection.
    auto show = [](QComboBox* list, int index) {
        list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
    };
    for (auto [list, value] : {std::pair{m_listRuler, m_color_Ruler},
                               {m_listAdjust, m_color_Adjust},
                               {m_listText, m_color_Text},
                               {m_listCoord, m_color_Coord}}) {
        list->FillColors();
        show(list, value);
    }
    m_listFontSize->clear();
    m_listFontSize->addItems({Translate(QStringLiteral("Small")),
                              Translate(QStringLiteral("Medium")),
                              Translate(QStringLiteral("Big"))});
    m_listBackground->clear();
    m_listBackground->addItems(
        {Translate(QStringLiteral("Transparent")), Translate(QStringLiteral("Gray"))});
    m_nPrecision = std::max(1, m_nPrecision);
    m_nFontSize = std::max(1, m_nFontSize);
    m_nFontBackground = std::max(1, m_nFontBackground);
    show(m_listPrecision, m_nPrecision - 1);
    show(m_listFontSize, m_nFontSize - 1);
    show(m_listBackground, m_nFontBackground - 1);
}

void CMeasureColorDlg::accept() {
    // A list left without a selection keeps its value: OK must not turn an out-of-range value
    // into -1 or 0 behind the user's back.
    auto take = [](const QComboBox* list, int& value, int offset) {
        if (list->currentIndex() >= 0) value = list->currentIndex() + offset;
    };
    take(m_listRuler, m_color_Ruler, 0);
    take(m_listAdjust, m_color_Adjust, 0);
    take(m_listText, m_color_Text, 0);
    take(m_listCoord, m_color_Coord, 0);
    take(m_listPrecision, m_nPrecision, 1);
    take(m_listFontSize, m_nFontSize, 1);
    take(m_listBackground, m_nFontBackground, 1);
    QDialog::accept();
}

bool RunMeasureSettingDialog(CScopeDoc& doc, QWidget* parent) {
    // On the heap: should the parent go while the dialog is open, the dialog goes with it.
    QPointer<CMeasureColorDlg> dlg = new CMeasureColorDlg(parent);
    dlg->LoadFrom(doc.ElemMgr());
    const bool ok = dlg->exec() == QDialog::Accepted;
    if (!dlg) return false;
    // The document may have gone meanwhile (a camera unplugged closes the live one).
    const auto& docs = CScopeDoc::AllDocuments();
    const bool applied = ok && std::find(docs.begin(), docs.end(), &doc) != docs.end();
    if (applied) {
        dlg->ApplyTo(doc.ElemMgr());
        if (IScopeDocFrame* frame = theApp().frame) frame->Repaint(doc);
    }
    delete dlg;
    return applied;
}
