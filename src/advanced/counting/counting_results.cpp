#include "advanced/counting/counting_results.h"

#include <xlsxwriter.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "advanced/imagepro_segm.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/language_table.h"

namespace {

QString OneDecimal(double v) {
    return QString::asprintf("%.1f", v);
}

}  // namespace

QStringList CountingHeaders() {
    return {Translate(QStringLiteral("No.")), Translate(QStringLiteral("core")),
            Translate(QStringLiteral("Area")), Translate(QStringLiteral("Perimeter"))};
}

std::vector<CountingRow> CountingResultRows(int hSegm, const QString& averageLabel) {
    std::vector<imagepro_contour> records(
        static_cast<size_t>(std::max(0, imagepro_segm_get_contournum(hSegm))));
    const int n = std::max(
        0, imagepro_segm_get_contourdata(hSegm, records.data(), static_cast<int>(records.size())));
    std::vector<CountingRow> rows;
    rows.reserve(static_cast<size_t>(n) + 1);
    double sumArea = 0, sumPerimeter = 0;
    for (int i = 0; i < n; ++i) {
        const imagepro_contour& r = records[i];
        rows.push_back({QString::number(i + 1),
                        QString::asprintf("(%.1f,%.1f)", r.centerX, r.centerY), OneDecimal(r.area),
                        OneDecimal(r.perimeter)});
        sumArea += r.area;
        sumPerimeter += r.perimeter;
    }
    if (n > 0)
        rows.push_back(
            {averageLabel, QString(), OneDecimal(sumArea / n), OneDecimal(sumPerimeter / n)});
    return rows;
}

bool WriteCountingWorkbook(const QString& path, const QStringList& headers,
                           const std::vector<CountingRow>& rows, QString* error) {
    // Written beside the target and moved over it: a failed export leaves an old file whole.
    const QFileInfo target(path);
    const QString temporary =
        target.absoluteDir().filePath(QStringLiteral(".%1.partial").arg(target.fileName()));
    const QByteArray tempName = QFile::encodeName(temporary);
    auto fail = [&](const QString& reason) {
        QFile::remove(temporary);
        if (error) *error = reason;
        return false;
    };
    lxw_workbook* book = workbook_new(tempName.constData());
    if (!book) return fail(QStringLiteral("the workbook could not be started"));
    lxw_worksheet* sheet = workbook_add_worksheet(book, "sheet1");
    if (!sheet) {
        workbook_close(book);
        return fail(QStringLiteral("the sheet could not be added"));
    }
    worksheet_set_column(sheet, 0, 3, 16, nullptr);
    lxw_error status = LXW_NO_ERROR;
    auto write = [&](lxw_row_t row, lxw_col_t col, const QString& text) {
        if (status == LXW_NO_ERROR)
            status = worksheet_write_string(sheet, row, col, text.toUtf8().constData(), nullptr);
    };
    for (int c = 0; c < 4 && c < headers.size(); ++c)
        write(0, static_cast<lxw_col_t>(c), headers[c]);
    for (size_t k = 0; k < rows.size(); ++k) {
        const lxw_row_t r = static_cast<lxw_row_t>(k + 1);
        write(r, 0, rows[k].number);
        write(r, 1, rows[k].centre);
        write(r, 2, rows[k].area);
        write(r, 3, rows[k].perimeter);
    }
    const lxw_error closed = workbook_close(book);
    if (status != LXW_NO_ERROR) return fail(QString::fromUtf8(lxw_strerror(status)));
    if (closed != LXW_NO_ERROR)
        return fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                                 QString::fromUtf8(lxw_strerror(closed))));
    if (std::rename(tempName.constData(), QFile::encodeName(path).constData()) != 0)
        return fail(QStringLiteral("%1 could not be replaced").arg(QDir::toNativeSeparators(path)));
    return true;
}

QString CountingDefaultFileName(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    return QString::asprintf("%d%d%d%d%d%d", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second());
}

bool ExportCountingResults(CScopeDoc& doc, const QDateTime& when) {
    IScopePrompt* prompt = theApp().prompt;
    if (!prompt || !doc.m_hSegm) return true;
    const std::optional<QString> chosen = prompt->chooseSaveFile(
        QStringLiteral("save file"), CountingDefaultFileName(when) + QStringLiteral(".xlsx"),
        QStringLiteral("(*.xlsx)"));
    if (!chosen) return true;
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".xlsx");
    QString reason;
    if (!WriteCountingWorkbook(
            path, CountingHeaders(),
            CountingResultRows(doc.m_hSegm, Translate(QStringLiteral("Average:"))), &reason)) {
        prompt->message(
            Translate(QStringLiteral("Hint")),
            Translate(QStringLiteral("Create Excel failed!")) + QLatin1Char('\n') + reason);
        return false;
    }
    return true;
}
