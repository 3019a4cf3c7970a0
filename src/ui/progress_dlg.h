#pragma once
// CProgressDlg: the bar the advanced functions (stitching, HDR, EDF) show while they run.
// Workers drive it from their own threads through queued signals connected to its slots; it
// cannot be dismissed with Enter, Escape or the window's close button, only by finish().

#include <QDialog>

class QLabel;
class QProgressBar;

class CProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CProgressDlg(QWidget* parent = nullptr);

    QProgressBar* Bar() const { return m_bar; }
    QLabel* TextLabel() const { return m_text; }
    bool IsFinished() const { return m_finished; }

public slots:
    void setRange(int minimum, int maximum);
    // Positions outside the range are ignored.
    void setValue(int position);
    void setText(const QString& text);
    // The work is done: the dialog closes (at once when it is showing, else as soon as it is
    // shown, so a worker that ends before the dialog appears cannot leave it open).
    void finish();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    QProgressBar* m_bar = nullptr;
    QLabel* m_text = nullptr;
    bool m_finished = false;
};
