#include "ui/qt_prompt.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "settings/app_folders.h"
#include "settings/language_table.h"
#include "ui/input_text_dlg.h"

void CQtPrompt::message(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Information, Translate(caption), Translate(text), QMessageBox::Ok,
                    m_parent);
    box.button(QMessageBox::Ok)->setText(Translate(QStringLiteral("OK")));
    box.exec();
}

bool CQtPrompt::askYesNo(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, Translate(caption), Translate(text),
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.button(QMessageBox::Yes)->setText(Translate(QStringLiteral("&Yes")));
    box.button(QMessageBox::No)->setText(Translate(QStringLiteral("&No")));
    return box.exec() == QMessageBox::Yes;
}

SaveChoice CQtPrompt::askSaveChanges(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Warning, Translate(caption), Translate(text),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, m_parent);
    box.button(QMessageBox::Save)->setText(Translate(QStringLiteral("&Save")));
    box.button(QMessageBox::Discard)->setText(Translate(QStringLiteral("&Discard")));
    box.button(QMessageBox::Cancel)->setText(Translate(QStringLiteral("Cancel")));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Save:
            return SaveChoice::Save;
        case QMessageBox::Discard:
            return SaveChoice::Discard;
        default:
            return SaveChoice::Cancel;
    }
}

QString CQtPrompt::StartFolder(const QString& filter) const {
    if (!m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir()) return m_lastFolder;
    const QString folder = filter.contains(QLatin1String("csv"), Qt::CaseInsensitive)
                               ? g_strDataFolder + QStringLiteral("csvdata/")
                               : g_strImageFolder;
    return QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

std::optional<QString> CQtPrompt::chooseSaveFile(const QString& caption, const QString& defaultName,
                                                 const QString& filter) {
    const QString name = QFileInfo(defaultName).fileName();
    if (const QByteArray dir = qgetenv(kSaveDirVariable); !dir.isEmpty()) {
        if (name.isEmpty()) return std::nullopt;
        return WithSeparator(QString::fromLocal8Bit(dir)) + name;
    }
    const QString start = WithSeparator(StartFolder(filter)) + name;
    const QString path = QFileDialog::getSaveFileName(m_parent, Translate(caption), start, filter);
    if (path.isEmpty()) return std::nullopt;
    m_lastFolder = QFileInfo(path).absolutePath();
    return path;
}

std::optional<QStringList> CQtPrompt::askLines(const QString& caption, const QString& label) {
    return RunInputTextDialog(caption, label, m_parent);
}
