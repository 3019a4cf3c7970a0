#pragma once
// CEnfuseRunner: focus fusion by the outside program enfuse, with contrast weighting and a hard
// mask (each pixel from the input sharpest there). The program is the one beside ours, else the
// first on PATH. It is started with an argument list (a path with blanks stays one argument) and
// waited for without limit. enfuse accepts inputs of different sizes without complaint and then
// writes nonsense, so the inputs are checked first.
//
// Run blocks: call it on a worker thread.

#include <QString>
#include <QStringList>

struct EnfuseOutcome {
    enum class Status {
        Finished,    // enfuse ran and ended (its exit code says how it went)
        NotStarted,  // no program, or it could not be started: errorCode is the system's code
        BadInputs,   // refused before starting: reason says why
    };
    Status status = Status::NotStarted;
    int errorCode = 0;
    int exitCode = -1;
    QString reason;
    QString log;  // what enfuse wrote on its error stream
};

class CEnfuseRunner {
public:
    // program: the program to run; empty finds it (beside programFolder, else on PATH).
    explicit CEnfuseRunner(QString program = {}, QString programFolder = {});

    // The program that Run starts, or empty when there is none.
    QString Program() const { return m_program; }
    // "--exposure-weight=0", "--saturation-weight=0", "--contrast-weight=1", "--hard-mask",
    // "--output=<output>", then every input.
    static QStringList Arguments(const QString& output, const QStringList& inputs);
    // Empty when every input reads as a picture and all have one size; else the reason.
    static QString CheckInputs(const QStringList& inputs);

    EnfuseOutcome Run(const QString& output, const QStringList& inputs) const;

private:
    QString m_program;
};
