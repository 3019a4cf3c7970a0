#include "document/prompt.h"

void CRecordingPrompt::message(const QString& caption, const QString& text) {
    m_calls.push_back({Kind::Message, caption, text});
}

bool CRecordingPrompt::askYesNo(const QString& caption, const QString& text) {
    m_calls.push_back({Kind::YesNo, caption, text});
    if (m_yesNo.empty()) return false;
    const bool yes = m_yesNo.front();
    m_yesNo.pop_front();
    return yes;
}

std::optional<QString> CRecordingPrompt::chooseSaveFile(const QString& caption,
                                                        const QString& defaultName,
                                                        const QString& filter) {
    (void)filter;
    m_calls.push_back({Kind::SaveFile, caption, defaultName});
    if (m_saveFiles.empty()) return std::nullopt;
    const Answer<QString> a = m_saveFiles.front();
    m_saveFiles.pop_front();
    if (!a.ok) return std::nullopt;
    return a.value;
}

std::optional<QStringList> CRecordingPrompt::askLines(const QString& caption,
                                                      const QString& label) {
    m_calls.push_back({Kind::Lines, caption, label});
    if (m_lines.empty()) return std::nullopt;
    const Answer<QStringList> a = m_lines.front();
    m_lines.pop_front();
    if (!a.ok) return std::nullopt;
    return a.value;
}

SaveChoice CRecordingPrompt::askSaveChanges(const QString& caption, const QString& text) {
    m_calls.push_back({Kind::SaveChanges, caption, text});
    if (m_saveChanges.empty()) return SaveChoice::Cancel;
    const SaveChoice c = m_saveChanges.front();
    m_saveChanges.pop_front();
    return c;
}
