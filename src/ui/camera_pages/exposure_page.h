#pragma once
// CAutoExposureDlg: the exposure page of maker and module cameras: automatic exposure with its
// target, the exposure time (in steps of 100 microseconds) and the analogue gain. While automatic
// exposure runs, a 300 ms timer shows what the camera chose.

#include <QTimer>

#include "ui/camera_pages/camera_page.h"

class QCheckBox;
class QPushButton;

class CAutoExposureDlg : public CCameraPage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 352;
    static constexpr int kTimerMs = 300;
    static constexpr int kTimeStepUs = 100;

    explicit CAutoExposureDlg(QWidget* parent = nullptr);

    void ResetPage() override;
    void InitForCamera() override;
    // The gain slider's range, position and value again (after a resolution change).
    void RefreshGain();

    QCheckBox* AutoBox() const { return m_auto; }
    const CSliderRow& Target() const { return m_target; }
    const CSliderRow& Time() const { return m_time; }
    const CSliderRow& Gain() const { return m_gain; }
    QPushButton* DefaultButton() const { return m_default; }
    bool TimerRunning() const { return m_timer.isActive(); }

private:
    void OnTimer();
    void OnTarget(int pos);
    void OnTime(int pos);
    void OnGain(int pos);
    void OnAuto(bool checked);
    void OnDefault();
    void ApplyEnabling();

    QCheckBox* m_auto = nullptr;
    CSliderRow m_target, m_time, m_gain;
    QPushButton* m_default = nullptr;
    QTimer m_timer;
    bool m_bAuto = false;
    bool m_bAutoGain = false;
    bool m_bTimer = false;
};
