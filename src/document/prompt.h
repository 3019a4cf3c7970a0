#pragma once
// What core code uses to tell or ask the user something. The user interface answers with
// Qt dialogs; tests and the command-line tool answer from a script (CRecordingPrompt).

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

// The answers to "save changes?".
enum class SaveChoice { Save, Discard, Cancel };

class IScopePrompt {
public:
    virtual ~IScopePrompt() = default;

    // An information or error box with one button.
    virtual void message(const QString& caption, const QString& text) = 0;
    // true for Yes.
    virtual bool askYesNo(const QString& caption, const QString& text) = 0;
    // A save-file dialog; filter in Qt form ("CSV Files (*.csv)"). Nothing on Cancel.
    virtual std::optional<QString> chooseSaveFile(const QString& caption,
                                                  const QString& defaultName,
                                                  const QString& filter) = 0;
    // A multi-line text box; the lines as typed, or nothing on Cancel.
    virtual std::optional<QStringList> askLines(const QString& caption, const QString& label) = 0;
    // Save, Discard or Cancel for work that would be lost.
    virtual SaveChoice askSaveChanges(const QString& caption, const QString& text) = 0;
};

// Answers from queues filled beforehand and remembers every question. An empty queue answers
// No, Cancel, Cancel and Cancel.
class CRecordingPrompt : public IScopePrompt {
public:
    enum class Kind { Message, YesNo, SaveFile, Lines, SaveChanges };
    struct Call {
        Kind kind;
        QString caption;
        QString text;  // message text, question, default file name or label
    };

    void message(const QString& caption, const QString& text) override;
    bool askYesNo(const QString& caption, const QString& text) override;
    std::optional<QString> chooseSaveFile(const QString& caption, const QString& defaultName,
                                          const QString& filter) override;
    std::optional<QStringList> askLines(const QString& caption, const QString& label) override;
    SaveChoice askSaveChanges(const QString& caption, const QString& text) override;

    void queueSaveChanges(SaveChoice choice) { m_saveChanges.push_back(choice); }
    void queueYesNo(bool yes) { m_yesNo.push_back(yes); }
    // A path, or Cancel.
    void queueSaveFile(const QString& path) { m_saveFiles.push_back({true, path}); }
    void queueSaveFileCancel() { m_saveFiles.push_back({false, {}}); }
    // Lines for OK, or Cancel.
    void queueLines(const QStringList& lines) { m_lines.push_back({true, lines}); }
    void queueLinesCancel() { m_lines.push_back({false, {}}); }

    // Drops the answers nobody asked for.
    void clearAnswers() {
        m_yesNo.clear();
        m_saveFiles.clear();
        m_lines.clear();
        m_saveChanges.clear();
    }

    const std::vector<Call>& calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }

private:
    std::vector<Call> m_calls;
    std::deque<bool> m_yesNo;
    std::deque<SaveChoice> m_saveChanges;
    template <class T>
    struct Answer {
        bool ok;
        T value;
    };
    std::deque<Answer<QString>> m_saveFiles;
    std::deque<Answer<QStringList>> m_lines;
};
