#include "ui/camera_pages/camera_page.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

namespace {

// Room for the longest number a row shows ("300000", "2000.000ms").
constexpr const char* kWidestValue = "00000.000ms";

}  // namespace

CCameraPage::CCameraPage(int dialogId, QWidget* parent) : QWidget(parent), m_nDialogId(dialogId) {}

void CCameraPage::keyPressEvent(QKeyEvent* e) {
    const bool enterOrEscape = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape;
    if (enterOrEscape && m_bSwallowEnterEscape) {
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

CSliderRow::CSliderRow(QGridLayout* grid, int row, const QString& caption, QWidget* parent, const QString& name) {
    m_caption = new QLabel(caption, parent);
    m_slider = new QSlider(Qt::Horizontal, parent);
    m_slider->setObjectName(name + QStringLiteral("Slider"));
    m_slider->setMinimumWidth(80);
    m_value = new QLabel(parent);
    m_value->setObjectName(name + QStringLiteral("Value"));
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_value->setMinimumWidth(m_value->fontMetrics().horizontalAdvance(QString::fromLatin1(kWidestValue)));
    grid->addWidget(m_caption, row, 0);
    grid->addWidget(m_slider, row, 1);
    grid->addWidget(m_value, row, 2);
}

void CSliderRow::SetRange(int min, int max) {
    const QSignalBlocker quiet(m_slider);
    m_slider->setRange(min, std::max(min, max));
}

void CSliderRow::SetPos(int pos) {
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(pos);
}

int CSliderRow::Pos() const { return m_slider->value(); }

void CSliderRow::SetText(const QString& text) { m_value->setText(text); }

QString CSliderRow::Text() const { return m_value->text(); }

void CSliderRow::SetEnabled(bool on) {
    m_slider->setEnabled(on);
    m_value->setEnabled(on);
    m_caption->setEnabled(on);
}

void CSliderRow::SetVisible(bool on) {
    m_caption->setVisible(on);
    m_slider->setVisible(on);
    m_value->setVisible(on);
}

QGridLayout* MakePageGrid(QWidget* page) {
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(6);
    return grid;
}
