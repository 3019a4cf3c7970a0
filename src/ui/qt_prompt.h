#pragma once
// The user interface's answer to the core's questions: Qt message boxes and file dialogs. Every
// caption and text passes through Translate.
//
// NORVANESCOPE_SAVE_DIR (for scripted runs): when set to a folder, every save-file question is
// answered at once with the suggested name in that folder, without a dialog.

#include <QPointer>
#include <QWidget>

#include "document/prompt.h"

inline constexpr const char* kSaveDirVariable = "NORVANESCOPE_SAVE_DIR";

class CQtPrompt : public IScopePrompt {
public:
    explicit CQtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}

    void message(const QString& caption, const QString& text) override;
    bool askYesNo(const QString& caption, const QString& text) override;
    std::optional<QString> chooseSaveFile(const QString& caption, const QString& defaultName,
                                          const QString& filter) override;
    std::optional<QStringList> askLines(const QString& caption, const QString& label) override;
    SaveChoice askSaveChanges(const QString& caption, const QString& text) override;

    // The folder a save dialog starts in: the last one chosen in this run, else csvdata for
    // tables and the Images folder for everything else.
    QString StartFolder(const QString& filter) const;

private:
    QPointer<QWidget> m_parent;
    QString m_lastFolder;
};
