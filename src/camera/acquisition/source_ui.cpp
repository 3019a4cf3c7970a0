#include "camera/acquisition/source_ui.h"

#include "settings/language_table.h"

namespace {

ISourceManagerUi* g_sourceManagerUi = nullptr;

QString Arg(const char* english, const std::string& value) {
    return Translate(QString::fromLatin1(english))
        .replace(QStringLiteral("%1"), QString::fromStdString(value));
}

QString Kept(int pages) {
    if (pages <= 0) return Translate(QStringLiteral("No page was kept."));
    if (pages == 1) return Translate(QStringLiteral("The page scanned before was kept."));
    return Arg("The %1 pages scanned before were kept.", std::to_string(pages));
}

}  // namespace

QString ScanOutcomeMessage(const ScanOutcome& o) {
    switch (o.end) {
        case ScanOutcome::End::Done:
            return {};
        case ScanOutcome::End::Cancelled:
            return Arg("The scan was stopped (%1).", o.reason) + u' ' + Kept(o.pages);
        case ScanOutcome::End::DeviceError:
            return Arg("The scanner reported an error: %1.", o.reason) + u' ' + Kept(o.pages);
        case ScanOutcome::End::FeederEmpty:
            return Arg("There is nothing to scan (%1). Load the pages and scan again.", o.reason);
        case ScanOutcome::End::BadData:
            return Arg("The scanner sent a picture that cannot be read: %1.", o.reason) + u' ' +
                   Kept(o.pages);
    }
    return {};
}

void SetSourceManagerUi(ISourceManagerUi* ui) {
    g_sourceManagerUi = ui;
}
ISourceManagerUi* SourceManagerUi() {
    return g_sourceManagerUi;
}
