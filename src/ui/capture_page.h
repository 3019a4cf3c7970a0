#pragma once
// CCapturePage: the first page of the camera pane. Snap takes a still into a new document,
// Record starts the recording of the live document, and the Live, Snap and Format lists choose
// the open camera's live and still resolutions and its media format.

#include <QWidget>

class QComboBox;
class QPushButton;
class CScopeDoc;

class CCapturePage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 351;
    static constexpr int kButtonGap = 30;

    explicit CCapturePage(QWidget* parent = nullptr);

    // Empties the three lists and disables everything (no camera open).
    void ResetCapturePage();
    // After a camera was opened: enables the page and fills its lists from the camera.
    void InitForCamera();
    void FillLiveList();
    void FillSnapList();

    QPushButton* SnapButton() const { return m_snap; }
    QPushButton* RecordButton() const { return m_record; }
    QComboBox* LiveList() const { return m_live; }
    QComboBox* SnapList() const { return m_snapList; }
    QComboBox* FormatList() const { return m_format; }

signals:
    // The live resolution changed (the exposure page refreshes its gain).
    void resolutionChanged();

private:
    void OnSnap();
    void OnRecord();
    void OnLiveChanged(int sel);
    void OnSnapChanged(int sel);
    void OnFormatChanged(int sel);
    // The live document's new frame size, shown in status pane 1 and laid out by its view.
    void ApplyFrameSize(CScopeDoc& live, int width, int height);

    QPushButton* m_snap = nullptr;
    QPushButton* m_record = nullptr;
    QComboBox* m_live = nullptr;
    QComboBox* m_snapList = nullptr;
    QComboBox* m_format = nullptr;
    bool m_bFilling = false;  // selection changes while the lists are filled are not the user's
};
