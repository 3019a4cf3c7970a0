#pragma once
// CCameraPage: one page of the camera pane (a group's content) that reads and writes the open
// camera through the camera manager. Every page has three states: as created, reset (disabled:
// no camera open, or the pane is being rebuilt) and initialised for the open camera. A change the
// user makes is announced (settingChanged) so the per-camera memory can keep it.
//
// Enter and Escape are consumed by the pages (they have nothing to accept or cancel); the
// exposure page passes them on to the window.

#include <QString>
#include <QWidget>

#include "camera/camera_property.h"

class QGridLayout;
class QLabel;
class QSlider;

class CCameraPage : public QWidget {
    Q_OBJECT
public:
    CCameraPage(int dialogId, QWidget* parent);
    int DialogId() const { return m_nDialogId; }

    // The disabled state of the page.
    virtual void ResetPage() = 0;
    // The open camera's ranges and values.
    virtual void InitForCamera() = 0;

signals:
    // The user changed a setting of the open camera (a CameraPropertyId, and the property
    // number of a UVC setting).
    void settingChanged(int id, int video);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void Changed(CameraPropertyId id, int video = -1) { emit settingChanged(static_cast<int>(id), video); }

    bool m_bSwallowEnterEscape = true;

private:
    int m_nDialogId;
};

// A slider with its caption before it and its number after it: one row of a page's grid.
// Setting the range or position from the program does not count as the user moving it.
class CSliderRow {
public:
    CSliderRow() = default;
    CSliderRow(QGridLayout* grid, int row, const QString& caption, QWidget* parent, const QString& name);

    void SetRange(int min, int max);
    void SetPos(int pos);
    int Pos() const;
    void SetText(const QString& text);
    QString Text() const;
    void SetEnabled(bool on);
    // The whole row, caption included.
    void SetVisible(bool on);

    QLabel* Caption() const { return m_caption; }
    QSlider* Slider() const { return m_slider; }
    QLabel* Value() const { return m_value; }

private:
    QLabel* m_caption = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_value = nullptr;
};

// The grid the pages lay their rows out in: captions sized to their texts, sliders taking the
// rest, numbers wide enough for their longest text.
QGridLayout* MakePageGrid(QWidget* page);
