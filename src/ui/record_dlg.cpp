#include "ui/record_dlg.h"

#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "camera/recording/recorder.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/language_table.h"

CRecordDlg::CRecordDlg(CScopeDoc& doc, QWidget* parent) : QDialog(parent), m_doc(doc) {
    setObjectName(QStringLiteral("RecordDlg"));
    setWindowTitle(Translate(QStringLiteral("Record")));
    const auto button = [this](const char* text, const char* name) {
        auto* b = new QPushButton(Translate(QString::fromLatin1(text)), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    m_path = button("Path", "PathButton");
    m_start = button("Start", "StartButton");
    m_pause = button("Pause", "PauseButton");
    m_stop = button("Stop", "StopButton");
    // The two lines show paths and counters: not translated.
    m_file = new QLabel(QStringLiteral("/"), this);
    m_file->setObjectName(QStringLiteral("FileLine"));
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status = new QLabel(QStringLiteral("Ready"), this);
    m_status->setObjectName(QStringLiteral("StatusLine"));
    m_status->setWordWrap(true);

    auto* lines = new QGridLayout;
    lines->addWidget(new QLabel(Translate(QStringLiteral("File:")), this), 0, 0);
    lines->addWidget(m_file, 0, 1);
    lines->addWidget(new QLabel(Translate(QStringLiteral("Status:")), this), 1, 0);
    lines->addWidget(m_status, 1, 1);
    lines->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_path, m_start, m_pause, m_stop}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lines);
    layout->addLayout(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 60);

    connect(m_path, &QPushButton::clicked, this, &CRecordDlg::OnPath);
    connect(m_start, &QPushButton::clicked, this, &CRecordDlg::OnStart);
    connect(m_pause, &QPushButton::clicked, this, &CRecordDlg::OnPause);
    connect(m_stop, &QPushButton::clicked, this, &CRecordDlg::OnStop);
    m_timer.setInterval(kRecordTimerMs);
    connect(&m_timer, &QTimer::timeout, this, &CRecordDlg::OnTimer);
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &CRecordDlg::PollRecorder);
    m_poll.start();

    // Path stays enabled.
    m_start->setEnabled(false);
    m_pause->setEnabled(false);
    m_stop->setEnabled(false);
}

void CRecordDlg::OnPath() {
    const QString name = DefaultRecordFileName(QDateTime::currentDateTime());
    std::optional<QString> chosen;
    if (IScopePrompt* prompt = theApp().prompt)
        chosen = prompt->chooseSaveFile(Translate(QStringLiteral("Save As")), name,
                                        QStringLiteral("MP4 Files(*.mp4)"));
    if (chosen && !chosen->isEmpty()) {
        m_szPath = WithMp4Extension(*chosen);
        m_start->setEnabled(true);
        m_file->setText(m_szPath);
        m_bErrorShown = false;
        // The next frame opens the encoder.
        m_doc.Recorder().RequestFile(m_szPath);
    }
    m_status->setText(QStringLiteral("Start"));
}

void CRecordDlg::OnStart() {
    m_pause->setEnabled(true);
    m_stop->setEnabled(true);
    m_start->setEnabled(false);
    m_path->setEnabled(false);
    m_doc.Recorder().m_nRecordState = kRecording;
    m_timer.start();
    m_bRecording = true;
    m_status->setText(QStringLiteral("Record"));
}

void CRecordDlg::OnPause() {
    m_pause->setEnabled(false);
    m_path->setEnabled(false);
    m_stop->setEnabled(true);
    m_start->setEnabled(true);
    m_timer.stop();
    m_doc.Recorder().m_nRecordState = kRecordPaused;
    m_status->setText(QStringLiteral("Pause"));
}

void CRecordDlg::OnStop() {
    ShowStopped();
    // The next frame finishes the file.
    m_doc.Recorder().m_nRecordState = kRecordFinishRequested;
}

void CRecordDlg::OnTimer() {
    const QString dots(m_nDots % 6 + 1, u'.');
    ++m_nDots;
    if (m_nDots > 5) m_stop->setEnabled(true);
    ++m_nSeconds;
    m_status->setText(QString::asprintf("%ds   ", m_nSeconds) + Translate(QStringLiteral("Recording")) + dots);
}

void CRecordDlg::PollRecorder() {
    CRecorder& recorder = m_doc.Recorder();
    const int state = recorder.m_nRecordState.load();
    if (state == kRecordOpen || state == kRecording || state == kRecordPaused) {
        const CRecorder::Status s = recorder.GetStatus();
        if (!s.open && !s.error.empty() && !m_bErrorShown) {
            // Nothing can be recorded into this file: say why, and offer only another path.
            m_bErrorShown = true;
            m_timer.stop();
            m_bRecording = false;
            m_start->setEnabled(false);
            m_pause->setEnabled(false);
            m_stop->setEnabled(false);
            m_path->setEnabled(true);
            m_status->setText(QString::fromStdString(s.error));
        }
        return;
    }
    if (state == kRecordFinishRequested) {
        // Stop waits for a frame; a camera that delivers none (paused) does not keep the file
        // open.
        if (++m_nStopPolls * kPollMs >= 1000) recorder.EndRecording();
        return;
    }
    if (state == kRecordIdle && (m_bRecording || m_start->isEnabled() || m_pause->isEnabled())) ShowStopped();
}

void CRecordDlg::ShowStopped() {
    m_pause->setEnabled(false);
    m_stop->setEnabled(false);
    m_start->setEnabled(false);
    m_path->setEnabled(true);
    m_timer.stop();
    m_nDots = 0;
    m_nSeconds = 0;
    m_nStopPolls = 0;
    m_bRecording = false;
    m_status->setText(QStringLiteral("Stop"));
}

void CRecordDlg::done(int result) {
    m_timer.stop();
    m_poll.stop();
    // A recording still running when the dialog closes is finished into a playable file.
    if (m_doc.Recorder().m_nRecordState.load() != kRecordIdle) m_doc.Recorder().EndRecording();
    QDialog::done(result);
}

void RunRecordDialog(CScopeDoc& doc, QWidget* parent) {
    CRecordDlg dlg(doc, parent);
    dlg.exec();
}
