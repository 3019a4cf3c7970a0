#include "ui/interval_cap_dlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/language_table.h"
#include "settings/profile_file.h"

namespace {

// What each field accepts, what replaces anything else, and the message above the limit.
struct FieldRule {
    const char* label;
    const char* name;
    int low, high, replacement;
    int CIntervalCapDlg::*member;
    const char* tooLarge;
};
const FieldRule kRules[3] = {
    {"Wait (sec)", "WaitEdit", 0, 100, 0, &CIntervalCapDlg::m_nWait, "Please input an integer between 0 and 100!"},
    {"Interval (sec)", "IntervalEdit", 1, 5400, 1, &CIntervalCapDlg::m_nInterval,
     "Please input an integer between 1 and 5400!"},
    {"Images", "ImagesEdit", 1, 15000, 5, &CIntervalCapDlg::m_nImages, "Please input an integer between 1 and 15000!"},
};

bool AllDigits(const QString& text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

CIntervalCapDlg::CIntervalCapDlg(CScopeDoc& doc, QWidget* parent) : QDialog(parent), m_doc(doc) {
    setObjectName(QStringLiteral("IntervalCapDlg"));
    setWindowTitle(Translate(QStringLiteral("Interval Capture")));

    auto* interval = new QGroupBox(Translate(QStringLiteral("Interval")), this);
    auto* fields = new QGridLayout(interval);
    for (int f = 0; f < 3; ++f) {
        const FieldRule& rule = kRules[f];
        m_edits[f] = new QLineEdit(interval);
        m_edits[f]->setObjectName(QString::fromLatin1(rule.name));
        // The spin arrows of the field step within its range.
        m_up[f] = new QToolButton(interval);
        m_up[f]->setArrowType(Qt::UpArrow);
        m_down[f] = new QToolButton(interval);
        m_down[f]->setArrowType(Qt::DownArrow);
        for (QToolButton* b : {m_up[f], m_down[f]}) {
            b->setAutoRepeat(true);
            b->setFixedSize(18, 11);
        }
        auto* spin = new QVBoxLayout;
        spin->setSpacing(0);
        spin->addWidget(m_up[f]);
        spin->addWidget(m_down[f]);
        fields->addWidget(new QLabel(Translate(QString::fromLatin1(rule.label)), interval), f, 0);
        fields->addWidget(m_edits[f], f, 1);
        fields->addLayout(spin, f, 2);
        const Field field = static_cast<Field>(f);
        connect(m_edits[f], &QLineEdit::textChanged, this, [this, field] { OnFieldChanged(field); });
        connect(m_up[f], &QToolButton::clicked, this, [this, field] { Step(field, 1); });
        connect(m_down[f], &QToolButton::clicked, this, [this, field] { Step(field, -1); });
    }

    auto* current = new QGroupBox(Translate(QStringLiteral("Current")), this);
    auto* shown = new QGridLayout(current);
    const auto display = [&](const char* label, const char* name, int row) {
        auto* value = new QLabel(current);
        value->setObjectName(QString::fromLatin1(name));
        value->setMinimumWidth(fontMetrics().averageCharWidth() * 24);
        shown->addWidget(new QLabel(Translate(QString::fromLatin1(label)), current), row, 0);
        shown->addWidget(value, row, 1);
        return value;
    };
    m_waitShown = display("Wait", "WaitDisplay", 0);
    m_fileShown = display("File Name", "FileNameDisplay", 1);
    m_numberShown = display("No.", "NumberDisplay", 2);

    m_failure = new QLabel(this);
    m_failure->setObjectName(QStringLiteral("FailureLine"));
    m_failure->setWordWrap(true);
    m_failure->hide();

    m_start = new QPushButton(Translate(QStringLiteral("Start")), this);
    m_stop = new QPushButton(Translate(QStringLiteral("Stop")), this);
    m_cancel = new QPushButton(Translate(QStringLiteral("Cancel")), this);
    for (QPushButton* b : {m_start, m_stop, m_cancel}) b->setAutoDefault(false);
    connect(m_start, &QPushButton::clicked, this, &CIntervalCapDlg::OnStart);
    connect(m_stop, &QPushButton::clicked, this, &CIntervalCapDlg::OnStop);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {m_start, m_stop, m_cancel}) buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    groups->addWidget(interval);
    groups->addWidget(current);
    layout->addLayout(groups);
    layout->addWidget(m_failure);
    layout->addLayout(buttons);

    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CIntervalCapDlg::OnTimer);
    m_clock.start();
    ShowMembers();
}

void CIntervalCapDlg::ShowMembers() {
    m_bShowing = true;
    for (int f = 0; f < 3; ++f) m_edits[f]->setText(QString::number(this->*kRules[f].member));
    m_waitShown->setText(m_strWait);
    m_fileShown->setText(m_strFileName);
    m_numberShown->setText(m_strNumber);
    m_bShowing = false;
}

void CIntervalCapDlg::OnFieldChanged(Field f) {
    if (m_bShowing) return;
    const FieldRule& rule = kRules[f];
    const QString text = m_edits[f]->text();
    bool fits = false;
    const int value = AllDigits(text) ? text.toInt(&fits) : 0;
    const bool tooLarge = AllDigits(text) && (!fits || value > rule.high);
    if (AllDigits(text) && fits && value != 0 && value <= rule.high) {
        this->*rule.member = value;
        return;
    }
    this->*rule.member = rule.replacement;
    ShowMembers();
    m_edits[f]->setSelection(0, 8);
    if (tooLarge && theApp().prompt)
        theApp().prompt->message(Translate(QStringLiteral("Hint")), Translate(QString::fromLatin1(rule.tooLarge)));
}

void CIntervalCapDlg::Step(Field f, int by) {
    const FieldRule& rule = kRules[f];
    m_edits[f]->setText(QString::number(std::clamp(this->*rule.member + by, rule.low, rule.high)));
}

void CIntervalCapDlg::OnStart() {
    m_nCount = 0;
    m_nElapsed = 0;
    m_failure->hide();
    // Starts over when a series runs.
    m_series.Start({m_nImages, m_nInterval, m_nWait}, Now());
    ArmTimer();
}

void CIntervalCapDlg::OnStop() {
    m_timer.stop();
    m_series.Stop();
    m_nCount = 0;
    m_nElapsed = 0;
    m_strWait.clear();
    m_strNumber.clear();
    m_strFileName.clear();
    ShowMembers();
}

void CIntervalCapDlg::ArmTimer() {
    if (!m_series.IsRunning()) return;
    m_timer.start(static_cast<int>(std::max<int64_t>(0, m_series.NextDue() - Now())));
}

void CIntervalCapDlg::OnTimer() {
    switch (m_series.Tick(Now())) {
        case CIntervalSeries::Event::None:
            break;
        case CIntervalSeries::Event::Countdown:
            m_nElapsed = m_series.Elapsed();
            m_strWait = QString::number(m_series.WaitLeft());
            ShowMembers();
            break;
        case CIntervalSeries::Event::Picture: {
            m_nCount = m_series.Count();
            m_strNumber = QString::number(m_nCount);
            QString path;
            const bool saved = m_doc.IntervalSave(&path);
            // The save advanced the counter: the name the next picture gets.
            const CProfileFile ini(g_strIniPath);
            const QString section = QStringLiteral("Save");
            m_strFileName = ini.GetString(section, QStringLiteral("Prefix")) +
                            QString::number(ini.GetInt(section, QStringLiteral("Suffix"), 0)) +
                            (ini.GetInt(section, QStringLiteral("bBmp"), 0) != 0 ? QStringLiteral(".bmp")
                                                                                 : QStringLiteral(".jpg"));
            if (!saved) {
                // The series goes on; the failure stays in view until the next start.
                m_failure->setText(Translate(QStringLiteral("Save image failed33.")) + QStringLiteral("  ") + path);
                m_failure->show();
            }
            ShowMembers();
            break;
        }
        case CIntervalSeries::Event::Finished:
            m_nCount = 0;
            m_strWait.clear();
            m_strNumber.clear();
            m_strFileName.clear();
            ShowMembers();
            break;
    }
    ArmTimer();
}

void RunIntervalCapDialog(CScopeDoc& doc, QWidget* parent) {
    CIntervalCapDlg dlg(doc, parent);
    dlg.exec();
}
