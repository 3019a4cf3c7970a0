#pragma once
// CResolutionDlg: the size a capture from the running live picture is saved at. A click on a
// choice stores it in the document at once.

#include <QDialog>

class QRadioButton;
class QPushButton;
class CScopeDoc;

class CResolutionDlg : public QDialog {
    Q_OBJECT
public:
    explicit CResolutionDlg(CScopeDoc& doc, QWidget* parent = nullptr);

    // 1280*1024 (value 1) and 2048*1536 (value 3). Value 2 (1600*1200) is saved when set
    // elsewhere but not offered here.
    QRadioButton* Radio1280() const { return m_r1280; }
    QRadioButton* Radio2048() const { return m_r2048; }
    QPushButton* OkButton() const { return m_ok; }

private:
    CScopeDoc& m_doc;
    QRadioButton* m_r1280 = nullptr;
    QRadioButton* m_r2048 = nullptr;
    QPushButton* m_ok = nullptr;
};

// Command 32926.
void RunResolutionDialog(CScopeDoc& doc, QWidget* parent);
