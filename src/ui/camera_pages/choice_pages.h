#pragma once
// Pages of one choice among radio buttons: the frame speed (CCamFrameRate: "Normal", "High",
// "Super") and the mains frequency of the lighting (CCamPowerFre: "AC (50 HZ)", "AC (60 HZ)",
// "DC"). A choice the camera does not offer (module cameras have no "Super" and no "DC") stays
// disabled.

#include <QStringList>

#include "ui/camera_pages/camera_page.h"

class QButtonGroup;
class QRadioButton;

class CChoicePage : public CCameraPage {
    Q_OBJECT
public:
    void ResetPage() override;
    void InitForCamera() override;
    QRadioButton* Button(int value) const;
    // The checked choice, -1 for none.
    int Checked() const;

protected:
    CChoicePage(int dialogId, const QString& objectName, CameraPropertyId id, const QStringList& captions,
                QWidget* parent);

private:
    void OnClicked(int value);

    CameraPropertyId m_id;
    QButtonGroup* m_group = nullptr;
    QList<QRadioButton*> m_buttons;
};

class CCamFrameRate : public CChoicePage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 356;
    explicit CCamFrameRate(QWidget* parent = nullptr);
};

class CCamPowerFre : public CChoicePage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 357;
    explicit CCamPowerFre(QWidget* parent = nullptr);
};
