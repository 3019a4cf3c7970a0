#pragma once
// CWBDlg: the white-balance page of maker and module cameras: the red, green and blue gains
// (in the camera's units: hundredths for maker cameras, 1/64 for module cameras, shown as
// factors), the one-shot white balance and the camera's default gains. The one-shot result comes
// on a camera thread and is handed to the page's own thread.

#include <QTimer>

#include "ui/camera_pages/camera_page.h"

class QLabel;
class QPushButton;

class CWBDlg : public CCameraPage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 353;
    // A one-shot white balance that sends no result in this time gives the button back.
    static constexpr int kResultTimeoutMs = 8000;

    explicit CWBDlg(QWidget* parent = nullptr);
    ~CWBDlg() override;

    void ResetPage() override;
    void InitForCamera() override;

    const CSliderRow& Row(int colour) const { return m_rows[colour]; }
    QPushButton* WhiteBalanceButton() const { return m_balance; }
    QPushButton* DefaultsButton() const { return m_defaults; }
    QLabel* Explanation() const { return m_explain; }

    // The white-balance callback: any thread.
    static void OnResult(int, double red, double green, double blue, void* user);

private:
    void OnSlider(int colour, int pos);
    void OnBalance();
    void OnDefaults();
    void ShowResult(double red, double green, double blue);
    void ShowValue(int colour, double gain);

    CSliderRow m_rows[3];
    QPushButton* m_balance = nullptr;
    QPushButton* m_defaults = nullptr;
    QLabel* m_explain = nullptr;
    QTimer m_waiting;
    double m_scale = 100;
};
