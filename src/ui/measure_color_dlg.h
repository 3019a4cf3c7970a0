#pragma once
// The measurement-setting dialog ("Measure Setting"): overlay colours, result precision, text
// size and text background of one document's overlay, with its colour list.

#include <QComboBox>
#include <QDialog>

class CScopeDoc;
class CGVLElemMgr;

// A drop-down list of colour swatches. Items have empty text and their colour as item data.
class CColorSelectComboBox : public QComboBox {
    Q_OBJECT
public:
    static constexpr int kSwatchWidth = 60;

    explicit CColorSelectComboBox(QWidget* parent = nullptr);

    // The eight overlay colours in table order (black, white, red, green, blue, cyan, magenta,
    // yellow), black as pure (0, 0, 0); the first is selected.
    void FillColors();
    // Adds a colour unless the list holds it already; its index either way.
    int AddColor(const QColor& color);
    // Invalid outside the list.
    QColor ColorAt(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
};

class CMeasureColorDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMeasureColorDlg(QWidget* parent = nullptr);

    // Takes the manager's values; negative colour indices become 0.
    void LoadFrom(const CGVLElemMgr& mgr);
    // Gives the manager all seven values.
    void ApplyTo(CGVLElemMgr& mgr) const;

    // Colour indices 0..7; precision 1..5; font size 1..3 (Small, Medium, Big); background 1
    // transparent, 2 gray.
    int m_color_Text = 2;
    int m_color_Ruler = 3;
    int m_color_Coord = 4;
    int m_color_Adjust = 2;
    int m_nPrecision = 2;
    int m_nFontSize = 2;
    int m_nFontBackground = 1;

    void accept() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    // Fills the lists and shows the values.
    void UpdateControls();

    CColorSelectComboBox* m_listRuler;
    CColorSelectComboBox* m_listAdjust;
    CColorSelectComboBox* m_listText;
    CColorSelectComboBox* m_listCoord;  // never shown: the coordinate colour is kept as it is
    QComboBox* m_listPrecision;
    QComboBox* m_listFontSize;
    QComboBox* m_listBackground;
};

// The measurement-setting command: the dialog for the document's overlay; OK gives the manager
// the values and repaints the document's window. false on Cancel.
bool RunMeasureSettingDialog(CScopeDoc& doc, QWidget* parent);
