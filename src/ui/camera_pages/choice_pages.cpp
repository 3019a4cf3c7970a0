#include "ui/camera_pages/choice_pages.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

#include "camera/camera_manager.h"
#include "settings/language_table.h"

CChoicePage::CChoicePage(int dialogId, const QString& objectName, CameraPropertyId id, const QStringList& captions,
                         QWidget* parent)
    : CCameraPage(dialogId, parent), m_id(id), m_group(new QButtonGroup(this)) {
    setObjectName(objectName);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < captions.size(); ++i) {
        auto* b = new QRadioButton(Translate(captions[i]), this);
        b->setObjectName(objectName + QString::number(i));
        m_group->addButton(b, i);
        m_buttons.push_back(b);
        column->addWidget(b);
    }
    connect(m_group, &QButtonGroup::idClicked, this, &CChoicePage::OnClicked);
    ResetPage();
}

QRadioButton* CChoicePage::Button(int value) const {
    return value >= 0 && value < m_buttons.size() ? m_buttons[value] : nullptr;
}

int CChoicePage::Checked() const { return m_group->checkedId(); }

void CChoicePage::ResetPage() {
    // An exclusive group always keeps one checked.
    m_group->setExclusive(false);
    for (QRadioButton* b : m_buttons) {
        b->setChecked(false);
        b->setEnabled(false);
    }
    m_group->setExclusive(true);
}

void CChoicePage::InitForCamera() {
    CCameraManager& cm = theCameraManager();
    const CameraProperties list = cm.Properties();
    const CameraPropertyInfo* info = FindCameraProperty(list, CameraPropertyKey{m_id});
    const int offered = info ? static_cast<int>(info->choices.size()) : 0;
    for (int i = 0; i < m_buttons.size(); ++i) m_buttons[i]->setEnabled(i < offered);
    CameraPropertyValue v;
    if (cm.GetProperty({m_id}, &v) != 0) return;
    // The camera is told its value again, so it surely runs with what the page shows.
    cm.SetProperty({m_id}, v);
    if (QRadioButton* b = Button(static_cast<int>(std::lround(v.v[0])))) b->setChecked(true);
}

void CChoicePage::OnClicked(int value) {
    CameraPropertyValue v;
    v.v[0] = value;
    theCameraManager().SetProperty({m_id}, v);
    if (QRadioButton* b = Button(value)) b->setChecked(true);
    Changed(m_id);
}

CCamFrameRate::CCamFrameRate(QWidget* parent)
    : CChoicePage(kDialogId, QStringLiteral("FrameRatePage"), CameraPropertyId::FrameSpeed,
                  {QStringLiteral("Normal"), QStringLiteral("High"), QStringLiteral("Super")}, parent) {}

CCamPowerFre::CCamPowerFre(QWidget* parent)
    : CChoicePage(kDialogId, QStringLiteral("PowerFrequencyPage"), CameraPropertyId::Mains,
                  {QStringLiteral("AC (50 HZ)"), QStringLiteral("AC (60 HZ)"), QStringLiteral("DC")}, parent) {}
