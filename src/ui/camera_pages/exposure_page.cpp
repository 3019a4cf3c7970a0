#include "ui/camera_pages/exposure_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <cmath>

#include "camera/camera_manager.h"
#include "settings/language_table.h"

namespace {

QString Ms(int64_t microseconds) { return QString::asprintf("%.3fms", static_cast<double>(microseconds) / 1000.0); }

}  // namespace

CAutoExposureDlg::CAutoExposureDlg(QWidget* parent) : CCameraPage(kDialogId, parent) {
    setObjectName(QStringLiteral("ExposurePage"));
    // Enter and Escape go on to the window.
    m_bSwallowEnterEscape = false;
    QGridLayout* grid = MakePageGrid(this);
    m_auto = new QCheckBox(Translate(QStringLiteral("Auto Exposure")), this);
    m_auto->setObjectName(QStringLiteral("AutoExposureBox"));
    grid->addWidget(m_auto, 0, 0, 1, 3);
    m_target = CSliderRow(grid, 1, Translate(QStringLiteral("Exposure Target:")), this, QStringLiteral("ExposureTarget"));
    m_time = CSliderRow(grid, 2, Translate(QStringLiteral("Exposure Time:")), this, QStringLiteral("ExposureTime"));
    m_gain = CSliderRow(grid, 3, Translate(QStringLiteral("Gain:")), this, QStringLiteral("Gain"));
    m_default = new QPushButton(Translate(QStringLiteral("Default")), this);
    m_default->setObjectName(QStringLiteral("ExposureDefaultButton"));
    grid->addWidget(m_default, 4, 0, 1, 3, Qt::AlignRight);

    m_timer.setInterval(kTimerMs);
    connect(&m_timer, &QTimer::timeout, this, &CAutoExposureDlg::OnTimer);
    connect(m_target.Slider(), &QSlider::valueChanged, this, &CAutoExposureDlg::OnTarget);
    connect(m_time.Slider(), &QSlider::valueChanged, this, &CAutoExposureDlg::OnTime);
    connect(m_gain.Slider(), &QSlider::valueChanged, this, &CAutoExposureDlg::OnGain);
    connect(m_auto, &QCheckBox::clicked, this, &CAutoExposureDlg::OnAuto);
    connect(m_default, &QPushButton::clicked, this, &CAutoExposureDlg::OnDefault);
    ResetPage();
}

void CAutoExposureDlg::ResetPage() {
    m_timer.stop();
    m_bTimer = false;
    m_bAuto = false;
    m_time.SetRange(1, 300000);
    m_time.SetPos(10000);
    m_time.SetText(QStringLiteral("128"));
    m_target.SetRange(1, 255);
    m_target.SetPos(128);
    m_target.SetText(QStringLiteral("128"));
    m_gain.SetRange(1, 80);
    m_gain.SetPos(8);
    m_gain.SetText(QStringLiteral("8"));
    m_time.SetEnabled(false);
    m_target.SetEnabled(false);
    m_gain.SetEnabled(false);
    m_auto->setEnabled(false);
    m_default->setEnabled(false);
}

void CAutoExposureDlg::InitForCamera() {
    CCameraManager& cm = theCameraManager();
    m_time.SetEnabled(true);
    m_target.SetEnabled(true);
    m_gain.SetEnabled(true);
    m_auto->setEnabled(true);
    m_default->setEnabled(true);
    m_bAutoGain = cm.SupportsAutoGain();

    int64_t max = 0, min = 0, t = 0;
    cm.GetExposureRange(&max, &min);
    cm.GetExposureTime(&t);
    m_time.SetRange(static_cast<int>(min / kTimeStepUs), static_cast<int>(max / kTimeStepUs));
    m_time.SetPos(static_cast<int>(t / kTimeStepUs));
    m_time.SetText(Ms(t));

    int on = 0;
    cm.GetAeState(&on);
    m_bAuto = on != 0;
    m_auto->setChecked(m_bAuto);

    int target = 128;
    cm.GetAeTarget(&target);
    m_target.SetRange(1, 255);
    m_target.SetPos(target);
    m_target.SetText(QString::number(target));

    RefreshGain();
    ApplyEnabling();
    m_timer.start();
    m_bTimer = true;
}

void CAutoExposureDlg::RefreshGain() {
    CCameraManager& cm = theCameraManager();
    int max = 80, min = 1;
    double gain = 8;
    cm.GetAnalogGainRange(&max, &min);
    cm.GetAnalogGain(&gain);
    m_gain.SetRange(min, max);
    m_gain.SetPos(static_cast<int>(gain));
    m_gain.SetText(QString::number(static_cast<int>(gain)));
}

void CAutoExposureDlg::ApplyEnabling() {
    m_time.SetEnabled(!m_bAuto);
    m_target.SetEnabled(m_bAuto);
    // A camera that regulates its gain in automatic exposure keeps it to itself.
    m_gain.SetEnabled(!m_bAuto || !m_bAutoGain);
}

void CAutoExposureDlg::OnTimer() {
    if (!m_bAuto) return;
    CCameraManager& cm = theCameraManager();
    int64_t t = 0;
    if (cm.GetExposureTime(&t) == 0) {
        m_time.SetText(Ms(t));
        m_time.SetPos(static_cast<int>(t / kTimeStepUs));
    }
    if (m_bAutoGain) {
        double gain = 0;
        if (cm.GetAnalogGain(&gain) == 0) {
            m_gain.SetPos(static_cast<int>(gain));
            m_gain.SetText(QString::number(static_cast<int>(gain)));
        }
    }
}

void CAutoExposureDlg::OnTarget(int pos) {
    if (!m_bAuto) return;
    theCameraManager().SetAeTarget(pos);
    m_target.SetText(QString::number(pos));
    Changed(CameraPropertyId::ExposureTarget);
}

void CAutoExposureDlg::OnTime(int pos) {
    if (m_bAuto) return;
    CCameraManager& cm = theCameraManager();
    cm.SetExposureTime(static_cast<int64_t>(pos) * kTimeStepUs);
    // What the camera applied (a module rounds to whole sensor rows).
    int64_t t = 0;
    if (cm.GetExposureTime(&t) == 0) m_time.SetText(Ms(t));
    Changed(CameraPropertyId::ExposureTime);
}

void CAutoExposureDlg::OnGain(int pos) {
    theCameraManager().SetAnalogGain(pos);
    m_gain.SetText(QString::number(pos));
    Changed(CameraPropertyId::Gain);
}

void CAutoExposureDlg::OnAuto(bool checked) {
    m_bAuto = checked;
    ApplyEnabling();
    theCameraManager().SetAeState(m_bAuto ? 1 : 0);
    Changed(CameraPropertyId::AutoExposure);
}

void CAutoExposureDlg::OnDefault() {
    CCameraManager& cm = theCameraManager();
    m_bAuto = true;
    cm.SetAeState(1);
    m_auto->setChecked(true);
    cm.SetAeTarget(128);
    m_target.SetPos(128);
    m_target.SetText(QStringLiteral("128"));
    ApplyEnabling();
    Changed(CameraPropertyId::AutoExposure);
    Changed(CameraPropertyId::ExposureTarget);
}
