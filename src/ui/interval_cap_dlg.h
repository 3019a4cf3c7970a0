#pragma once
// CIntervalCapDlg: the modal "Interval Capture" dialog of the live document. After a countdown
// of Wait seconds it saves Images pictures, one every Interval seconds, each through the
// document's interval save (named and placed by section "Save" of Setting.ini); it shows the
// countdown, the number of the last picture and the name the next one will get. The timing is
// CIntervalSeries's: the n-th picture at Start + wait + n x interval, without drift.
//
// Each field is checked as it changes: text that is not a whole number, 0, or a number above the
// field's limit is replaced by the field's default (above the limit with a message).

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include "camera/interval/interval_series.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class CScopeDoc;

class CIntervalCapDlg : public QDialog {
    Q_OBJECT
public:
    enum Field { FieldWait, FieldInterval, FieldImages };

    explicit CIntervalCapDlg(CScopeDoc& doc, QWidget* parent = nullptr);

    QLineEdit* Edit(Field f) const { return m_edits[f]; }
    QToolButton* SpinUp(Field f) const { return m_up[f]; }
    QToolButton* SpinDown(Field f) const { return m_down[f]; }
    QPushButton* StartButton() const { return m_start; }
    QPushButton* StopButton() const { return m_stop; }
    QPushButton* CancelButton() const { return m_cancel; }
    QLabel* WaitDisplay() const { return m_waitShown; }
    QLabel* FileNameDisplay() const { return m_fileShown; }
    QLabel* NumberDisplay() const { return m_numberShown; }
    // Shown only after a picture could not be saved.
    QLabel* FailureLine() const { return m_failure; }
    const CIntervalSeries& Series() const { return m_series; }

    int m_nImages = 5;
    int m_nInterval = 1;
    int m_nWait = 1;
    QString m_strFileName;
    QString m_strNumber;
    QString m_strWait;
    int m_nCount = 0;
    int m_nElapsed = 0;

private:
    void OnFieldChanged(Field f);
    void Step(Field f, int by);
    void OnStart();
    void OnStop();
    void OnTimer();
    void ArmTimer();
    // Members to the fields and displays.
    void ShowMembers();
    int64_t Now() const { return m_clock.elapsed(); }

    CScopeDoc& m_doc;
    QLineEdit* m_edits[3] = {};
    QToolButton* m_up[3] = {};
    QToolButton* m_down[3] = {};
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_cancel = nullptr;
    QLabel* m_waitShown = nullptr;
    QLabel* m_fileShown = nullptr;
    QLabel* m_numberShown = nullptr;
    QLabel* m_failure = nullptr;
    bool m_bShowing = false;
    CIntervalSeries m_series;
    QElapsedTimer m_clock;
    QTimer m_timer;
};

// Command 32903.
void RunIntervalCapDialog(CScopeDoc& doc, QWidget* parent);
