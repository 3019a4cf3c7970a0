#pragma once
// The exposure (CUVCAutoExposureDlg) and white-balance (CUVCWBBDlg) pages of UVC cameras: the
// device's own exposure (in its unit, with automatic exposure) and gain, and its colour
// temperature with automatic white balance. A setting the camera lacks stays disabled; a camera
// without gain shows no gain row at all.

#include "ui/camera_pages/camera_page.h"

class QCheckBox;
class QPushButton;

class CUVCAutoExposureDlg : public CCameraPage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 238;
    explicit CUVCAutoExposureDlg(QWidget* parent = nullptr);
    void ResetPage() override;
    void InitForCamera() override;

    QCheckBox* AutoBox() const { return m_auto; }
    const CSliderRow& Time() const { return m_time; }
    const CSliderRow& Gain() const { return m_gain; }
    QPushButton* DefaultButton() const { return m_default; }

private:
    QCheckBox* m_auto = nullptr;
    CSliderRow m_time, m_gain;
    QPushButton* m_default = nullptr;
    bool m_bAuto = false;
};

class CUVCWBBDlg : public CCameraPage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 239;
    explicit CUVCWBBDlg(QWidget* parent = nullptr);
    void ResetPage() override;
    void InitForCamera() override;

    QCheckBox* AutoBox() const { return m_auto; }
    const CSliderRow& Temperature() const { return m_temperature; }

private:
    QCheckBox* m_auto = nullptr;
    CSliderRow m_temperature;
    bool m_bAuto = false;
};
