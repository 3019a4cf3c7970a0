#pragma once
// CTwain: one connection to the source manager and one source. It drives the protocol states
// (manager open, source open, source enabled), sends every triplet through the manager's entry
// point, fetches the status after a failure, runs the transfer loop when the source has
// pictures ready and hands every picture to ReceiveImage. The main frame derives from it and
// opens each picture as a new still document; the command-line tool saves them.
//
// The library is the program's SANE source manager unless another loader is given.
//
// Threads: user-interface thread only. The transfers run inside FilterMessage, which the
// owner's message pre-filter calls for every message while the source is enabled.

#include "camera/acquisition/sane_source_manager.h"
#include "camera/acquisition/twain_protocol.h"

class QObject;

class CTwain {
public:
    explicit CTwain(const TwainLibraryLoader& loader = SaneSourceManagerLibrary());
    // When still loaded: StopTwain, then the library is unloaded.
    virtual ~CTwain();
    CTwain(const CTwain&) = delete;
    CTwain& operator=(const CTwain&) = delete;

    // ---- Overridable steps, in slot order ----
    virtual void FillAppIdentity();
    // Lets the user pick a source; answers whether a source identity is known. While a source
    // is open the manager offers no selection and the held identity (the open source's) stays.
    virtual bool ChooseSource();
    // Copies the identity (when given) into the source identity and opens that source.
    virtual bool OpenDataSource(const TW_IDENTITY* identity = nullptr);
    // 0 transfer this picture, 1 skip it, 2 drop every pending picture.
    virtual int DecideTransfer(const TW_IMAGEINFO& info);
    // True when the source was enabled and is disabled now.
    virtual bool DisableDataSource();
    // Asked when the source wants to be closed.
    virtual bool ConfirmSourceClose();
    // One transferred picture: a packed device-independent bitmap, freed right after the call.
    virtual void ReceiveImage(TW_HANDLE bitmap, const TW_IMAGEINFO& info);

    // ---- The connection ----
    // Loads the manager and opens it with parent as its window (events of the source are
    // posted to it). False when the library, its entry point or the window is missing.
    bool StartTwain(QObject* parent);
    // Closes the source (when open), then the manager.
    void StopTwain();
    // StopTwain, then unloads the library (the program's closing).
    void ReleaseTwain();
    void CloseDataSource();
    bool QueryDefaultSource();
    bool RequestTransferCount(int count);
    bool EnableDataSource();
    // The Acquire command: opens the source when needed, asks for count transfers (-1 all) and
    // enables the source with its user interface. False at the first step that fails.
    bool Acquire(int count);

    // ---- While the source is enabled ----
    // True when the source consumed the message (a transfer or close request may have run).
    bool FilterMessage(const TwWindowMessage& message);
    void RunTransfers();
    bool TransferNativeImage(const TW_IMAGEINFO& info);
    bool FinishTransfer();
    void DropPendingTransfers();

    // ---- State ----
    bool IsTwainLoaded() const { return m_hLibrary != nullptr && m_pEntry != nullptr; }
    bool IsSourceIdentityKnown() const { return m_bSourceSelected; }
    bool IsManagerOpen() const { return m_bManagerOpen; }
    bool IsSourceOpen() const { return m_bSourceOpen; }
    bool IsSourceEnabled() const { return m_bSourceEnabled; }
    const TW_IDENTITY& AppIdentity() const { return m_appId; }
    const TW_IDENTITY& SourceIdentity() const { return m_sourceId; }
    const TW_STATUS& LastStatus() const { return m_status; }
    TW_UINT16 LastReturnCode() const { return m_returnCode; }

private:
    // A triplet to the manager (dest null) or to the source; the status is fetched after a
    // failure unless it is the event filter's.
    TW_UINT16 Call(TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                   bool eventFilter = false);
    TW_UINT16 CallManager(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 CallSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    // CAP_XFERCOUNT as a one-value container of the given item type.
    TW_UINT16 SetTransferCount(TW_UINT16 itemType, TW_UINT32 item);

    const TwainLibraryLoader& m_loader;
    void* m_hLibrary = nullptr;
    DSMENTRYPROC m_pEntry = nullptr;
    TW_IDENTITY m_appId{};
    TW_IDENTITY m_sourceId{};
    TW_STATUS m_status{};
    TW_UINT16 m_returnCode = TWRC_SUCCESS;
    QObject* m_parent = nullptr;
    bool m_bSourceSelected = false;
    bool m_bManagerOpen = false;
    bool m_bSourceOpen = false;
    bool m_bSourceEnabled = false;
};
