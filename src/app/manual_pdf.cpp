// norvanescope-manual: turns the user manual (docs/manual/<language>.html, with the pictures of
// docs/screenshots) into the PDF files that Help > How to use opens, <title>_<language>.pdf
// beside the program. Run by the build; Qt lays the rich text out and writes the pages.
//
//   norvanescope-manual DOCS_FOLDER OUT_FOLDER LANGUAGE...

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QAbstractTextDocumentLayout>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>

#include <cstdio>

#include "settings/app_folders.h"

namespace {

constexpr int kDpi = 300;

bool WriteManual(const QString& docs, const QString& out, const QString& language) {
    const QString source = docs + QStringLiteral("/manual/") + language + QStringLiteral(".html");
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "norvanescope-manual: cannot read %s\n", qPrintable(source));
        return false;
    }
    const QString html = QString::fromUtf8(file.readAll());
    // A missing picture would break the layout: say which.
    static const QRegularExpression img(QStringLiteral("<img[^>]*src=\"([^\"]+)\""));
    for (const QRegularExpressionMatch& m : img.globalMatch(html)) {
        if (!QFileInfo::exists(docs + u'/' + m.captured(1))) {
            std::fprintf(stderr, "norvanescope-manual: %s names the missing picture %s\n",
                         qPrintable(source), qPrintable(m.captured(1)));
            return false;
        }
    }
    const QString target = out + u'/' + QString::fromLatin1(kBrandTitle) + u'_' + language + QStringLiteral(".pdf");
    const QString partial = target + QStringLiteral(".part");
    {
        QPdfWriter pdf(partial);
        pdf.setCreator(QString::fromLatin1(kBrandTitle));
        pdf.setResolution(kDpi);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(18, 16, 18, 16), QPageLayout::Millimeter));
        QTextDocument doc;
        // Laid out for the page itself: fonts and pictures at its resolution.
        doc.documentLayout()->setPaintDevice(&pdf);
        // Pictures are named relative to the docs folder ("screenshots/live_window.png").
        doc.setBaseUrl(QUrl::fromLocalFile(docs + u'/'));
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPointSize(10);
        doc.setDefaultFont(font);
        doc.setHtml(html);
        pdf.setTitle(doc.metaInformation(QTextDocument::DocumentTitle));
        const QSizeF page = pdf.pageLayout().paintRectPixels(kDpi).size();
        doc.setPageSize(page);
        QPainter painter(&pdf);
        for (int i = 0; i < doc.pageCount(); ++i) {
            if (i > 0) pdf.newPage();
            painter.save();
            painter.translate(0, -i * page.height());
            doc.drawContents(&painter, QRectF(QPointF(0, i * page.height()), page));
            painter.restore();
        }
    }
    // Written beside and renamed: a failed run leaves no half manual behind.
    QFile::remove(target);
    if (QFileInfo(partial).size() == 0 || !QFile::rename(partial, target)) {
        std::fprintf(stderr, "norvanescope-manual: cannot write %s\n", qPrintable(target));
        QFile::remove(partial);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: norvanescope-manual DOCS_FOLDER OUT_FOLDER LANGUAGE...\n");
        return 2;
    }
    const QString docs = QString::fromLocal8Bit(argv[1]), out = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i)
        if (!WriteManual(docs, out, QString::fromLocal8Bit(argv[i]))) return 1;
    return 0;
}
