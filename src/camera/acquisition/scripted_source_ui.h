#pragma once
// The source manager's user interface without windows, for the command-line tool: the selection
// takes the device named beforehand, and the source's "dialog" sets the given options, scans
// once (every page when the feeder is chosen) and asks to be closed when the scan ends. The
// first failure is kept with its reason.

#include <QString>
#include <optional>
#include <string>

#include "camera/acquisition/source_ui.h"

struct ScriptedScan {
    std::optional<QString> mode;  // "Color", "Gray" or "Lineart"
    std::optional<double> resolution;
    std::optional<int> depth;
    bool feeder = false;  // false: the flatbed (or whatever source is not a feeder)
};

// Sets what a scripted scan asks for on the device's options. False, with the reason, when
// the device offers no way to do it. Line-art on a device without such a mode is 1-bit grey.
bool ApplyScriptedScan(CSaneOptions& options, const ScriptedScan& scan, std::string* reason);

class CScriptedSourceManagerUi : public ISourceManagerUi {
public:
    CScriptedSourceManagerUi(std::string deviceName, ScriptedScan scan);

    std::optional<std::string> SelectSource(ISaneDeviceLister& lister,
                                            const std::string& preselected,
                                            QObject* parent) override;
    std::unique_ptr<ISaneSourceUi> CreateSourceUi(ISaneSourceControl& source,
                                                  QObject* parent) override;
    void ShowError(const QString& text, QObject* parent) override;

    // The first failure (a missing device, an option the device refuses, a failed scan).
    const std::string& Failure() const { return m_failure; }
    void Fail(const std::string& reason);
    // The scan's outcome once it ended.
    const std::optional<ScanOutcome>& Outcome() const { return m_outcome; }
    void SetOutcome(const ScanOutcome& outcome) { m_outcome = outcome; }
    const ScriptedScan& Scan() const { return m_scan; }

private:
    std::string m_deviceName;
    ScriptedScan m_scan;
    std::string m_failure;
    std::optional<ScanOutcome> m_outcome;
};
