#pragma once
// The counting results: the rows of the "Statistical results" list, their export as a workbook
// (sheet "sheet1", row 1 the four headers, one row per list row, every cell text, columns 16
// wide) and the export command's steps.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

class CScopeDoc;

struct CountingRow {
    QString number, centre, area, perimeter;
};

// "No.", "core", "Area", "Perimeter", translated.
QStringList CountingHeaders();
// One row per object: its number, "(%.1f,%.1f)", "%.1f", "%.1f"; then, when there are objects,
// averageLabel with an empty centre and the mean area and perimeter.
std::vector<CountingRow> CountingResultRows(int hSegm, const QString& averageLabel);

// Writes the workbook beside the path and moves it over the path; false with the reason.
bool WriteCountingWorkbook(const QString& path, const QStringList& headers,
                           const std::vector<CountingRow>& rows, QString* error);

// The suggested file name: year, month, day, hour, minute, second, no zero padding.
QString CountingDefaultFileName(const QDateTime& when);

// The "export" button: asks for the file ("save file"), writes the workbook. True when the
// results dialog closes (written, or the question was cancelled); false after "Create Excel
// failed!", the dialog staying open.
bool ExportCountingResults(CScopeDoc& doc, const QDateTime& when = QDateTime::currentDateTime());
