#include "ui/stage_widget.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

#include "camera/camera_manager.h"
#include "camera/stage_control.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "ui/camera_pane.h"

namespace {

constexpr double kDefaultSpeed = 200;

// Beside the window layout in the per-user store.
const QString kSpeedKey = QStringLiteral("Stage/MicronsPerSecond");
QSettings StageSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kCompanyKey),
                     QString::fromLatin1(kBrandTitle));
}

}  // namespace

const std::vector<double>& CStageWidget::Speeds() {
    static const std::vector<double> speeds = {10, 50, 200, 1000, 5000};
    return speeds;
}

namespace {
// Read once: the arrow keys ask for it fifty times a second.
double& SpeedCache() {
    static double speed = [] {
        const double v = StageSettings().value(kSpeedKey, kDefaultSpeed).toDouble();
        return std::isfinite(v) && v > 0 && v <= 1e5 ? v : kDefaultSpeed;
    }();
    return speed;
}
}  // namespace

double CStageWidget::Speed() { return SpeedCache(); }

void CStageWidget::SetSpeed(double micronsPerSecond) {
    if (!std::isfinite(micronsPerSecond) || micronsPerSecond <= 0) return;
    SpeedCache() = micronsPerSecond;
    StageSettings().setValue(kSpeedKey, micronsPerSecond);
}

CStageWidget::CStageWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StageWidget"));
    auto* form = new QFormLayout;
    form->setContentsMargins(0, 0, 0, 0);
    m_speed = new QComboBox(this);
    m_speed->setObjectName(QStringLiteral("StageSpeed"));
    const double speed = Speed();
    for (double v : Speeds()) {
        m_speed->addItem(QStringLiteral("%1 µm/s").arg(v), v);
        if (std::fabs(v - speed) < 1e-9) m_speed->setCurrentIndex(m_speed->count() - 1);
    }
    m_speed->setToolTip(Translate(QStringLiteral(
        "Arrow keys in the live picture move the stage at this speed (Shift: a tenth of it); "
        "dragging with the right mouse button moves it by hand.")));
    connect(m_speed, &QComboBox::activated, this, [this](int i) { SetSpeed(m_speed->itemData(i).toDouble()); });
    form->addRow(Translate(QStringLiteral("Speed:")), m_speed);
    m_position = new QLabel(this);
    m_position->setObjectName(QStringLiteral("StagePosition"));
    m_position->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(Translate(QStringLiteral("Position:")), m_position);

    m_micrometer = new QPushButton(Translate(QStringLiteral("Micrometer")), this);
    m_micrometer->setObjectName(QStringLiteral("StageMicrometer"));
    m_micrometer->setToolTip(Translate(QStringLiteral("Moves the stage to the stage micrometer (10 µm divisions).")));
    m_specimen = new QPushButton(Translate(QStringLiteral("Specimen")), this);
    m_specimen->setObjectName(QStringLiteral("StageSpecimen"));
    connect(m_micrometer, &QPushButton::clicked, this, [this] { GoTo(true); });
    connect(m_specimen, &QPushButton::clicked, this, [this] { GoTo(false); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_micrometer);
    buttons->addWidget(m_specimen);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(form);
    outer->addLayout(buttons);

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &CStageWidget::Refresh);
    m_timer->start();
    Refresh();
}

CTaskGroup* CStageWidget::InGroup(QWidget* parent) {
    auto* group = new CTaskGroup(Translate(QStringLiteral("Stage")), parent);
    group->setObjectName(QStringLiteral("StageGroup"));
    group->Body()->addWidget(new CStageWidget(group->BodyWidget()));
    return group;
}

void CStageWidget::Refresh() {
    const std::unique_ptr<IStageControl> stage = OpenCameraStage(theCameraManager());
    const std::optional<StagePosition> at = stage ? stage->Position() : std::nullopt;
    setEnabled(at.has_value());
    m_position->setText(at ? QStringLiteral("%1, %2 µm").arg(at->at.x, 0, 'f', 1).arg(at->at.y, 0, 'f', 1)
                           : Translate(QStringLiteral("No stage")));
}

void CStageWidget::GoTo(bool micrometer) {
    if (const std::unique_ptr<IStageControl> stage = OpenCameraStage(theCameraManager()))
        stage->MoveTo(micrometer ? StageMicrometerPlace() : StageSpecimenPlace());
    Refresh();
}
