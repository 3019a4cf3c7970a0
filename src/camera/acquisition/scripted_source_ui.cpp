#include "camera/acquisition/scripted_source_ui.h"

#include <sane/saneopts.h>

#include <algorithm>
#include <cmath>

#include "camera/acquisition/sane_options.h"

namespace {

QString Lower(const QString& s) {
    return s.toLower();
}

// The mode entry of the device for Color, Gray or Lineart: the exact name, else one that
// names the kind.
std::optional<QString> ModeEntry(const SaneOption& mode, const QString& wanted) {
    for (const QString& s : mode.strings)
        if (s.compare(wanted, Qt::CaseInsensitive) == 0) return s;
    const QString w = Lower(wanted);
    for (const QString& s : mode.strings) {
        const QString l = Lower(s);
        if (w == QLatin1String("color") && l.contains(QLatin1String("color")) &&
            !l.contains(QLatin1String("lineart")) && !l.contains(QLatin1String("halftone")))
            return s;
        if (w == QLatin1String("gray") &&
            (l.contains(QLatin1String("gray")) || l.contains(QLatin1String("grey"))))
            return s;
        if (w == QLatin1String("lineart") &&
            (l.contains(QLatin1String("line")) || l == QLatin1String("binary") ||
             l.contains(QLatin1String("black"))))
            return s;
    }
    return std::nullopt;
}

bool Set(CSaneOptions& options, const char* name, const QVariant& value, std::string* reason) {
    std::string why;
    if (options.Set(QString::fromLatin1(name), value, &why)) return true;
    if (reason) *reason = why;
    return false;
}

class CScriptedSourceUi : public ISaneSourceUi {
public:
    CScriptedSourceUi(CScriptedSourceManagerUi& owner, ISaneSourceControl& source)
        : m_owner(owner), m_source(source) {}
    void Show() override {
        std::string reason;
        if (!ApplyScriptedScan(m_source.Options(), m_owner.Scan(), &reason) ||
            !m_source.StartScan(&reason)) {
            m_owner.Fail(reason);
            m_source.RequestClose();
        }
    }
    void ScanFinished(const ScanOutcome& outcome) override {
        m_owner.SetOutcome(outcome);
        if (outcome.end != ScanOutcome::End::Done)
            m_owner.Fail(ScanOutcomeMessage(outcome).toStdString());
        m_source.RequestClose();
    }

private:
    CScriptedSourceManagerUi& m_owner;
    ISaneSourceControl& m_source;
};

}  // namespace

bool ApplyScriptedScan(CSaneOptions& options, const ScriptedScan& scan, std::string* reason) {
    auto fail = [reason](const std::string& text) {
        if (reason) *reason = text;
        return false;
    };
    std::optional<int> depth = scan.depth;
    if (scan.mode) {
        const SaneOption* mode = options.Find(QString::fromLatin1(SANE_NAME_SCAN_MODE));
        if (!mode || mode->constraint != SaneOption::Constraint::StringList)
            return fail("the device has no scan mode option");
        std::optional<QString> entry = ModeEntry(*mode, *scan.mode);
        if (!entry && scan.mode->compare(QLatin1String("Lineart"), Qt::CaseInsensitive) == 0) {
            // Line-art is 1-bit grey where the device has no mode of that name.
            entry = ModeEntry(*mode, QStringLiteral("Gray"));
            if (depth && *depth != 1) return fail("line-art scans have a depth of 1 bit");
            depth = 1;
        }
        if (!entry)
            return fail("the device has no " + scan.mode->toStdString() + " mode (it offers " +
                        mode->strings.join(QStringLiteral(", ")).toStdString() + ")");
        if (!Set(options, SANE_NAME_SCAN_MODE, *entry, reason)) return false;
    }
    if (depth) {
        const SaneOption* o = options.Find(QString::fromLatin1(SANE_NAME_BIT_DEPTH));
        if (!o || !o->active) {
            if (*depth != 8) return fail("the device offers no choice of bit depth");
        } else if (!Set(options, SANE_NAME_BIT_DEPTH, *depth, reason)) {
            return false;
        }
    }
    if (scan.resolution) {
        const char* name = options.Find(QString::fromLatin1(SANE_NAME_SCAN_RESOLUTION))
                               ? SANE_NAME_SCAN_RESOLUTION
                               : SANE_NAME_SCAN_X_RESOLUTION;
        const SaneOption* o = options.Find(QString::fromLatin1(name));
        if (!o) return fail("the device offers no choice of resolution");
        // A device would quietly take the nearest value it has; the user asked for this one.
        const double dpi = *scan.resolution;
        if (o->constraint == SaneOption::Constraint::Range && (dpi < o->min || dpi > o->max))
            return fail("the device scans at " + QString::number(o->min).toStdString() + " to " +
                        QString::number(o->max).toStdString() + " dpi");
        if (o->constraint == SaneOption::Constraint::WordList &&
            std::none_of(o->words.begin(), o->words.end(),
                         [dpi](double w) { return std::fabs(w - dpi) < 1e-6; })) {
            QStringList offered;
            for (double w : o->words) offered.append(QString::number(w));
            return fail("the device scans at " + offered.join(QStringLiteral(", ")).toStdString() +
                        " dpi");
        }
        if (!Set(options, name, *scan.resolution, reason)) return false;
        if (const SaneOption* y = options.Find(QString::fromLatin1(SANE_NAME_SCAN_Y_RESOLUTION));
            y && y->active)
            if (!Set(options, SANE_NAME_SCAN_Y_RESOLUTION, *scan.resolution, reason)) return false;
    }
    const SaneOption* source = options.Find(QString::fromLatin1(SANE_NAME_SCAN_SOURCE));
    if (scan.feeder) {
        if (!source || source->constraint != SaneOption::Constraint::StringList)
            return fail("the device has no document feeder");
        std::optional<QString> feeder;
        for (const QString& s : source->strings)
            if (!feeder && CSaneOptions::IsFeederValue(s)) feeder = s;
        if (!feeder) return fail("the device has no document feeder");
        if (!Set(options, SANE_NAME_SCAN_SOURCE, *feeder, reason)) return false;
    } else if (source && source->constraint == SaneOption::Constraint::StringList &&
               options.FeederSelected()) {
        for (const QString& s : source->strings)
            if (!CSaneOptions::IsFeederValue(s))
                return Set(options, SANE_NAME_SCAN_SOURCE, s, reason);
    }
    return true;
}

CScriptedSourceManagerUi::CScriptedSourceManagerUi(std::string deviceName, ScriptedScan scan)
    : m_deviceName(std::move(deviceName)), m_scan(std::move(scan)) {}

void CScriptedSourceManagerUi::Fail(const std::string& reason) {
    if (m_failure.empty()) m_failure = reason;
}

std::optional<std::string> CScriptedSourceManagerUi::SelectSource(ISaneDeviceLister& lister,
                                                                  const std::string&, QObject*) {
    std::string reason;
    const std::vector<SaneDeviceInfo> devices = lister.ListDevices(&reason);
    if (!reason.empty()) {
        Fail("SANE could not list its devices: " + reason);
        return std::nullopt;
    }
    if (devices.empty()) {
        Fail("no SANE device is attached");
        return std::nullopt;
    }
    for (const SaneDeviceInfo& d : devices)
        if (d.name == m_deviceName) return d.name;
    Fail("no SANE device named \"" + m_deviceName + "\"");
    return std::nullopt;
}

std::unique_ptr<ISaneSourceUi> CScriptedSourceManagerUi::CreateSourceUi(ISaneSourceControl& source,
                                                                        QObject*) {
    return std::make_unique<CScriptedSourceUi>(*this, source);
}

void CScriptedSourceManagerUi::ShowError(const QString& text, QObject*) {
    Fail(text.toStdString());
}
