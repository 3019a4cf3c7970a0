#pragma once
// The counting dialogs: "Counting settings" (a view of CCountingSettingsModel) and "Statistical
// results" (the list of counted objects with its workbook export).

#include <QDialog>

#include "advanced/counting/counting_settings.h"

class CColorSelectComboBox;
class CScopeDoc;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// Watershed (32940): the settings dialog, then counting into a new document or, on a counting
// document, in place.
void RunCountingSettingsDialog(CScopeDoc& doc, QWidget* parent);
// Counting Results (32942).
void RunCountingResultsDialog(CScopeDoc& doc, QWidget* parent);

class CCountingSettingsDlg : public QDialog {
    Q_OBJECT
public:
    CCountingSettingsDlg(CCountingSettingsModel& model, QWidget* parent = nullptr);

    QComboBox* OutlineStyleBox() const { return m_outlineStyle; }
    QComboBox* TabStyleBox() const { return m_tabStyle; }
    CColorSelectComboBox* OutlineColorBox() const { return m_outlineColor; }
    CColorSelectComboBox* TabColorBox() const { return m_tabColor; }
    QCheckBox* AreaBox() const { return m_byArea; }
    QCheckBox* PerimeterBox() const { return m_byPerimeter; }
    QCheckBox* HoleBox() const { return m_hole; }
    QLineEdit* Edit(CCountingSettingsModel::Edit e) const { return m_edits[e]; }
    QLabel* ValueLabel(CCountingSettingsModel::Value v) const { return m_values[v]; }
    QPushButton* OkButton() const { return m_ok; }

private:
    void Refresh();

    CCountingSettingsModel& m_model;
    QComboBox* m_outlineStyle = nullptr;
    QComboBox* m_tabStyle = nullptr;
    CColorSelectComboBox* m_outlineColor = nullptr;
    CColorSelectComboBox* m_tabColor = nullptr;
    QCheckBox* m_byArea = nullptr;
    QCheckBox* m_byPerimeter = nullptr;
    QCheckBox* m_hole = nullptr;
    QLineEdit* m_edits[4] = {};
    QLabel* m_values[6] = {};
    QPushButton* m_ok = nullptr;
};

class CCountingResultsDlg : public QDialog {
    Q_OBJECT
public:
    CCountingResultsDlg(CScopeDoc& doc, QWidget* parent = nullptr);

    QTreeWidget* List() const { return m_list; }
    QPushButton* ExportButton() const { return m_export; }
    QPushButton* CloseButton() const { return m_close; }

private:
    CScopeDoc& m_doc;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_close = nullptr;
};
