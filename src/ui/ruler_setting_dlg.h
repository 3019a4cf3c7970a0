#pragma once
// The ruler-setting dialog ("Ruler Setting"): the modeless dialog in which a document is
// calibrated. The ruler (element 0 of the overlay) is laid over a feature of known size, the
// physical lengths of its two arms are typed here, and Apply turns them into units per pixel.
// Calibrations are saved to and loaded from ruler files (".nrr").
//
// One dialog per document, made by the Calibration command and shown and hidden with the ruler.
// It is a child of the document's view, so it goes when the view goes, which is before the
// document itself.

#include <QDialog>
#include <QString>

class CScopeDoc;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct RulerFileData;

class CRulerSettingDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxPhysicalLength = 255;
    static constexpr int kMagnifications = 6;
    // Where the dialog first appears: its right edge this far left of the screen's right edge,
    // its top this far below the screen's top.
    static constexpr int kScreenRightGap = 55;
    static constexpr int kScreenTopGap = 130;

    // Filled from the settings (unit, magnification, physical lengths) and bound to the
    // document; not yet refreshed from its ruler.
    CRulerSettingDlg(CScopeDoc* doc, QWidget* parent = nullptr);

    CScopeDoc* Document() const { return m_pDoc; }

    // Pixel values and per-pixel texts from the document's ruler; the ruler's corners and arm
    // lengths go to the settings. Nothing without a ruler.
    void RefreshFromRuler();
    // Refresh, then the unit, the units per pixel and the physical lengths become the
    // document's calibration; the document's window is repainted.
    void Apply();
    // "Y = X": the vertical arm takes the horizontal arm's length and physical length.
    void YEqualsX();
    // Ruler files. false after telling the user when the file cannot be written or read.
    bool SaveToFile(const QString& path);
    bool LoadFromFile(const QString& path);
    // The values a ruler file of the current state holds.
    RulerFileData FileData() const;
    // Places the dialog at its spot near the top right corner of its screen.
    void PlaceOnScreen();

    // Pixel values of the ruler, image pixels.
    int m_nXStart = 200, m_nXEnd = 250, m_nXLength = 50;
    int m_nYStart = 200, m_nYEnd = 250, m_nYLength = 50;
    // Physical lengths as typed and units per pixel as shown.
    QString m_strXReal, m_strYReal;
    QString m_strXPerPixel, m_strYPerPixel;

public slots:
    void accept() override;  // OK: Apply, then hide
    void reject() override;  // Cancel, Esc, closing: the same; nothing is undone

protected:
    void changeEvent(QEvent* e) override;

private:
    // The document while it exists.
    CScopeDoc* Doc() const;
    void ShowValues();
    void UpdateUnitLabels();
    void OnUnitChanged(int index);
    void OnMagnificationChanged(int index);
    void OnXRealEdited(const QString& text);
    void OnYRealEdited(const QString& text);
    void OnSaveClicked();
    void OnLoadClicked();
    void Repaint();
    void ReportFileError(const char* text, const QString& path, const QString& error);
    int SelectedUnit() const;
    // The file dialogs start here: nrrdata in the data folder, when it exists.
    static QString RulerFolder();

    CScopeDoc* m_pDoc;
    QLineEdit* m_editXPerPixel;
    QLineEdit* m_editYPerPixel;
    QLabel* m_labelXPerPixel;
    QLabel* m_labelYPerPixel;
    QComboBox* m_listUnit;
    QLineEdit* m_editXReal;
    QLineEdit* m_editYReal;
    QLabel* m_labelXUnit;
    QLabel* m_labelYUnit;
    QLineEdit* m_editXStart;
    QLineEdit* m_editXEnd;
    QLineEdit* m_editXLength;
    QLineEdit* m_editYStart;
    QLineEdit* m_editYEnd;
    QLineEdit* m_editYLength;
    QComboBox* m_listMagnification;
};

// The Calibration command (the document has already toggled its ruler and
// m_bCalibrationShown): makes the document's dialog on first use (refreshed and applied) and
// shows or hides it to match m_bCalibrationShown.
void ToggleRulerSettingDialog(CScopeDoc& doc, QWidget* parent);
// The ruler moved or recalibrated: the document's dialog, when it has one, refreshes. (The
// document's view forwards its picture window's notice by itself.)
void RulerChangedForDocument(CScopeDoc& doc);
// The document's dialog, or null.
CRulerSettingDlg* RulerSettingDialogFor(const CScopeDoc& doc);
// Destroys the document's dialog. Needed only for a document without a view: a view takes its
// dialog with it.
void ReleaseRulerSettingDialog(const CScopeDoc& doc);
