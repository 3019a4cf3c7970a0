#include "ui/input_text_dlg.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/language_table.h"

CInputTextEdit::CInputTextEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    // Lines stay as typed; a long line scrolls instead of being shown as several.
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

void CInputTextEdit::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (e->modifiers() & Qt::ControlModifier) {
            textCursor().insertText(QStringLiteral("\n"));
            ensureCursorVisible();
        } else {
            emit enterPressed();
        }
        e->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

CInputTextDlg::CInputTextDlg(const QString& caption, const QString& label, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("InputTextDlg"));
    setWindowTitle(Translate(caption));
    m_label = new QLabel(Translate(label), this);
    m_label->setWordWrap(true);
    m_edit = new CInputTextEdit(this);
    m_label->setBuddy(m_edit);
    // About five lines of forty characters to start with.
    const QFontMetrics fm(m_edit->font());
    m_edit->setMinimumSize(fm.horizontalAdvance(QLatin1Char('x')) * 40, fm.lineSpacing() * 5);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setText(Translate(QStringLiteral("OK")));
    buttons->button(QDialogButtonBox::Cancel)->setText(Translate(QStringLiteral("Cancel")));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_edit, &CInputTextEdit::enterPressed, ok, &QPushButton::click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_edit, 1);
    layout->addWidget(buttons);
    m_edit->setFocus();
}

QStringList CInputTextDlg::TypedLines() const {
    return m_edit->toPlainText().split(u'\n');
}

QStringList CInputTextDlg::Lines() const {
    return KeptTextLines(TypedLines());
}

QStringList KeptTextLines(const QStringList& typed) {
    QStringList kept;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        if (typed[i].size() >= CInputTextDlg::kMaxLineLength) continue;
        while (kept.size() <= i) kept.append(QString());
        kept[i] = typed[i];
    }
    return kept;
}

std::optional<QStringList> RunInputTextDialog(const QString& caption, const QString& label,
                                              QWidget* parent) {
    // On the heap: should the parent go while the dialog is open, the dialog goes with it.
    QPointer<CInputTextDlg> dlg = new CInputTextDlg(caption, label, parent);
    const bool ok = dlg->exec() == QDialog::Accepted;
    if (!dlg) return std::nullopt;
    std::optional<QStringList> lines;
    if (ok) lines = dlg->Lines();
    delete dlg;
    return lines;
}
