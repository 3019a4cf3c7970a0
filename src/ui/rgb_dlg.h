#pragma once
// CRgbDlg: the RGB offsets of a document (switch and three sliders) and a list of named presets
// kept in the settings file. Every change is stored in the document at once; a still picture is
// reprocessed and repainted. Cancel (or the close box) puts the switch and offsets back as they
// were when the dialog opened; changes to the preset list are written in every case.

#include <QDialog>

#include "document/rgb_presets.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class CScopeDoc;
class CSortListCtrl;

class CRgbDlg : public QDialog {
    Q_OBJECT
public:
    enum Channel { kRed, kGreen, kBlue, kChannels };
    static constexpr int kMaxGain = 63;
    // The preset list's control id (its column layout is kept under it).
    static constexpr int kPresetListId = 1131;
    static constexpr const char* kPresetColumns = "No.,40;Name,130;Red,50;Green,50;Blue,50";
    enum PresetColumn { kColNo, kColName, kColRed, kColGreen, kColBlue };

    explicit CRgbDlg(CScopeDoc& doc, QWidget* parent = nullptr);

    void accept() override;
    void reject() override;

    // "Advanced >>" / "Advanced <<": shows or hides the preset list.
    void ToggleAdvanced();
    bool IsExpanded() const;
    // "Add": shows or hides the name row (showing it focuses the name edit).
    void ToggleNameRow();
    // "Confirm": appends the current offsets under the typed name.
    void ConfirmName();
    // "Apply": the selected preset's offsets into the sliders and the document.
    void ApplySelected();
    // "Delete": removes the selected preset and writes the list.
    void DeleteSelected();
    // The list as it would be written.
    std::vector<RgbPreset> Presets() const;

    QCheckBox* EnableCheck() const { return m_enable; }
    QSlider* Slider(int channel) const { return m_sliders[channel]; }
    QLabel* ValueLabel(int channel) const { return m_values[channel]; }
    QPushButton* AdvancedButton() const { return m_advanced; }
    QWidget* PresetPanel() const { return m_presetPanel; }
    CSortListCtrl* PresetList() const { return m_list; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* ApplyButton() const { return m_apply; }
    QPushButton* DeleteButton() const { return m_delete; }
    QWidget* NameRow() const { return m_nameRow; }
    QLineEdit* NameEdit() const { return m_name; }
    QPushButton* ConfirmButton() const { return m_confirm; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnEnable(bool on);
    void OnSlider(int channel, int value);
    void EnableGainControls(bool on);
    void LoadPresets();
    void WritePresets();
    void FitHeight();

    CScopeDoc& m_doc;
    // What Cancel restores.
    bool m_bOldEnable = false;
    int m_nOldGain[kChannels] = {};

    QCheckBox* m_enable = nullptr;
    QLabel* m_names[kChannels] = {};
    QSlider* m_sliders[kChannels] = {};
    QLabel* m_values[kChannels] = {};
    QPushButton* m_advanced = nullptr;
    QWidget* m_presetPanel = nullptr;
    CSortListCtrl* m_list = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_delete = nullptr;
    QWidget* m_nameRow = nullptr;
    QLineEdit* m_name = nullptr;
    QPushButton* m_confirm = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Command 32914.
void RunRgbDialog(CScopeDoc& doc, QWidget* parent);
