#pragma once
// The text annotation's input dialog ("Input Text"): a multi-line box in which Enter presses OK
// and Ctrl+Enter starts a new line.

#include <QDialog>
#include <QPlainTextEdit>
#include <QStringList>
#include <optional>

class QLabel;

// The edit box of the dialog: Enter (also on the keypad) accepts, Ctrl+Enter breaks the line,
// Tab moves the focus.
class CInputTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CInputTextEdit(QWidget* parent = nullptr);

signals:
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

class CInputTextDlg : public QDialog {
    Q_OBJECT
public:
    // Lines of this many characters or more are not kept.
    static constexpr int kMaxLineLength = 255;

    CInputTextDlg(const QString& caption, const QString& label, QWidget* parent = nullptr);

    // The lines as the text element keeps them: line i as typed when it is shorter than 255
    // characters; a longer line is left empty, or left out when no kept line follows it.
    QStringList Lines() const;
    // The lines as typed.
    QStringList TypedLines() const;
    CInputTextEdit* Edit() const { return m_edit; }

private:
    QLabel* m_label;
    CInputTextEdit* m_edit;
};

// The kept lines of a typed text (see CInputTextDlg::Lines).
QStringList KeptTextLines(const QStringList& typed);

// Asks for the lines of a text; nothing on Cancel. Caption and label are English and shown
// translated.
std::optional<QStringList> RunInputTextDialog(const QString& caption, const QString& label,
                                              QWidget* parent);
