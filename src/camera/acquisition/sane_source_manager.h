#pragma once
// The program's source manager: it answers the triplets CTwain sends, over SANE. Sources are
// SANE devices; the manager lists them, keeps the default source (the last one used), shows the
// selection dialog, opens and closes sources and passes every source-level triplet to the open
// source (CSaneSource).
//
// Like the platform's source manager it is one per process and is reached through one entry
// point: CTwain loads it with SaneSourceManagerLibrary(), which loads libsane; without libsane
// there is no entry point and acquisition stays off.
//
// Threads: user-interface thread (device lists may be gathered on a worker).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "camera/acquisition/source_ui.h"
#include "camera/acquisition/twain_protocol.h"

class CSaneLibrary;
class CSaneSource;

// How CTwain reaches a source manager library: load it (null when missing), take its entry
// point (null when absent) and unload it again.
struct TwainLibraryLoader {
    void* (*load)();
    DSMENTRYPROC (*entry)(void* library);
    void (*unload)(void* library);
};
// The SANE source manager as such a library.
const TwainLibraryLoader& SaneSourceManagerLibrary();

class CSaneSourceManager : public ISaneDeviceLister {
public:
    // The loaded manager, or null.
    static CSaneSourceManager* Instance();

    TW_UINT16 Entry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat,
                    TW_UINT16 msg, TW_MEMREF data);

    // ISaneDeviceLister (SANE is initialised for the call when the manager is not open).
    std::vector<SaneDeviceInfo> ListDevices(std::string* reason) override;
    void ListDevicesLater(
        QObject* context,
        std::function<void(std::vector<SaneDeviceInfo>, std::string)> done) override;

    // The open source (null when none), for the program's own checks.
    CSaneSource* OpenSource() const { return m_source.get(); }
    const CSaneLibrary& Library() const { return *m_lib; }

    ~CSaneSourceManager() override;

private:
    friend struct SaneManagerLibrary;
    explicit CSaneSourceManager(std::unique_ptr<CSaneLibrary> lib);

    TW_UINT16 Fail(TW_UINT16 conditionCode);
    TW_UINT16 OpenManager(TW_IDENTITY* origin, TW_MEMREF parent);
    TW_UINT16 CloseManager();
    TW_UINT16 GetDefault(TW_IDENTITY* identity);
    TW_UINT16 UserSelect(TW_IDENTITY* identity);
    TW_UINT16 OpenSourceFor(TW_IDENTITY* identity);
    TW_UINT16 CloseSourceFor(TW_IDENTITY* identity);

    // The device an identity names (by id, then by name), if it is known.
    std::optional<SaneDeviceInfo> DeviceFor(const TW_IDENTITY& identity) const;
    void FillIdentity(const SaneDeviceInfo& device, TW_IDENTITY* identity);
    void Remember(const std::vector<SaneDeviceInfo>& devices);
    void WaitForListing();
    bool EnsureInit(std::string* reason);
    // Closes the open source; one whose scan would not stop keeps SANE loaded for good.
    void DropSource();

    std::unique_ptr<CSaneLibrary> m_lib;
    bool m_saneInit = false;
    bool m_saneStuck = false;  // an abandoned scan may still use the library
    bool m_open = false;       // the manager is open for an application
    TW_IDENTITY m_app{};
    QObject* m_parent = nullptr;
    TW_UINT16 m_conditionCode = TWCC_SUCCESS;
    TW_UINT32 m_nextAppId = 1;
    std::vector<SaneDeviceInfo> m_known;  // every device seen, ids are index + 1
    std::unique_ptr<CSaneSource> m_source;
    std::thread m_lister;
};
