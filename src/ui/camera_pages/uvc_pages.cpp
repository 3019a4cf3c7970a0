#include "ui/camera_pages/uvc_pages.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <cmath>

#include "camera/camera_manager.h"
#include "settings/language_table.h"

namespace {

int Rounded(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

// ---- CUVCAutoExposureDlg ----

CUVCAutoExposureDlg::CUVCAutoExposureDlg(QWidget* parent) : CCameraPage(kDialogId, parent) {
    setObjectName(QStringLiteral("UvcExposurePage"));
    QGridLayout* grid = MakePageGrid(this);
    m_auto = new QCheckBox(Translate(QStringLiteral("Auto Exposure")), this);
    m_auto->setObjectName(QStringLiteral("UvcAutoExposureBox"));
    grid->addWidget(m_auto, 0, 0, 1, 3);
    m_time = CSliderRow(grid, 1, Translate(QStringLiteral("Exposure Time:")), this, QStringLiteral("UvcExposureTime"));
    m_gain = CSliderRow(grid, 2, Translate(QStringLiteral("Gain:")), this, QStringLiteral("UvcGain"));
    m_default = new QPushButton(Translate(QStringLiteral("Default")), this);
    m_default->setObjectName(QStringLiteral("UvcExposureDefaultButton"));
    grid->addWidget(m_default, 3, 0, 1, 3, Qt::AlignRight);

    connect(m_time.Slider(), &QSlider::valueChanged, this, [this](int pos) {
        if (m_bAuto) return;
        theCameraManager().SetVideoProperty(PropExposure, pos, 0);
        m_time.SetText(QString::number(pos));
        Changed(CameraPropertyId::Video, PropExposure);
    });
    connect(m_gain.Slider(), &QSlider::valueChanged, this, [this](int pos) {
        theCameraManager().SetVideoProperty(PropGain, pos, 1);
        m_gain.SetText(QString::number(pos));
        Changed(CameraPropertyId::Video, PropGain);
    });
    connect(m_auto, &QCheckBox::clicked, this, [this](bool on) {
        m_bAuto = on;
        m_time.SetEnabled(!m_bAuto);
        theCameraManager().SetVideoProperty(PropExposure, m_time.Pos(), m_bAuto ? 1 : 0);
        Changed(CameraPropertyId::Video, PropExposure);
    });
    connect(m_default, &QPushButton::clicked, this, [this] {
        m_bAuto = true;
        m_auto->setChecked(true);
        m_time.SetEnabled(false);
        theCameraManager().SetVideoProperty(PropExposure, m_time.Pos(), 1);
        Changed(CameraPropertyId::Video, PropExposure);
    });
    ResetPage();
}

void CUVCAutoExposureDlg::ResetPage() {
    m_bAuto = false;
    m_time.SetRange(1, 300000);
    m_time.SetPos(10000);
    m_time.SetText(QStringLiteral("128"));
    m_gain.SetRange(1, 80);
    m_gain.SetPos(8);
    m_gain.SetText(QStringLiteral("8"));
    m_time.SetEnabled(false);
    m_gain.SetEnabled(false);
    m_auto->setEnabled(false);
    m_default->setEnabled(false);
}

void CUVCAutoExposureDlg::InitForCamera() {
    CCameraManager& cm = theCameraManager();
    m_time.SetEnabled(true);
    m_gain.SetEnabled(true);
    m_auto->setEnabled(true);
    m_default->setEnabled(true);
    double min = 0, max = 0, value = 0;
    cm.GetPropertyRange(PropExposure, &min, &max, &value);
    m_time.SetRange(Rounded(min), Rounded(max));
    int automatic = 0;
    cm.GetVideoProperty(PropExposure, &value, &automatic);
    m_bAuto = automatic != 0;
    m_auto->setChecked(m_bAuto);
    m_time.SetEnabled(!m_bAuto);
    m_time.SetPos(Rounded(value));
    m_time.SetText(QString::number(Rounded(value)));
    // A camera without gain shows no gain row.
    if (cm.GetPropertyRange(PropGain, &min, &max, &value) != 0) {
        m_gain.SetVisible(false);
        return;
    }
    m_gain.SetVisible(true);
    m_gain.SetRange(Rounded(min), Rounded(max));
    m_gain.SetPos(Rounded(value));
    m_gain.SetText(QString::number(Rounded(value)));
}

// ---- CUVCWBBDlg ----

CUVCWBBDlg::CUVCWBBDlg(QWidget* parent) : CCameraPage(kDialogId, parent) {
    setObjectName(QStringLiteral("UvcWhiteBalancePage"));
    QGridLayout* grid = MakePageGrid(this);
    m_auto = new QCheckBox(Translate(QStringLiteral("AWB")), this);
    m_auto->setObjectName(QStringLiteral("AwbBox"));
    grid->addWidget(m_auto, 0, 0, 1, 3);
    m_temperature =
        CSliderRow(grid, 1, Translate(QStringLiteral("Color temperature:")), this, QStringLiteral("ColourTemperature"));
    connect(m_temperature.Slider(), &QSlider::valueChanged, this, [this](int pos) {
        if (m_bAuto) return;
        theCameraManager().SetVideoProperty(PropWhiteBalance, pos, 0);
        m_temperature.SetText(QString::number(pos));
        Changed(CameraPropertyId::Video, PropWhiteBalance);
    });
    connect(m_auto, &QCheckBox::clicked, this, [this](bool on) {
        m_bAuto = on;
        m_temperature.SetEnabled(!m_bAuto);
        theCameraManager().SetVideoProperty(PropWhiteBalance, m_temperature.Pos(), m_bAuto ? 1 : 0);
        Changed(CameraPropertyId::Video, PropWhiteBalance);
    });
    ResetPage();
}

void CUVCWBBDlg::ResetPage() {
    m_bAuto = false;
    m_temperature.SetRange(1, 6500);
    m_temperature.SetPos(6500);
    m_temperature.SetText(QStringLiteral("6500"));
    m_temperature.SetEnabled(false);
    m_auto->setEnabled(false);
}

void CUVCWBBDlg::InitForCamera() {
    CCameraManager& cm = theCameraManager();
    double min = 0, max = 0, value = 0;
    // A camera without a colour temperature keeps the page disabled.
    if (cm.GetPropertyRange(PropWhiteBalance, &min, &max, &value) != 0) return;
    m_temperature.SetRange(Rounded(min), Rounded(max));
    m_temperature.SetEnabled(true);
    m_auto->setEnabled(true);
    int automatic = 0;
    cm.GetVideoProperty(PropWhiteBalance, &value, &automatic);
    m_bAuto = automatic != 0;
    m_auto->setChecked(m_bAuto);
    // The temperature the camera chooses itself shows greyed.
    m_temperature.SetEnabled(!m_bAuto);
    m_temperature.SetPos(Rounded(value));
    m_temperature.SetText(QString::number(Rounded(value)));
}
