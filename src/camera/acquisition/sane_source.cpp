#include "camera/acquisition/sane_source.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <cmath>

#include "camera/acquisition/sane_library.h"
#include "camera/acquisition/sane_options.h"

namespace {

std::atomic<quint64> g_nextSerial{1};

TW_FIX32 Fix32(double v) {
    TW_FIX32 f{};
    if (!(v > 0) || v >= 32768) return f;
    const double whole = std::floor(v);
    f.Whole = static_cast<TW_INT16>(whole);
    f.Frac = static_cast<TW_UINT16>(std::lround((v - whole) * 65536.0) & 0xFFFF);
    return f;
}

TW_IMAGEINFO InfoOf(const ScannedPage& page) {
    TW_IMAGEINFO info{};
    info.XResolution = Fix32(page.dpiX);
    info.YResolution = Fix32(page.dpiY);
    info.ImageWidth = page.width;
    info.ImageLength = page.height;
    info.SamplesPerPixel = 3;
    info.BitsPerSample[0] = info.BitsPerSample[1] = info.BitsPerSample[2] = 8;
    info.BitsPerPixel = 24;
    info.Planar = 0;
    info.PixelType = TWPT_RGB;
    info.Compression = TWCP_NONE;
    return info;
}

}  // namespace

QEvent::Type CTwSourceEvent::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

std::unique_ptr<CSaneSource> CSaneSource::Open(const CSaneLibrary& lib,
                                               const SaneDeviceInfo& device,
                                               const TW_IDENTITY& identity, QObject* parent,
                                               std::string* reason) {
    SANE_Handle handle = nullptr;
    const SANE_Status status = lib.open(device.name.c_str(), &handle);
    if (status != SANE_STATUS_GOOD || !handle) {
        if (reason)
            *reason = lib.StatusText(status == SANE_STATUS_GOOD ? SANE_STATUS_INVAL : status);
        return nullptr;
    }
    return std::unique_ptr<CSaneSource>(new CSaneSource(lib, handle, device, identity, parent));
}

CSaneSource::CSaneSource(const CSaneLibrary& lib, SANE_Handle handle, const SaneDeviceInfo& device,
                         const TW_IDENTITY& identity, QObject* parent)
    : m_lib(lib),
      m_handle(handle),
      m_device(device),
      m_identity(identity),
      m_parent(parent),
      m_serial(g_nextSerial++),
      m_options(std::make_unique<CSaneOptions>(lib, handle)) {}

CSaneSource::~CSaneSource() {
    Shut();
    m_pages.clear();
    if (!m_stuck) m_lib.close(m_handle);
}

TW_UINT16 CSaneSource::Fail(TW_UINT16 conditionCode) {
    m_conditionCode = conditionCode;
    return TWRC_FAILURE;
}

TW_UINT16 CSaneSource::TakeConditionCode() {
    const TW_UINT16 cc = m_conditionCode;
    m_conditionCode = TWCC_SUCCESS;
    return cc;
}

TW_UINT16 CSaneSource::Handle(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (dg == DG_CONTROL && dat == DAT_EVENT && msg == MSG_PROCESSEVENT)
        return ProcessEvent(static_cast<TW_EVENT*>(data));
    if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET) {
        if (!data) return Fail(TWCC_BADVALUE);
        auto* status = static_cast<TW_STATUS*>(data);
        status->ConditionCode = TakeConditionCode();
        status->Reserved = 0;
        return TWRC_SUCCESS;
    }
    if (!data) return Fail(TWCC_BADVALUE);
    if (dg == DG_CONTROL && dat == DAT_CAPABILITY)
        return Capability(msg, static_cast<TW_CAPABILITY*>(data));
    if (dg == DG_CONTROL && dat == DAT_USERINTERFACE)
        return UserInterface(msg, static_cast<TW_USERINTERFACE*>(data));
    if (dg == DG_CONTROL && dat == DAT_PENDINGXFERS)
        return PendingTransfers(msg, static_cast<TW_PENDINGXFERS*>(data));
    if (dg == DG_IMAGE && dat == DAT_IMAGEINFO && msg == MSG_GET)
        return ImageInfo(static_cast<TW_IMAGEINFO*>(data));
    if (dg == DG_IMAGE && dat == DAT_IMAGENATIVEXFER && msg == MSG_GET)
        return NativeTransfer(static_cast<TW_HANDLE*>(data));
    return Fail(TWCC_BADPROTOCOL);
}

// ---- Triplets ----

TW_UINT16 CSaneSource::Capability(TW_UINT16 msg, TW_CAPABILITY* cap) {
    if (cap->Cap != CAP_XFERCOUNT) return Fail(TWCC_BADCAP);
    if (msg == MSG_GET || msg == MSG_GETDEFAULT || msg == MSG_RESET) {
        if (msg == MSG_RESET) {
            if (m_state != kOpen) return Fail(TWCC_SEQERROR);
            m_transferCount = -1;
        }
        const int value = msg == MSG_GETDEFAULT ? -1 : m_transferCount;
        TW_HANDLE h = TwGlobalAlloc(kGmemMoveable | kGmemZeroInit, sizeof(TW_ONEVALUE));
        if (!h) return Fail(TWCC_LOWMEMORY);
        auto* one = static_cast<TW_ONEVALUE*>(TwGlobalLock(h));
        one->ItemType = TWTY_INT16;
        one->Item = static_cast<TW_UINT16>(static_cast<TW_INT16>(value));
        TwGlobalUnlock(h);
        cap->ConType = TWON_ONEVALUE;
        cap->hContainer = h;
        return TWRC_SUCCESS;
    }
    if (msg != MSG_SET) return Fail(TWCC_BADPROTOCOL);
    // Capabilities are agreed before the source is enabled.
    if (m_state != kOpen) return Fail(TWCC_SEQERROR);
    if (cap->ConType != TWON_ONEVALUE || TwGlobalSize(cap->hContainer) < sizeof(TW_ONEVALUE))
        return Fail(TWCC_BADVALUE);
    const auto* one = static_cast<const TW_ONEVALUE*>(TwGlobalLock(cap->hContainer));
    if (one->ItemType != TWTY_INT16 && one->ItemType != TWTY_UINT16) return Fail(TWCC_BADVALUE);
    // Both types carry the count in the low 16 bits; 0xFFFF is "all".
    const int value = static_cast<TW_INT16>(one->Item & 0xFFFF);
    if (value == 0 || value < -1) return Fail(TWCC_BADVALUE);
    m_transferCount = value;
    return TWRC_SUCCESS;
}

TW_UINT16 CSaneSource::UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui) {
    if (msg == MSG_ENABLEDS) {
        if (m_state != kOpen) return Fail(TWCC_SEQERROR);
        if (m_stuck) return Fail(TWCC_OPERATIONERROR);
        m_state = kEnabled;
        m_closeRequested = false;
        // An event still on its way from an earlier session reached nobody (the program passes
        // messages to the source only while it is enabled): announce afresh.
        m_transferPosted = false;
        m_closePosted = false;
        ISourceManagerUi* managerUi = ui->ShowUI ? SourceManagerUi() : nullptr;
        if (managerUi) m_ui = managerUi->CreateSourceUi(*this, m_parent);
        if (m_ui) {
            m_ui->Show();
        } else {
            // Without a user interface the source scans at once and asks to be closed after.
            m_closeRequested = true;
            StartScan();
        }
        return TWRC_SUCCESS;
    }
    if (msg == MSG_DISABLEDS) {
        if (m_state != kEnabled) return Fail(TWCC_SEQERROR);
        StopScan();
        m_ui.reset();
        m_pages.clear();
        m_state = kOpen;
        m_closeRequested = false;
        return TWRC_SUCCESS;
    }
    return Fail(TWCC_BADPROTOCOL);
}

TW_UINT16 CSaneSource::ProcessEvent(TW_EVENT* event) {
    if (!event) return Fail(TWCC_BADVALUE);
    event->TWMessage = MSG_NULL;
    const auto* message = static_cast<const TwWindowMessage*>(event->pEvent);
    if (!message || !message->event || message->event->type() != CTwSourceEvent::EventType())
        return TWRC_NOTDSEVENT;
    const auto* ours = static_cast<const CTwSourceEvent*>(message->event);
    if (ours->Source() != m_serial) return TWRC_NOTDSEVENT;
    if (ours->Message() == MSG_XFERREADY) {
        m_transferPosted = false;
        if (m_state == kEnabled && !m_pages.empty()) {
            m_state = kTransferReady;
            event->TWMessage = MSG_XFERREADY;
        }
    } else if (ours->Message() == MSG_CLOSEDSREQ) {
        m_closePosted = false;
        if (CloseIsDue()) event->TWMessage = MSG_CLOSEDSREQ;
    }
    // Whatever changed since the event was posted is announced again.
    if (event->TWMessage == MSG_NULL) UpdateEvents();
    return TWRC_DSEVENT;
}

TW_UINT16 CSaneSource::ImageInfo(TW_IMAGEINFO* info) {
    if (m_state == kTransferReady && !m_pages.empty()) {
        *info = InfoOf(m_pages.front());
        return TWRC_SUCCESS;
    }
    if (m_state == kTransferring && m_handedOver) {
        *info = *m_handedOver;
        return TWRC_SUCCESS;
    }
    return Fail(TWCC_SEQERROR);
}

TW_UINT16 CSaneSource::NativeTransfer(TW_HANDLE* handle) {
    if (m_state != kTransferReady || m_pages.empty()) return Fail(TWCC_SEQERROR);
    ScannedPage& page = m_pages.front();
    m_handedOver = InfoOf(page);
    *handle = page.dib.Release();  // the application frees it
    m_pages.pop_front();
    m_state = kTransferring;
    return TWRC_XFERDONE;
}

TW_UINT16 CSaneSource::PendingTransfers(TW_UINT16 msg, TW_PENDINGXFERS* pending) {
    if (msg == MSG_ENDXFER) {
        if (m_state == kTransferReady) {
            if (!m_pages.empty()) m_pages.pop_front();  // the application skips this picture
        } else if (m_state != kTransferring) {
            return Fail(TWCC_SEQERROR);
        }
        m_handedOver.reset();
        // Pages finished since the transfers began wait for the next transfer-ready event:
        // the program gets back to its messages (the progress, Cancel) between the batches
        // of a fast feeder instead of staying in one transfer loop until the feeder is empty.
        pending->Count = static_cast<TW_UINT16>(std::min<size_t>(m_pages.size(), 0x7FFF));
        pending->EOJ = 0;
        m_state = m_pages.empty() ? kEnabled : kTransferReady;
        if (m_state == kEnabled) UpdateEvents();
        return TWRC_SUCCESS;
    }
    if (msg == MSG_RESET) {
        if (m_state != kTransferReady) return Fail(TWCC_SEQERROR);
        // No more pictures of this batch: the feeder stops too.
        if (m_job) m_job->Cancel();
        m_pages.clear();
        pending->Count = 0;
        pending->EOJ = 0;
        m_state = kEnabled;
        UpdateEvents();
        return TWRC_SUCCESS;
    }
    if (msg == MSG_GET) {
        if (m_state < kEnabled) return Fail(TWCC_SEQERROR);
        pending->Count = static_cast<TW_UINT16>(std::min<size_t>(m_pages.size(), 0x7FFF));
        pending->EOJ = 0;
        return TWRC_SUCCESS;
    }
    return Fail(TWCC_BADPROTOCOL);
}

// ---- Scanning ----

bool CSaneSource::StartScan(std::string* reason) {
    if (m_job) {
        if (reason) *reason = "a scan is running";
        return false;
    }
    if (m_state < kEnabled) {
        if (reason) *reason = "the source is not enabled";
        return false;
    }
    CSaneScanJob::Plan plan;
    plan.feeder = m_options->FeederSelected();
    plan.maxPages = m_transferCount;
    plan.dpiX = m_options->Resolution().value_or(0);
    plan.dpiY = m_options->YResolution().value_or(plan.dpiX);
    // The worker's news reach this source on its own thread, and never once it is gone (an
    // abandoned worker may outlive it).
    QPointer<CSaneSource> self(this);
    m_job = std::make_unique<CSaneScanJob>(m_lib, m_handle, plan, [self] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self] {
                if (self) self->OnJobNews();
            },
            Qt::QueuedConnection);
    });
    m_job->Start();
    if (m_ui) m_ui->ScanStarted();
    return true;
}

void CSaneSource::CancelScan() {
    if (!m_job || m_job->IsCancelled()) return;
    m_job->Cancel();
    // A backend that does not come back from its read or its cancel would keep the source
    // open for good: after a while the user may give the device up.
    const CSaneScanJob* job = m_job.get();
    QTimer::singleShot(kStopWait, this, [this, job] {
        if (m_job.get() != job) return;
        m_jobHung = true;
        UpdateEvents();
        if (m_ui) m_ui->ScanHung();
    });
}

void CSaneSource::Shut() {
    m_ui.reset();
    StopScan();
}

void CSaneSource::StopScan() {
    if (!m_job) return;
    if (m_job->Finish(kStopWait)) {
        m_job.reset();
        return;
    }
    CSaneScanJob::Abandon(std::move(m_job));
    m_stuck = true;
}

void CSaneSource::RequestClose() {
    m_closeRequested = true;
    UpdateEvents();
}

void CSaneSource::CollectPages() {
    if (!m_job) return;
    for (ScannedPage& page : m_job->TakePages()) m_pages.push_back(std::move(page));
}

void CSaneSource::OnJobNews() {
    if (!m_job) return;
    m_job->Acknowledge();
    CollectPages();
    const ScanProgress progress = m_job->Progress();
    const std::optional<ScanOutcome> outcome = m_job->Outcome();
    if (outcome) {
        m_job->Join();
        CollectPages();
        m_job.reset();
        m_jobHung = false;
    }
    // The pages go first: a message about the outcome may wait for the user.
    UpdateEvents();
    if (!m_ui) return;
    if (outcome)
        m_ui->ScanFinished(*outcome);
    else
        m_ui->ScanProgressed(progress);
}

// ---- Events ----

bool CSaneSource::CloseIsDue() const {
    return m_closeRequested && m_state == kEnabled && (!m_job || m_jobHung) && m_pages.empty();
}

void CSaneSource::UpdateEvents() {
    if (m_state == kEnabled && !m_pages.empty() && !m_transferPosted) {
        m_transferPosted = true;
        Post(MSG_XFERREADY);
    }
    if (CloseIsDue() && !m_closePosted) {
        m_closePosted = true;
        Post(MSG_CLOSEDSREQ);
    }
}

void CSaneSource::Post(TW_UINT16 msg) {
    if (m_parent) QCoreApplication::postEvent(m_parent, new CTwSourceEvent(m_serial, msg));
}
