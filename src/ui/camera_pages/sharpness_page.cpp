#include "ui/camera_pages/sharpness_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "camera/camera_manager.h"
#include "settings/language_table.h"

CSharpnessDlg::CSharpnessDlg(QWidget* parent) : CCameraPage(kDialogId, parent) {
    setObjectName(QStringLiteral("SharpnessPage"));
    QGridLayout* grid = MakePageGrid(this);
    m_enable = new QCheckBox(Translate(QStringLiteral("Sharpness Enhancement")), this);
    m_enable->setObjectName(QStringLiteral("SharpnessBox"));
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("SharpnessSlider"));
    m_slider->setMinimumWidth(80);
    m_value = new QLabel(QStringLiteral("30"), this);
    m_value->setObjectName(QStringLiteral("SharpnessValue"));
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_value->setMinimumWidth(m_value->fontMetrics().horizontalAdvance(QStringLiteral("0000")));
    m_note = new QLabel(Translate(QStringLiteral("Increasing the sharpness value may result in slower frame rates")), this);
    m_note->setWordWrap(true);
    grid->addWidget(m_enable, 0, 0, 1, 2);
    grid->addWidget(m_slider, 1, 0);
    grid->addWidget(m_value, 1, 1);
    grid->addWidget(m_note, 2, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 0);
    {
        const QSignalBlocker quiet(m_slider);
        m_slider->setRange(kMinLevel, kMaxLevel);
        m_slider->setValue(60);
    }
    m_enable->setChecked(true);
    connect(m_enable, &QCheckBox::clicked, this, &CSharpnessDlg::OnCheck);
    connect(m_slider, &QSlider::valueChanged, this, &CSharpnessDlg::OnSlider);
}

bool CSharpnessDlg::MakerCamera() const {
    const CCameraManager& cm = theCameraManager();
    return cm.IsOpen() && cm.m_currentCamera.kind == KindMaker;
}

void CSharpnessDlg::ResetPage() {
    const QSignalBlocker quiet(m_slider);
    int enable = 0, level = kMinLevel;
    const bool maker = MakerCamera() && theCameraManager().GetSharpen(&enable, &level) == 0;
    m_enable->setEnabled(maker);
    if (maker) {
        m_fLevel = level;
        m_enable->setChecked(enable != 0);
    }
    if (maker && enable) {
        m_value->setText(QString::number(level));
        m_slider->setRange(kMinLevel, kMaxLevel);
        m_slider->setValue(level);
        m_slider->setEnabled(true);
        return;
    }
    m_slider->setEnabled(false);
    m_value->setText(QStringLiteral("30"));
    m_slider->setRange(kMinLevel, kMaxLevel);
    m_slider->setValue(kMinLevel);
}

void CSharpnessDlg::OnCheck(bool on) {
    m_slider->setEnabled(on);
    if (MakerCamera()) theCameraManager().SetSharpen(on ? 1 : 0, static_cast<int>(m_fLevel));
    m_value->setText(QString::number(static_cast<int>(m_fLevel)));
    {
        const QSignalBlocker quiet(m_slider);
        m_slider->setValue(static_cast<int>(m_fLevel));
    }
    Changed(CameraPropertyId::Sharpen);
}

void CSharpnessDlg::OnSlider(int pos) {
    m_fLevel = pos;
    if (MakerCamera()) theCameraManager().SetSharpen(m_enable->isChecked() ? 1 : 0, pos);
    m_value->setText(QString::number(pos));
    Changed(CameraPropertyId::Sharpen);
}
