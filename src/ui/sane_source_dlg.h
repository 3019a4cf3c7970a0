#pragma once
// CSaneSourceDlg: a source's own user interface, shown while the source is enabled. It is built
// from the device's option table: the main options first (mode, resolution, source such as
// flatbed or feeder, bit depth), then the scan area, then every other option a user may set, in
// the device's groups. Scan starts a scan on the source's worker; a progress bar and Cancel
// follow it while the window stays usable. The values used are remembered per device and come
// back the next time the source is opened. Close asks the program to close the source.
//
// CQtSourceUi is what the source owns: it shows the dialog and, when the source goes, detaches
// it and lets it go on the next turn of the event loop.

#include <QDialog>
#include <QHash>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include "camera/acquisition/source_ui.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
struct SaneOption;

class CSaneSourceDlg : public QDialog {
    Q_OBJECT
public:
    CSaneSourceDlg(ISaneSourceControl& source, QWidget* parent = nullptr);

    // The source is going away: the dialog no longer touches it.
    void Detach();

    void OnScanStarted();
    void OnScanProgressed(const ScanProgress& progress);
    void OnScanFinished(const ScanOutcome& outcome);
    // The cancelled scan does not end: Close is offered to give the device up.
    void OnScanHung();

    // The editor of an option (combo box, spin box, check box or line edit), or null.
    QWidget* Editor(const QString& optionName) const { return m_editors.value(optionName); }
    QPushButton* ScanButton() const { return m_scan; }
    QPushButton* CancelButton() const { return m_cancel; }
    QPushButton* CloseButton() const { return m_close; }
    QProgressBar* ProgressBar() const { return m_progress; }
    QLabel* StatusLabel() const { return m_status; }
    // The message box of the last failed or cancelled scan, while it is shown.
    QMessageBox* MessageBox() const { return m_messageBox; }

public slots:
    void StartScan();
    void CancelScan();
    void RequestClose();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildForm();
    void RefreshValues();
    QString Signature() const;
    QWidget* MakeEditor(const SaneOption& option);
    void Apply(const QString& name, const QVariant& value);
    void SetScanning(bool scanning);
    // The outcome of a scan that did not end well: Error for a failure, Hint for a stop.
    void ShowMessage(bool failed, const QString& text);

    ISaneSourceControl* m_source;
    QScrollArea* m_scroll = nullptr;
    QHash<QString, QWidget*> m_editors;
    QString m_signature;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_scan = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_close = nullptr;
    QPointer<QMessageBox> m_messageBox;
    bool m_scanning = false;
    bool m_hung = false;
};

class CQtSourceUi : public ISaneSourceUi {
public:
    CQtSourceUi(ISaneSourceControl& source, QWidget* parent);
    ~CQtSourceUi() override;
    void Show() override;
    void ScanStarted() override;
    void ScanProgressed(const ScanProgress& progress) override;
    void ScanFinished(const ScanOutcome& outcome) override;
    void ScanHung() override;
    CSaneSourceDlg* Dialog() const { return m_dialog; }

private:
    QPointer<CSaneSourceDlg> m_dialog;
};
