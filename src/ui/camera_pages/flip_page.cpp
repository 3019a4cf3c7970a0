#include "ui/camera_pages/flip_page.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include "camera/camera_manager.h"
#include "settings/language_table.h"

CCamFlipDlg::CCamFlipDlg(QWidget* parent) : CCameraPage(kDialogId, parent) {
    setObjectName(QStringLiteral("FlipPage"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    m_horizontal = new QCheckBox(Translate(QStringLiteral("Horizontal")), this);
    m_horizontal->setObjectName(QStringLiteral("HorizontalFlipBox"));
    m_vertical = new QCheckBox(Translate(QStringLiteral("Vertical")), this);
    m_vertical->setObjectName(QStringLiteral("VerticalFlipBox"));
    column->addWidget(m_horizontal);
    column->addWidget(m_vertical);
    for (bool horizontal : {true, false})
        connect(Box(horizontal), &QCheckBox::clicked, this, [this, horizontal](bool on) {
            theCameraManager().SetFlip(horizontal, on ? 1 : 0);
            Changed(horizontal ? CameraPropertyId::HFlip : CameraPropertyId::VFlip);
        });
    ResetPage();
}

void CCamFlipDlg::ResetPage() {
    for (QCheckBox* b : {m_horizontal, m_vertical}) {
        b->setChecked(false);
        b->setEnabled(false);
    }
}

void CCamFlipDlg::InitForCamera() {
    for (bool horizontal : {true, false}) {
        QCheckBox* b = Box(horizontal);
        b->setEnabled(true);
        int on = 0;
        theCameraManager().GetFlip(horizontal, &on);
        b->setChecked(on == 1);
    }
}
