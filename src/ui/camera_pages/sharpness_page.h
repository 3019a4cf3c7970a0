#pragma once
// CSharpnessDlg: the sharpening of maker cameras, on or off, with its level (30 to 100).

#include "ui/camera_pages/camera_page.h"

class QCheckBox;
class QLabel;
class QSlider;

class CSharpnessDlg : public CCameraPage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 241;
    static constexpr int kMinLevel = 30;
    static constexpr int kMaxLevel = 100;

    explicit CSharpnessDlg(QWidget* parent = nullptr);
    // Reloads the values: a maker camera's sharpening, otherwise the disabled slider at 30.
    void ResetPage() override;
    // The values come with the reset (the page is loaded, not initialised).
    void InitForCamera() override {}

    QCheckBox* EnableBox() const { return m_enable; }
    QSlider* Slider() const { return m_slider; }
    QLabel* Value() const { return m_value; }
    QLabel* Note() const { return m_note; }

private:
    bool MakerCamera() const;
    void OnCheck(bool on);
    void OnSlider(int pos);

    QCheckBox* m_enable = nullptr;
    QLabel* m_value = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_note = nullptr;
    double m_fLevel = kMinLevel;
};
