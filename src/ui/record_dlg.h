#pragma once
// CRecordDlg: the modal "Record" dialog of the live document. Path chooses the MP4 file, Start,
// Pause and Stop drive the live document's recording state; the frames are recorded by the live
// window's frame path (CRecorder). While recording, a one-second timer counts the seconds with
// an animation of dots.
//
// Closing the dialog ends a recording still running (the file is finished and plays). An
// encoder that cannot be opened is shown in the status line, and Start stays disabled.

#include <QDialog>
#include <QTimer>

class QLabel;
class QPushButton;
class CScopeDoc;

class CRecordDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRecordTimerMs = 1000;
    // How often the dialog looks at the recorder (an open failure, a recording ended elsewhere).
    static constexpr int kPollMs = 250;

    explicit CRecordDlg(CScopeDoc& doc, QWidget* parent = nullptr);

    QPushButton* PathButton() const { return m_path; }
    QPushButton* StartButton() const { return m_start; }
    QPushButton* PauseButton() const { return m_pause; }
    QPushButton* StopButton() const { return m_stop; }
    QLabel* FileLine() const { return m_file; }
    QLabel* StatusLine() const { return m_status; }
    bool IsRecording() const { return m_bRecording; }
    bool TimerRunning() const { return m_timer.isActive(); }

    // Timer 1: one second of recording.
    void OnTimer();

protected:
    void done(int result) override;

private:
    void OnPath();
    void OnStart();
    void OnPause();
    void OnStop();
    // Follows the recorder: shows why the file could not be opened, and returns to the
    // stopped state when the recording ended without the dialog (its camera went away).
    void PollRecorder();
    // The buttons, counters and status line of a stopped recording.
    void ShowStopped();

    CScopeDoc& m_doc;
    QPushButton* m_path = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_file = nullptr;
    QLabel* m_status = nullptr;
    QTimer m_timer;
    QTimer m_poll;
    bool m_bRecording = false;
    int m_nDots = 0;
    int m_nSeconds = 0;
    int m_nStopPolls = 0;  // polls that found Stop not yet taken by a frame
    bool m_bErrorShown = false;
    QString m_szPath;
};

// Command 32902 and the capture page's Record button.
void RunRecordDialog(CScopeDoc& doc, QWidget* parent);
