#include "advanced/edf/enfuse_runner.h"

#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>

#include "settings/app_folders.h"

CEnfuseRunner::CEnfuseRunner(QString program, QString programFolder)
    : m_program(std::move(program)) {
    if (!m_program.isEmpty()) return;
    const QString folder = WithSeparator(programFolder.isEmpty() ? g_strExeFolder : programFolder);
    const QFileInfo beside(folder + QStringLiteral("enfuse"));
    m_program = beside.isFile() && beside.isExecutable()
                    ? beside.absoluteFilePath()
                    : QStandardPaths::findExecutable(QStringLiteral("enfuse"));
}

QStringList CEnfuseRunner::Arguments(const QString& output, const QStringList& inputs) {
    QStringList args = {QStringLiteral("--exposure-weight=0"),
                        QStringLiteral("--saturation-weight=0"),
                        QStringLiteral("--contrast-weight=1"), QStringLiteral("--hard-mask"),
                        QStringLiteral("--output=") + output};
    args += inputs;
    return args;
}

QString CEnfuseRunner::CheckInputs(const QStringList& inputs) {
    QSize first;
    for (const QString& path : inputs) {
        QImageReader reader(path);
        const QSize size = reader.size();
        if (!size.isValid())
            return QStringLiteral("%1 cannot be read as a picture").arg(QFileInfo(path).fileName());
        if (first.isValid() && size != first)
            return QStringLiteral(
                       "the pictures differ in size (%1 x %2 and %3 x %4): a focus series shows "
                       "one field")
                .arg(first.width())
                .arg(first.height())
                .arg(size.width())
                .arg(size.height());
        first = size;
    }
    return {};
}

EnfuseOutcome CEnfuseRunner::Run(const QString& output, const QStringList& inputs) const {
    EnfuseOutcome out;
    if (const QString bad = CheckInputs(inputs); !bad.isEmpty()) {
        out.status = EnfuseOutcome::Status::BadInputs;
        out.reason = bad;
        return out;
    }
    if (m_program.isEmpty()) {
        out.errorCode = ENOENT;
        out.reason = QStringLiteral("enfuse is neither beside the program nor on PATH");
        return out;
    }
    QProcess process;
    process.setProgram(m_program);
    process.setArguments(Arguments(output, inputs));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(-1)) {
        const QFileInfo info(m_program);
        out.errorCode = !info.exists() ? ENOENT : !info.isExecutable() ? EACCES : ENOEXEC;
        out.reason = process.errorString();
        return out;
    }
    process.waitForFinished(-1);
    out.status = EnfuseOutcome::Status::Finished;
    out.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    out.log = QString::fromLocal8Bit(process.readAllStandardError());
    return out;
}
