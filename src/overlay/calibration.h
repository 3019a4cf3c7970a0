#pragma once
// Calibration, colours and result texts shared by the overlay elements of one manager.

#include <QColor>
#include <QString>

// Per-axis units per pixel in the unit m_unit_Unit; the real lengths are the ruler's arms.
struct GVLCalibration {
    int m_unit_Unit = 0;
    double m_unit_dcxPerPixel = 0.2;
    double m_unit_dcyPerPixel = 0.2;
    double m_unit_dcxReal = 10.0;
    double m_unit_dcyReal = 10.0;
};

// Indices into the overlay colour table.
struct GVLDisplay {
    int m_color_Coord = 4;
    int m_color_Ruler = 3;
    int m_color_Adjust = 3;
    int m_color_Text = 4;
};

inline constexpr int kGVLUnitCount = 6;

// "um", "mm", ... as the dialogs show them; empty outside 0..5.
QString GVLUnitName(int unit);
// The suffix appended to results, with its leading space (" mm"); empty outside 0..5.
QString GVLUnitSuffix(int unit);

// Colour index 0 is (1, 1, 1): in a burn-in buffer pure black means "no overlay". Indices
// outside the table are drawn as index 0.
QColor GVLColor(int index);

// Fixed-point text with the given decimals, always with a point whatever the C locale says.
QString GVLFixed(double value, int decimals);

// Result kinds with their own text formats.
enum class GVLResult { Length, Angle, Area, Radius, RulerArm };

// The result text for a precision of 1 to 5 decimals ("L=12.35 mm", "S=3.00 mm2", "A=45.00 deg");
// empty for any other precision.
QString GVLResultText(GVLResult kind, double value, int precision, int unit);
