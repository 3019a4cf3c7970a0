#pragma once
// What the SANE source manager asks of a user interface, and what a source's own user interface
// may ask of its source. The program answers with Qt dialogs (src/ui), the command-line tool
// with its arguments (CScriptedSourceUi). Everything here runs on the user-interface thread.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CSaneOptions;

// One SANE device as sane_get_devices describes it.
struct SaneDeviceInfo {
    std::string name;  // "test:0", what sane_open takes
    std::string vendor;
    std::string model;
    std::string type;
    bool operator==(const SaneDeviceInfo&) const = default;
};

// The device list, asked for when the selection dialog needs it.
class ISaneDeviceLister {
public:
    virtual ~ISaneDeviceLister() = default;
    // Blocks while SANE looks (network backends can take seconds). Reason set on failure.
    virtual std::vector<SaneDeviceInfo> ListDevices(std::string* reason) = 0;
    // The same on a worker thread; done runs on context's thread, never after context is gone.
    virtual void ListDevicesLater(
        QObject* context, std::function<void(std::vector<SaneDeviceInfo>, std::string)> done) = 0;
};

// Where a scan stands: page (from 1), frame of the page (from 1, of frames) and how far the
// frame is (percent, -1 while the length is unknown).
struct ScanProgress {
    int page = 0;
    int frame = 0;
    int frames = 1;
    int percent = -1;
};

// How a scan ended. Pages scanned before an error or a cancel are kept and delivered.
struct ScanOutcome {
    enum class End { Done, Cancelled, DeviceError, FeederEmpty, BadData };
    End end = End::Done;
    std::string reason;  // SANE's text for its status, or what was wrong with the data
    int pages = 0;       // pages scanned and kept
};
// The message a user reads about an outcome; empty when nothing went wrong.
QString ScanOutcomeMessage(const ScanOutcome& outcome);

// What a source's user interface may do with its source.
class ISaneSourceControl {
public:
    virtual ~ISaneSourceControl() = default;
    virtual const SaneDeviceInfo& Device() const = 0;
    // The device's options; change them only while no scan runs.
    virtual CSaneOptions& Options() = 0;
    // Starts a scan with the current options (one page, or every page of the feeder). False,
    // with the reason, while a scan runs or the source is not enabled.
    virtual bool StartScan(std::string* reason = nullptr) = 0;
    // Asks the running scan to stop; the pages it finished are kept.
    virtual void CancelScan() = 0;
    virtual bool IsScanning() const = 0;
    // The user is done with the source: it asks the program to close it once no scan runs (or
    // a cancelled one hangs) and every page has been handed over.
    virtual void RequestClose() = 0;
};

// A source's own user interface, shown while the source is enabled and destroyed with it.
class ISaneSourceUi {
public:
    virtual ~ISaneSourceUi() = default;
    virtual void Show() = 0;
    virtual void ScanStarted() {}
    virtual void ScanProgressed(const ScanProgress& /*progress*/) {}
    virtual void ScanFinished(const ScanOutcome& outcome) = 0;
    // A cancelled scan does not end: the device hangs. Closing the source now gives it up
    // until the program starts again.
    virtual void ScanHung() {}
};

class ISourceManagerUi {
public:
    virtual ~ISourceManagerUi() = default;
    // The selection dialog: every device with vendor, model and type, the preselected one
    // (empty: none) marked. The chosen device's name, or nothing on Cancel.
    virtual std::optional<std::string> SelectSource(ISaneDeviceLister& lister,
                                                    const std::string& preselected,
                                                    QObject* parent) = 0;
    virtual std::unique_ptr<ISaneSourceUi> CreateSourceUi(ISaneSourceControl& source,
                                                          QObject* parent) = 0;
    // A failure of the manager itself (a device that cannot be opened), with SANE's reason.
    virtual void ShowError(const QString& text, QObject* parent) = 0;
};

// The user interface the source manager uses; null: no dialogs (a selection fails, an enabled
// source scans at once).
void SetSourceManagerUi(ISourceManagerUi* ui);
ISourceManagerUi* SourceManagerUi();
