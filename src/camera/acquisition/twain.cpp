#include "camera/acquisition/twain.h"

#include <cstring>

CTwain::CTwain(const TwainLibraryLoader& loader) : m_loader(loader) {}

CTwain::~CTwain() {
    if (m_hLibrary) ReleaseTwain();
}

// ---- Triplets ----

TW_UINT16 CTwain::Call(TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                       TW_MEMREF data, bool eventFilter) {
    if (!m_pEntry) {
        if (!eventFilter) m_returnCode = TWRC_FAILURE;
        return TWRC_FAILURE;
    }
    const TW_UINT16 rc = m_pEntry(&m_appId, dest, dg, dat, msg, data);
    if (eventFilter) return rc;
    m_returnCode = rc;
    if (rc == TWRC_FAILURE) m_pEntry(&m_appId, dest, DG_CONTROL, DAT_STATUS, MSG_GET, &m_status);
    return rc;
}

TW_UINT16 CTwain::CallManager(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return Call(nullptr, DG_CONTROL, dat, msg, data);
}

TW_UINT16 CTwain::CallSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return Call(&m_sourceId, dg, dat, msg, data);
}

// ---- Overridable steps ----

void CTwain::FillAppIdentity() {
    std::memset(&m_appId, 0, sizeof(m_appId));
    m_appId.Id = 0;
    m_appId.Version.MajorNum = 3;
    m_appId.Version.MinorNum = 5;
    m_appId.Version.Language = 13;
    m_appId.Version.Country = 1;
    TwCopyString(m_appId.Version.Info, "3.5");
    m_appId.ProtocolMajor = 1;
    m_appId.ProtocolMinor = 8;
    m_appId.SupportedGroups = DG_CONTROL_AND_IMAGE;
    TwCopyString(m_appId.Manufacturer, "Norvane");
    TwCopyString(m_appId.ProductFamily, "Generic");
    TwCopyString(m_appId.ProductName, "Norvane Twain");
}

bool CTwain::ChooseSource() {
    // The manager offers its selection only while no source is open; the identity names it.
    if (m_bSourceOpen) return m_bSourceSelected;
    std::memset(&m_sourceId, 0, sizeof(m_sourceId));
    if (!m_bSourceSelected) QueryDefaultSource();
    if (CallManager(DAT_IDENTITY, MSG_USERSELECT, &m_sourceId) == TWRC_SUCCESS)
        m_bSourceSelected = true;
    return m_bSourceSelected;
}

bool CTwain::OpenDataSource(const TW_IDENTITY* identity) {
    if (identity) {
        m_sourceId = *identity;
        m_bSourceSelected = true;
    }
    if (!IsTwainLoaded() || !m_bManagerOpen) return false;
    if (!m_bSourceSelected) QueryDefaultSource();
    m_bSourceOpen = CallManager(DAT_IDENTITY, MSG_OPENDS, &m_sourceId) == TWRC_SUCCESS;
    return IsTwainLoaded() && m_bManagerOpen && m_bSourceOpen;
}

int CTwain::DecideTransfer(const TW_IMAGEINFO&) {
    return 0;
}

bool CTwain::DisableDataSource() {
    if (!m_bSourceEnabled) return false;
    TW_USERINTERFACE ui{};
    ui.hParent = m_parent;
    if (CallSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui) != TWRC_SUCCESS) return false;
    m_bSourceEnabled = false;
    return true;
}

bool CTwain::ConfirmSourceClose() {
    return true;
}

void CTwain::ReceiveImage(TW_HANDLE, const TW_IMAGEINFO&) {}

// ---- The connection ----

bool CTwain::StartTwain(QObject* parent) {
    if (m_hLibrary && m_pEntry) return true;
    std::memset(&m_appId, 0, sizeof(m_appId));
    if (!parent) return false;
    m_parent = parent;
    m_hLibrary = m_loader.load();
    m_pEntry = m_hLibrary ? m_loader.entry(m_hLibrary) : nullptr;
    if (m_hLibrary && !m_pEntry) {
        m_loader.unload(m_hLibrary);
        m_hLibrary = nullptr;
    }
    if (!m_hLibrary || !m_pEntry) return false;
    FillAppIdentity();
    m_bManagerOpen = CallManager(DAT_PARENT, MSG_OPENDSM, &m_parent) == TWRC_SUCCESS;
    return m_bManagerOpen;
}

void CTwain::StopTwain() {
    if (!IsTwainLoaded() || !m_bManagerOpen) return;
    CloseDataSource();
    CallManager(DAT_PARENT, MSG_CLOSEDSM, &m_parent);
    m_bManagerOpen = false;
}

void CTwain::ReleaseTwain() {
    StopTwain();
    if (m_hLibrary) m_loader.unload(m_hLibrary);
    m_hLibrary = nullptr;
    m_pEntry = nullptr;
}

void CTwain::CloseDataSource() {
    if (!IsTwainLoaded() || !m_bManagerOpen || !m_bSourceOpen) return;
    DisableDataSource();
    CallManager(DAT_IDENTITY, MSG_CLOSEDS, &m_sourceId);
    m_bSourceOpen = false;
}

bool CTwain::QueryDefaultSource() {
    m_bSourceSelected = CallManager(DAT_IDENTITY, MSG_GETDEFAULT, &m_sourceId) == TWRC_SUCCESS;
    return m_bSourceSelected;
}

TW_UINT16 CTwain::SetTransferCount(TW_UINT16 itemType, TW_UINT32 item) {
    TW_CAPABILITY cap{};
    cap.Cap = CAP_XFERCOUNT;
    cap.ConType = TWON_ONEVALUE;
    cap.hContainer = TwGlobalAlloc(kGmemMoveable | kGmemZeroInit, sizeof(TW_ONEVALUE));
    if (!cap.hContainer) return TWRC_FAILURE;
    auto* one = static_cast<TW_ONEVALUE*>(TwGlobalLock(cap.hContainer));
    one->ItemType = itemType;
    one->Item = item;
    TwGlobalUnlock(cap.hContainer);
    const TW_UINT16 rc = CallSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
    TwGlobalFree(cap.hContainer);
    return rc;
}

bool CTwain::RequestTransferCount(int count) {
    // The low 16 bits, zero-extended: -1 travels as 65535.
    TW_UINT16 rc = SetTransferCount(TWTY_INT16, static_cast<TW_UINT16>(count));
    if (rc == TWRC_CHECKSTATUS) {
        // The source changed the value: take its current one and set that.
        TW_CAPABILITY cap{};
        cap.Cap = CAP_XFERCOUNT;
        cap.ConType = TWON_DONTCARE16;
        if (CallSource(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap) != TWRC_SUCCESS) return false;
        TW_UINT32 value = 0;
        if (cap.hContainer) {
            if (TwGlobalSize(cap.hContainer) >= sizeof(TW_ONEVALUE))
                value = static_cast<const TW_ONEVALUE*>(TwGlobalLock(cap.hContainer))->Item;
            TwGlobalFree(cap.hContainer);
        }
        rc = SetTransferCount(TWTY_UINT16, value);
    }
    return rc == TWRC_SUCCESS;
}

bool CTwain::EnableDataSource() {
    TW_USERINTERFACE ui{};
    ui.ShowUI = 1;
    ui.ModalUI = 0;
    ui.hParent = m_parent;
    m_bSourceEnabled = CallSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) == TWRC_SUCCESS;
    return m_bSourceEnabled;
}

bool CTwain::Acquire(int count) {
    if (!(IsTwainLoaded() && m_bManagerOpen && m_bSourceOpen)) {
        OpenDataSource(nullptr);
        if (!m_bSourceOpen) return false;
    }
    if (!RequestTransferCount(count)) return false;
    if (!m_bSourceEnabled) EnableDataSource();
    return m_bSourceEnabled;
}

// ---- While the source is enabled ----

bool CTwain::FilterMessage(const TwWindowMessage& message) {
    if (!m_bSourceEnabled) return false;
    TwWindowMessage copy = message;
    TW_EVENT event{};
    event.pEvent = &copy;
    event.TWMessage = MSG_NULL;
    const TW_UINT16 rc = Call(&m_sourceId, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event, true);
    switch (event.TWMessage) {
        case MSG_XFERREADY:
            RunTransfers();
            break;
        case MSG_CLOSEDSREQ:
            if (ConfirmSourceClose()) CloseDataSource();
            break;
        default:
            break;
    }
    return rc == TWRC_DSEVENT;
}

void CTwain::RunTransfers() {
    bool goOn = true;
    while (goOn && m_bSourceEnabled) {
        TW_IMAGEINFO info{};
        if (CallSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS) {
            // Asking again would fail again: the pending pictures are given up.
            DropPendingTransfers();
            break;
        }
        switch (DecideTransfer(info)) {
            case 0:
                goOn = TransferNativeImage(info);
                break;
            case 1:
                goOn = FinishTransfer();
                break;
            default:
                DropPendingTransfers();
                goOn = false;
                break;
        }
    }
}

bool CTwain::TransferNativeImage(const TW_IMAGEINFO& info) {
    TW_HANDLE bitmap = nullptr;
    const TW_UINT16 rc = CallSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &bitmap);
    if (rc == TWRC_FAILURE) {
        DropPendingTransfers();
        return false;
    }
    if (rc == TWRC_XFERDONE) {
        ReceiveImage(bitmap, info);
        TwGlobalFree(bitmap);
    }
    return FinishTransfer();
}

bool CTwain::FinishTransfer() {
    TW_PENDINGXFERS pending{};
    return CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) == TWRC_SUCCESS &&
           pending.Count != 0;
}

void CTwain::DropPendingTransfers() {
    TW_PENDINGXFERS pending{};
    CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}
