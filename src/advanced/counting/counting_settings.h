#pragma once
// The counting settings: one program-wide record (it outlives documents and is not saved), the
// colour list they choose from, their hand-over to a segmentation handle, and the behaviour of
// the "Counting settings" dialog as a model the dialog's widgets only mirror.

#include <QString>
#include <array>
#include <cstdint>

struct CountingColor {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const CountingColor&) const = default;
};

// The colour list: 0 black, 1 white, 2 red, 3 green, 4 blue, 5 cyan, 6 magenta, 7 yellow.
inline constexpr int kCountingColorCount = 8;
// Black for an index outside the list.
CountingColor CountingColorAt(int index);

struct CCountingSettings {
    int m_nOutlineStyle = 0;  // 0 "Contour line", 1 "Fill", 2 "nothing"
    int m_nTabStyle = 0;      // 0 "No.", 1 "Area", 2 "Perimeter"
    int m_nOutlineColorIndex = 0;
    CountingColor m_crOutline;
    int m_nTabColorIndex = 0;
    CountingColor m_crTab;
    bool m_bByArea = false;
    bool m_bByPerimeter = false;
    int m_nMinArea = -1;  // -1: not given
    int m_nMaxArea = -1;
    int m_nMinPerimeter = -1;
    int m_nMaxPerimeter = -1;
    int m_nHoleMode = 0;  // 0, or 2 when "Hole" is checked

    // Both styles 0, both colour indices 0, both filters off, all bounds -1, hole mode 0.
    void Reset();
};

extern CCountingSettings g_CountingSettings;

// Hands every setting to a segmentation handle in the counting document's order: styles, colours,
// filter switches, the bounds of the filters that are on, colour indices, contour mode.
void ApplyCountingSettings(int hSegm, const CCountingSettings& s);

// The "Counting settings" dialog: opening states, what changes at once and what on OK. For a new
// counting (hSegm 0) it works on g_CountingSettings alone; on a counting document it also shows
// and changes the document's segmentation.
class CCountingSettingsModel {
public:
    enum Edit { MinArea, MaxArea, MinPerimeter, MaxPerimeter };
    enum Value {
        MinAreaValue,
        MaxAreaValue,
        AveAreaValue,
        MinPerimeterValue,
        MaxPerimeterValue,
        AvePerimeterValue
    };

    explicit CCountingSettingsModel(int hSegm);

    int OutlineStyle() const { return m_outlineStyle; }
    int TabStyle() const { return m_tabStyle; }
    int OutlineColorIndex() const { return g_CountingSettings.m_nOutlineColorIndex; }
    int TabColorIndex() const { return g_CountingSettings.m_nTabColorIndex; }
    bool ByArea() const { return g_CountingSettings.m_bByArea; }
    bool ByPerimeter() const { return g_CountingSettings.m_bByPerimeter; }
    bool Hole() const { return g_CountingSettings.m_nHoleMode == 2; }
    const QString& EditText(Edit e) const { return m_edits[e]; }
    bool EditEnabled(Edit e) const {
        return e == MinArea || e == MaxArea ? ByArea() : ByPerimeter();
    }
    const QString& ValueText(Value v) const { return m_values[v]; }
    bool OkEnabled() const { return m_okEnabled; }

    // Colours, filter switches and the hole mode take effect at once (and stay on Cancel); on a
    // counting document colours and styles also go to its segmentation at once.
    void SetOutlineStyle(int style);
    void SetTabStyle(int style);
    void SetOutlineColor(int index);
    void SetTabColor(int index);
    void SetByArea(bool on);
    void SetByPerimeter(bool on);
    void SetHole(bool on);
    void SetEditText(Edit e, const QString& text);
    // OK: the bounds of the filters that are on (an empty edit is -1) and the styles; a counted
    // document's handle takes all the settings.
    void Accept();

    // An edit's text as a bound: empty -1, digits as their value (at most INT_MAX).
    static int BoundOf(const QString& text);

private:
    void Changed() { m_okEnabled = true; }

    int m_hSegm;
    int m_outlineStyle = 0;
    int m_tabStyle = 0;
    std::array<QString, 4> m_edits;
    std::array<QString, 6> m_values;
    bool m_okEnabled = true;
};
