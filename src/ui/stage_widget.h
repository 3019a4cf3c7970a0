#pragma once
// CStageWidget: the camera pane's "Stage" group for a camera whose stage can be steered (the
// simulated ones): the speed at which the arrow keys move it, where it is, and buttons that take
// it to the stage micrometer or back to the specimen. The live window moves the stage itself
// (right-button drag, arrow keys); this group only sets the speed and shows the place.

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class CTaskGroup;

class CStageWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 500;

    explicit CStageWidget(QWidget* parent = nullptr);
    // The widget inside a collapsible group, for the camera pane.
    static CTaskGroup* InGroup(QWidget* parent);

    // Micrometres per second of the arrow keys (Shift: a tenth), kept across runs.
    static double Speed();
    static void SetSpeed(double micronsPerSecond);
    // The speeds offered.
    static const std::vector<double>& Speeds();

    QComboBox* SpeedList() const { return m_speed; }
    QLabel* PositionLabel() const { return m_position; }
    QPushButton* MicrometerButton() const { return m_micrometer; }
    QPushButton* SpecimenButton() const { return m_specimen; }

    // Reads the open camera's stage again: position shown, controls enabled when there is one.
    void Refresh();

private:
    void GoTo(bool micrometer);

    QComboBox* m_speed = nullptr;
    QLabel* m_position = nullptr;
    QPushButton* m_micrometer = nullptr;
    QPushButton* m_specimen = nullptr;
    QTimer* m_timer = nullptr;
};
