#pragma once
// CSaveOptionDlg: the options of the Save command (numbered files in a save folder): name
// prefix and counter, folder, picture type, burned-in overlay parts and description. OK stores
// them in the Save settings group.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class QSpinBox;

class CSaveOptionDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxStartSuffix = 1000;

    explicit CSaveOptionDlg(QWidget* parent = nullptr);

    // OK: refuses an empty folder, else stores every value and closes.
    void accept() override;
    // The folder button: the folder browser.
    void Browse();

    QLineEdit* PrefixEdit() const { return m_prefix; }
    QSpinBox* SuffixSpin() const { return m_suffix; }
    QLineEdit* FolderEdit() const { return m_folder; }
    QToolButton* BrowseButton() const { return m_browse; }
    QRadioButton* BitmapRadio() const { return m_bitmap; }
    QRadioButton* JpegRadio() const { return m_jpeg; }
    QCheckBox* TitleCheck() const { return m_withTitle; }
    QCheckBox* TimeCheck() const { return m_withTime; }
    QCheckBox* MeasureCheck() const { return m_withMeasure; }
    QCheckBox* RulerCheck() const { return m_withRuler; }
    QLineEdit* TitleEdit() const { return m_title; }
    QLineEdit* AuthorEdit() const { return m_author; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QLineEdit* m_prefix = nullptr;
    QSpinBox* m_suffix = nullptr;
    QLineEdit* m_folder = nullptr;
    QToolButton* m_browse = nullptr;
    QRadioButton* m_bitmap = nullptr;
    QRadioButton* m_jpeg = nullptr;
    QCheckBox* m_withTitle = nullptr;
    QCheckBox* m_withTime = nullptr;
    QCheckBox* m_withMeasure = nullptr;
    QCheckBox* m_withRuler = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_author = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Command 32877. True when OK stored the options.
bool RunSaveOptionDialog(QWidget* parent);
