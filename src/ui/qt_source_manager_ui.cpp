#include "ui/qt_source_manager_ui.h"

#include <QWidget>

#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/language_table.h"
#include "ui/sane_source_dlg.h"
#include "ui/select_source_dlg.h"

namespace {

QWidget* Window(QObject* parent) {
    return qobject_cast<QWidget*>(parent);
}

}  // namespace

std::optional<std::string> CQtSourceManagerUi::SelectSource(ISaneDeviceLister& lister,
                                                            const std::string& preselected,
                                                            QObject* parent) {
    CSelectSourceDlg dialog(lister, preselected, Window(parent));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const std::string chosen = dialog.SelectedDevice();
    if (chosen.empty()) return std::nullopt;
    return chosen;
}

std::unique_ptr<ISaneSourceUi> CQtSourceManagerUi::CreateSourceUi(ISaneSourceControl& source,
                                                                  QObject* parent) {
    return std::make_unique<CQtSourceUi>(source, Window(parent));
}

void CQtSourceManagerUi::ShowError(const QString& text, QObject*) {
    if (IScopePrompt* prompt = theApp().prompt)
        prompt->message(Translate(QStringLiteral("Error")), text);
}
