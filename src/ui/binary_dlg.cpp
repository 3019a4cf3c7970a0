#include "ui/binary_dlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "document/scope_doc.h"
#include "settings/language_table.h"

void RefreshStillPicture(CScopeDoc& doc) {
    if (doc.m_bLive) return;
    doc.ReapplyProcessing();
    if (theApp().frame) theApp().frame->Repaint(doc);
}

CBinaryDlg::CBinaryDlg(CScopeDoc& doc, QWidget* parent) : QDialog(parent), m_doc(doc) {
    setObjectName(QStringLiteral("BinaryDlg"));
    setWindowTitle(Translate(QStringLiteral("Binary")));

    m_enable = new QCheckBox(Translate(QStringLiteral("Enable")), this);
    m_enable->setChecked(doc.m_bBinary);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, 255);
    m_slider->setMinimumWidth(260);
    m_slider->setValue(doc.m_nBinaryThreshold);
    m_min = new QLabel(Translate(QStringLiteral("0")), this);
    m_max = new QLabel(Translate(QStringLiteral("255")), this);
    m_value = new QLabel(QString::number(m_slider->value()), this);
    m_value->setAlignment(Qt::AlignCenter);
    // Wide enough for "255", so the labels do not shift while the slider moves.
    m_value->setMinimumWidth(m_value->fontMetrics().horizontalAdvance(QStringLiteral("0000")));

    auto* grid = new QGridLayout;
    grid->addWidget(m_slider, 0, 0, 1, 3);
    grid->addWidget(m_min, 1, 0, Qt::AlignLeft);
    grid->addWidget(m_value, 1, 1, Qt::AlignCenter);
    grid->addWidget(m_max, 1, 2, Qt::AlignRight);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enable);
    layout->addLayout(grid);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    EnableSlider(doc.m_bBinary);
    connect(m_enable, &QCheckBox::toggled, this, &CBinaryDlg::OnEnable);
    connect(m_slider, &QSlider::valueChanged, this, &CBinaryDlg::OnSlider);
}

void CBinaryDlg::EnableSlider(bool on) {
    for (QWidget* w : {static_cast<QWidget*>(m_slider), static_cast<QWidget*>(m_min),
                       static_cast<QWidget*>(m_value), static_cast<QWidget*>(m_max)})
        w->setEnabled(on);
}

void CBinaryDlg::OnEnable(bool on) {
    m_doc.m_bBinary = on;
    RefreshStillPicture(m_doc);
    EnableSlider(on);
}

void CBinaryDlg::OnSlider(int value) {
    m_value->setText(QString::number(value));
    m_doc.m_nBinaryThreshold = value;
    RefreshStillPicture(m_doc);
}

void RunBinaryDialog(CScopeDoc& doc, QWidget* parent) {
    CBinaryDlg dlg(doc, parent);
    dlg.exec();
}
