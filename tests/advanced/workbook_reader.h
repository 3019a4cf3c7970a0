#pragma once
// Reads a workbook back the way any spreadsheet program must: unzip its parts and parse their
// XML (unzip and Qt's XML reader, nothing of the writer's).

#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <map>
#include <string>

#include "test_support.h"

struct WorkbookCells {
    bool ok = false;
    QStringList sheetNames;
    std::map<std::string, QString> cells;  // "A1" -> text
    std::map<std::string, bool> isText;    // written as a string (shared or inline), not a number
    std::map<int, double> columnWidths;    // 1-based column -> width
    int lastRow = 0;
};

inline QString UnzipPart(const std::string& path, const std::string& part) {
    const ProcessResult r = RunProcess("unzip", {"-p", path, part});
    return r.exitCode == 0 ? QString::fromStdString(r.out) : QString();
}

inline WorkbookCells ReadWorkbook(const std::string& path) {
    WorkbookCells book;
    const QString workbook = UnzipPart(path, "xl/workbook.xml");
    if (workbook.isEmpty()) return book;
    for (QXmlStreamReader x(workbook); !x.atEnd();)
        if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("sheet"))
            book.sheetNames << x.attributes().value(QLatin1String("name")).toString();

    QStringList shared;
    QString current;
    for (QXmlStreamReader x(UnzipPart(path, "xl/sharedStrings.xml")); !x.atEnd();) {
        const auto t = x.readNext();
        if (t == QXmlStreamReader::StartElement && x.name() == QLatin1String("si")) current.clear();
        if (t == QXmlStreamReader::StartElement && x.name() == QLatin1String("t"))
            current += x.readElementText();
        if (t == QXmlStreamReader::EndElement && x.name() == QLatin1String("si")) shared << current;
    }

    QXmlStreamReader x(UnzipPart(path, "xl/worksheets/sheet1.xml"));
    std::string ref;
    QString type;
    while (!x.atEnd()) {
        if (x.readNext() != QXmlStreamReader::StartElement) continue;
        const auto a = x.attributes();
        if (x.name() == QLatin1String("col")) {
            for (int c = a.value(QLatin1String("min")).toInt();
                 c <= a.value(QLatin1String("max")).toInt(); ++c)
                book.columnWidths[c] = a.value(QLatin1String("width")).toDouble();
        } else if (x.name() == QLatin1String("row")) {
            book.lastRow = std::max(book.lastRow, a.value(QLatin1String("r")).toInt());
        } else if (x.name() == QLatin1String("c")) {
            ref = a.value(QLatin1String("r")).toString().toStdString();
            type = a.value(QLatin1String("t")).toString();
            book.isText[ref] = type == QLatin1String("s") || type == QLatin1String("inlineStr");
        } else if (x.name() == QLatin1String("v")) {
            const QString v = x.readElementText();
            book.cells[ref] = type == QLatin1String("s") ? shared.value(v.toInt()) : v;
        } else if (x.name() == QLatin1String("t")) {
            book.cells[ref] = x.readElementText();
        }
    }
    book.ok = !x.hasError();
    return book;
}
