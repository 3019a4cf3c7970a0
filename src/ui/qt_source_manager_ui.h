#pragma once
// The source manager's user interface in the program: the selection dialog, each source's own
// dialog and the manager's failures in message boxes (through the prompt interface).

#include "camera/acquisition/source_ui.h"

class CQtSourceManagerUi : public ISourceManagerUi {
public:
    std::optional<std::string> SelectSource(ISaneDeviceLister& lister,
                                            const std::string& preselected,
                                            QObject* parent) override;
    std::unique_ptr<ISaneSourceUi> CreateSourceUi(ISaneSourceControl& source,
                                                  QObject* parent) override;
    void ShowError(const QString& text, QObject* parent) override;
};
