#pragma once
// CSaneSource: one open SANE device acting as an acquisition source. It answers the source-level
// triplets (capability, user interface, event, image information, native transfer, pending
// transfers), shows its own user interface while enabled, scans on a worker (CSaneScanJob) and
// hands the finished pages over one native transfer each, in scanning order.
//
// States as the protocol counts them: 4 open, 5 enabled, 6 a transfer is ready, 7 a picture
// has been handed over. While enabled the source tells the application about ready pages and
// about the user's wish to close it by events posted to the application's window, which the
// application's message filter passes back through the event triplet.
//
// Threads: user-interface thread only (the scan worker reports through queued calls).

#include <sane/sane.h>

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "camera/acquisition/sane_scan_job.h"
#include "camera/acquisition/source_ui.h"
#include "camera/acquisition/twain_protocol.h"

class CSaneLibrary;
class CSaneOptions;

class CSaneSource : public QObject, public ISaneSourceControl {
    Q_OBJECT
public:
    enum SourceState : int { kOpen = 4, kEnabled = 5, kTransferReady = 6, kTransferring = 7 };

    // Opens the device; null, with SANE's reason, when it cannot be opened. Events go to parent.
    static std::unique_ptr<CSaneSource> Open(const CSaneLibrary& lib, const SaneDeviceInfo& device,
                                             const TW_IDENTITY& identity, QObject* parent,
                                             std::string* reason);
    // Stops a running scan (waiting for its worker) and closes the device.
    ~CSaneSource() override;

    const TW_IDENTITY& Identity() const { return m_identity; }
    int State() const { return m_state; }
    // A triplet addressed to this source; the condition code of a failure waits for the status
    // triplet.
    TW_UINT16 Handle(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    // The condition code of the last failure, then success again.
    TW_UINT16 TakeConditionCode();

    // ISaneSourceControl
    const SaneDeviceInfo& Device() const override { return m_device; }
    CSaneOptions& Options() override { return *m_options; }
    bool StartScan(std::string* reason = nullptr) override;
    void CancelScan() override;
    bool IsScanning() const override { return m_job != nullptr; }
    void RequestClose() override;

    // Closes the user interface and stops a running scan (waiting at most kStopWait).
    void Shut();
    // Pages scanned and not yet handed over.
    size_t PendingPages() const { return m_pages.size(); }
    // A scan that did not stop when asked was left to its thread: the device stays open and
    // SANE must stay loaded until the program ends.
    bool IsStuck() const { return m_stuck; }
    // How long stopping a scan may hold up the user interface, and how long a cancelled scan
    // may take before the user can give the device up.
    static constexpr std::chrono::milliseconds kStopWait{5000};

private:
    CSaneSource(const CSaneLibrary& lib, SANE_Handle handle, const SaneDeviceInfo& device,
                const TW_IDENTITY& identity, QObject* parent);

    TW_UINT16 Fail(TW_UINT16 conditionCode);
    TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY* cap);
    TW_UINT16 UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui);
    TW_UINT16 ProcessEvent(TW_EVENT* event);
    TW_UINT16 ImageInfo(TW_IMAGEINFO* info);
    TW_UINT16 NativeTransfer(TW_HANDLE* handle);
    TW_UINT16 PendingTransfers(TW_UINT16 msg, TW_PENDINGXFERS* pending);

    void StopScan();
    void CollectPages();
    void OnJobNews();
    // Posts the events that are due: a ready transfer, the close request.
    void UpdateEvents();
    void Post(TW_UINT16 msg);
    bool CloseIsDue() const;

    const CSaneLibrary& m_lib;
    SANE_Handle m_handle;
    SaneDeviceInfo m_device;
    TW_IDENTITY m_identity;
    QPointer<QObject> m_parent;
    const quint64 m_serial;  // tells this source's events from those of an earlier one
    std::unique_ptr<CSaneOptions> m_options;
    int m_state = kOpen;
    TW_UINT16 m_conditionCode = TWCC_SUCCESS;
    int m_transferCount = -1;  // CAP_XFERCOUNT: pictures the application takes; -1 all
    std::unique_ptr<CSaneScanJob> m_job;
    std::deque<ScannedPage> m_pages;
    std::optional<TW_IMAGEINFO> m_handedOver;  // state 7: the picture being handed over
    bool m_transferPosted = false;
    bool m_closePosted = false;
    bool m_closeRequested = false;
    bool m_stuck = false;
    bool m_jobHung = false;  // a cancelled scan did not end within kStopWait
    std::unique_ptr<ISaneSourceUi> m_ui;
};

// The event a source posts to the application's window; its message is MSG_XFERREADY or
// MSG_CLOSEDSREQ.
class CTwSourceEvent : public QEvent {
public:
    CTwSourceEvent(quint64 source, TW_UINT16 message)
        : QEvent(EventType()), m_source(source), m_message(message) {}
    static QEvent::Type EventType();
    quint64 Source() const { return m_source; }
    TW_UINT16 Message() const { return m_message; }

private:
    quint64 m_source;
    TW_UINT16 m_message;
};
