#pragma once
// CCamFlipDlg: the camera's own horizontal and vertical flip (maker and module cameras).

#include "ui/camera_pages/camera_page.h"

class QCheckBox;

class CCamFlipDlg : public CCameraPage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 355;
    explicit CCamFlipDlg(QWidget* parent = nullptr);
    void ResetPage() override;
    void InitForCamera() override;
    QCheckBox* Box(bool horizontal) const { return horizontal ? m_horizontal : m_vertical; }

private:
    QCheckBox* m_horizontal = nullptr;
    QCheckBox* m_vertical = nullptr;
};
