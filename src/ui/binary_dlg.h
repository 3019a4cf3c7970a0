#pragma once
// CBinaryDlg: the binary threshold switch and slider of a document. Every change is stored in
// the document at once; a still picture is reprocessed and repainted, the live picture takes it
// with its next frame. Closed with the window's close box only.

#include <QDialog>

class QCheckBox;
class QLabel;
class QSlider;
class CScopeDoc;

class CBinaryDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBinaryDlg(CScopeDoc& doc, QWidget* parent = nullptr);

    QCheckBox* EnableCheck() const { return m_enable; }
    QSlider* Slider() const { return m_slider; }
    QLabel* ValueLabel() const { return m_value; }
    QLabel* MinLabel() const { return m_min; }
    QLabel* MaxLabel() const { return m_max; }

private:
    void OnEnable(bool on);
    void OnSlider(int value);
    void EnableSlider(bool on);

    CScopeDoc& m_doc;
    QCheckBox* m_enable = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_value = nullptr;
    QLabel* m_min = nullptr;
    QLabel* m_max = nullptr;
};

// A still document's picture rebuilt from its original with the current switches, then
// repainted; nothing for the live document (its frames read the switches themselves).
void RefreshStillPicture(CScopeDoc& doc);

// Command 32912.
void RunBinaryDialog(CScopeDoc& doc, QWidget* parent);
