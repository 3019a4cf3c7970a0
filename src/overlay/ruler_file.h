#pragma once
// Ruler files (".nrr"): one saved calibration as eleven text lines, each ended by CR CR LF.
//
//   1 X units per pixel (as shown)      5 X start (100)    8 Y start (100)    11 unit index
//   2 Y units per pixel (as shown)      6 X end             9 Y end
//   3 X physical length (as typed)      7 X length         10 Y length
//   4 Y physical length (as typed)
//
// The pixel lines always put the ruler's corner at image pixel (100, 100); lines 1 and 2 are
// for the reader's eye only, a loaded calibration is recomputed from the lengths.
//
// Also the arithmetic the ruler-setting dialog shares with these files.

#include <QByteArray>
#include <QString>
#include <optional>

inline constexpr int kRulerFileOrigin = 100;
inline constexpr int kRulerFileLines = 11;

struct RulerFileData {
    QString xPerPixel, yPerPixel;
    QString xReal, yReal;
    int xStart = 0, xEnd = 0, xLength = 0;
    int yStart = 0, yEnd = 0, yLength = 0;
    int unit = 0;

    bool operator==(const RulerFileData&) const = default;
};

// The bytes of a ruler file. Only the two lengths of the pixel values are used: start and end
// are written as 100 and length + 100.
QByteArray RulerFileBytes(const RulerFileData& data);

// The values of a ruler file's bytes. Lines may end in LF, CR LF or CR CR LF (every trailing CR
// is dropped); missing lines leave their text empty and their number 0; a number line is read
// like atoi (leading decimal digits, else 0) and kept within +-1e9 so no later sum overflows.
RulerFileData ParseRulerFile(const QByteArray& bytes);

// Writes the file through a temporary beside it, so a failed save leaves an older file whole.
// false with the system's reason in *error when it cannot be written.
bool WriteRulerFile(const QString& path, const RulerFileData& data, QString* error = nullptr);
// Nothing, with the system's reason in *error, when the file cannot be opened.
std::optional<RulerFileData> ReadRulerFile(const QString& path, QString* error = nullptr);

// A physical length as typed: a leading decimal number, 0 when the text is none.
double RulerPhysicalValue(const QString& text);
// Units per pixel for a physical length over an arm of pixelLength pixels: 0 for an arm that
// has no positive length (a ruler file can hold one), never a division by zero.
double RulerUnitsPerPixel(const QString& physical, int pixelLength);
// The same as the dialog shows it: eight decimals ("0.20000000").
QString RulerPerPixelText(const QString& physical, int pixelLength);
