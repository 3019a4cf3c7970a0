#include "camera/acquisition/sane_source_manager.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>
#include <cstring>

#include "camera/acquisition/sane_library.h"
#include "camera/acquisition/sane_source.h"
#include "camera/acquisition/source_settings.h"
#include "settings/language_table.h"

namespace {

CSaneSourceManager* g_manager = nullptr;
int g_loads = 0;
// Devices given up after a scan that would not stop: opening them again could hang as well.
std::vector<std::string> g_stuckDevices;

TW_UINT16 DsmEntry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat,
                   TW_UINT16 msg, TW_MEMREF data) {
    return g_manager ? g_manager->Entry(origin, dest, dg, dat, msg, data) : TWRC_FAILURE;
}

bool IsEmpty(const TW_IDENTITY& identity) {
    return identity.Id == 0 && identity.ProductName[0] == '\0';
}

std::string NameOf(const TW_IDENTITY& identity) {
    return std::string(identity.ProductName,
                       strnlen(identity.ProductName, sizeof(identity.ProductName)));
}

std::vector<SaneDeviceInfo> Copy(const SANE_Device** list) {
    std::vector<SaneDeviceInfo> devices;
    for (int i = 0; list && list[i] && i < 1024; ++i) {
        const SANE_Device* d = list[i];
        if (!d->name || !*d->name) continue;
        devices.push_back({d->name, d->vendor ? d->vendor : "", d->model ? d->model : "",
                           d->type ? d->type : ""});
    }
    return devices;
}

}  // namespace

struct SaneManagerLibrary {
    static void* Load() {
        if (g_manager) {
            ++g_loads;
            return g_manager;
        }
        std::unique_ptr<CSaneLibrary> lib = CSaneLibrary::Load();
        if (!lib) return nullptr;
        g_manager = new CSaneSourceManager(std::move(lib));
        g_loads = 1;
        return g_manager;
    }
    static DSMENTRYPROC Entry(void* library) {
        return library && library == g_manager ? &DsmEntry : nullptr;
    }
    static void Unload(void* library) {
        if (!library || library != g_manager) return;
        if (--g_loads > 0) return;
        delete g_manager;
        g_manager = nullptr;
    }
};

const TwainLibraryLoader& SaneSourceManagerLibrary() {
    static const TwainLibraryLoader loader{&SaneManagerLibrary::Load, &SaneManagerLibrary::Entry,
                                           &SaneManagerLibrary::Unload};
    return loader;
}

CSaneSourceManager* CSaneSourceManager::Instance() {
    return g_manager;
}

CSaneSourceManager::CSaneSourceManager(std::unique_ptr<CSaneLibrary> lib) : m_lib(std::move(lib)) {}

CSaneSourceManager::~CSaneSourceManager() {
    WaitForListing();
    DropSource();
    if (m_saneStuck) {
        (void)m_lib.release();  // left to the abandoned scan, with SANE initialised
        return;
    }
    if (m_saneInit) m_lib->exit();
}

void CSaneSourceManager::DropSource() {
    if (!m_source) return;
    m_source->Shut();
    if (m_source->IsStuck()) {
        m_saneStuck = true;
        g_stuckDevices.push_back(m_source->Device().name);
    }
    m_source.reset();
}

TW_UINT16 CSaneSourceManager::Fail(TW_UINT16 conditionCode) {
    m_conditionCode = conditionCode;
    return TWRC_FAILURE;
}

TW_UINT16 CSaneSourceManager::Entry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg,
                                    TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (!origin) return Fail(TWCC_BADPROTOCOL);
    if (dest) {
        // Source level: the open source it names.
        if (!m_open) return Fail(TWCC_SEQERROR);
        if (!m_source || dest->Id != m_source->Identity().Id) return Fail(TWCC_BADDEST);
        return m_source->Handle(dg, dat, msg, data);
    }
    if (dg != DG_CONTROL) return Fail(TWCC_BADPROTOCOL);
    if (dat == DAT_STATUS && msg == MSG_GET) {
        if (!data) return Fail(TWCC_BADVALUE);
        auto* status = static_cast<TW_STATUS*>(data);
        status->ConditionCode = m_conditionCode;
        status->Reserved = 0;
        m_conditionCode = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }
    if (dat == DAT_PARENT && msg == MSG_OPENDSM) return OpenManager(origin, data);
    if (!m_open) return Fail(TWCC_SEQERROR);
    if (dat == DAT_PARENT && msg == MSG_CLOSEDSM) return CloseManager();
    if (dat == DAT_IDENTITY && data) {
        auto* identity = static_cast<TW_IDENTITY*>(data);
        switch (msg) {
            case MSG_GETDEFAULT:
                return GetDefault(identity);
            case MSG_USERSELECT:
                return UserSelect(identity);
            case MSG_OPENDS:
                return OpenSourceFor(identity);
            case MSG_CLOSEDS:
                return CloseSourceFor(identity);
            default:
                break;
        }
    }
    return Fail(TWCC_BADPROTOCOL);
}

// ---- The manager ----

bool CSaneSourceManager::EnsureInit(std::string* reason) {
    if (m_saneInit) return true;
    SANE_Int version = 0;
    const SANE_Status status = m_lib->init(&version, nullptr);
    if (status != SANE_STATUS_GOOD) {
        if (reason) *reason = m_lib->StatusText(status);
        return false;
    }
    m_saneInit = true;
    return true;
}

TW_UINT16 CSaneSourceManager::OpenManager(TW_IDENTITY* origin, TW_MEMREF parent) {
    if (m_open) return Fail(TWCC_SEQERROR);
    if (!parent) return Fail(TWCC_BADVALUE);
    if (!EnsureInit(nullptr)) return Fail(TWCC_BUMMER);
    m_parent = *static_cast<QObject**>(parent);
    origin->Id = m_nextAppId++;
    m_app = *origin;
    m_open = true;
    return TWRC_SUCCESS;
}

TW_UINT16 CSaneSourceManager::CloseManager() {
    if (m_source) return Fail(TWCC_SEQERROR);
    WaitForListing();
    if (m_saneInit && !m_saneStuck) {
        m_lib->exit();
        m_saneInit = false;
    }
    m_open = false;
    m_parent = nullptr;
    return TWRC_SUCCESS;
}

// ---- Devices ----

void CSaneSourceManager::WaitForListing() {
    if (m_lister.joinable()) m_lister.join();
}

void CSaneSourceManager::Remember(const std::vector<SaneDeviceInfo>& devices) {
    for (const SaneDeviceInfo& d : devices) {
        bool found = false;
        for (SaneDeviceInfo& k : m_known) {
            if (k.name == d.name) {
                k = d;
                found = true;
                break;
            }
        }
        if (!found) m_known.push_back(d);
    }
}

std::vector<SaneDeviceInfo> CSaneSourceManager::ListDevices(std::string* reason) {
    WaitForListing();
    if (!EnsureInit(reason)) return {};
    const SANE_Device** list = nullptr;
    const SANE_Status status = m_lib->get_devices(&list, SANE_FALSE);
    if (status != SANE_STATUS_GOOD) {
        if (reason) *reason = m_lib->StatusText(status);
        return {};
    }
    std::vector<SaneDeviceInfo> devices = Copy(list);
    Remember(devices);
    return devices;
}

void CSaneSourceManager::ListDevicesLater(
    QObject* context, std::function<void(std::vector<SaneDeviceInfo>, std::string)> done) {
    WaitForListing();
    std::string reason;
    if (!EnsureInit(&reason)) {
        done({}, reason);
        return;
    }
    QPointer<QObject> guard(context);
    const CSaneLibrary* lib = m_lib.get();
    m_lister = std::thread([lib, guard, done = std::move(done)]() mutable {
        const SANE_Device** list = nullptr;
        const SANE_Status status = lib->get_devices(&list, SANE_FALSE);
        std::vector<SaneDeviceInfo> devices =
            status == SANE_STATUS_GOOD ? Copy(list) : std::vector<SaneDeviceInfo>{};
        std::string why = status == SANE_STATUS_GOOD ? std::string() : lib->StatusText(status);
        // Back on the user-interface thread, where the guard may be read.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, done = std::move(done), devices = std::move(devices), why = std::move(why)] {
                if (CSaneSourceManager* manager = Instance()) {
                    manager->WaitForListing();
                    manager->Remember(devices);
                }
                if (guard) done(devices, why);
            },
            Qt::QueuedConnection);
    });
}

std::optional<SaneDeviceInfo> CSaneSourceManager::DeviceFor(const TW_IDENTITY& identity) const {
    if (identity.Id >= 1 && identity.Id <= m_known.size()) return m_known[identity.Id - 1];
    const std::string name = NameOf(identity);
    if (name.empty()) return std::nullopt;
    for (const SaneDeviceInfo& d : m_known)
        if (d.name == name) return d;
    // A name cut at the identity's 33 bytes.
    if (name.size() == sizeof(identity.ProductName) - 1)
        for (const SaneDeviceInfo& d : m_known)
            if (d.name.compare(0, name.size(), name) == 0) return d;
    if (std::optional<SaneDeviceInfo> stored = StoredDefaultSource();
        stored && stored->name == name)
        return stored;
    // Not listed (yet): the name is what sane_open takes.
    SaneDeviceInfo d;
    d.name = name;
    return d;
}

// Manufacturer, product family and product name carry vendor, model and device name; the
// version text carries the device type.
void CSaneSourceManager::FillIdentity(const SaneDeviceInfo& device, TW_IDENTITY* identity) {
    // A device opened by name before any listing keeps what was known of it.
    bool listed = false;
    for (const SaneDeviceInfo& k : m_known) listed = listed || k.name == device.name;
    if (!listed || !device.vendor.empty() || !device.model.empty()) Remember({device});
    TW_UINT32 id = 0;
    for (size_t i = 0; i < m_known.size(); ++i)
        if (m_known[i].name == device.name) id = static_cast<TW_UINT32>(i + 1);
    const SaneDeviceInfo& known = m_known[id - 1];
    std::memset(identity, 0, sizeof(*identity));
    identity->Id = id;
    identity->Version.MajorNum = 1;
    identity->Version.MinorNum = 0;
    identity->Version.Language = 13;
    identity->Version.Country = 1;
    TwCopyString(identity->Version.Info, known.type.c_str());
    identity->ProtocolMajor = 1;
    identity->ProtocolMinor = 8;
    identity->SupportedGroups = DG_CONTROL_AND_IMAGE;
    TwCopyString(identity->Manufacturer, known.vendor.c_str());
    TwCopyString(identity->ProductFamily, known.model.c_str());
    TwCopyString(identity->ProductName, known.name.c_str());
}

TW_UINT16 CSaneSourceManager::GetDefault(TW_IDENTITY* identity) {
    if (std::optional<SaneDeviceInfo> stored = StoredDefaultSource()) {
        // What is known of it now beats what was stored.
        std::optional<SaneDeviceInfo> device = stored;
        for (const SaneDeviceInfo& d : m_known)
            if (d.name == stored->name) device = d;
        FillIdentity(*device, identity);
        return TWRC_SUCCESS;
    }
    // No source used yet: the first one attached.
    const std::vector<SaneDeviceInfo> devices = ListDevices(nullptr);
    if (devices.empty()) return Fail(TWCC_NODS);
    FillIdentity(devices.front(), identity);
    return TWRC_SUCCESS;
}

TW_UINT16 CSaneSourceManager::UserSelect(TW_IDENTITY* identity) {
    // The selection is offered only while no source is open.
    if (m_source) return Fail(TWCC_SEQERROR);
    ISourceManagerUi* ui = SourceManagerUi();
    if (!ui) return Fail(TWCC_BUMMER);
    std::string preselected;
    if (!IsEmpty(*identity)) {
        if (std::optional<SaneDeviceInfo> d = DeviceFor(*identity)) preselected = d->name;
    } else if (std::optional<SaneDeviceInfo> stored = StoredDefaultSource()) {
        preselected = stored->name;
    }
    const std::optional<std::string> chosen = ui->SelectSource(*this, preselected, m_parent);
    WaitForListing();
    if (!chosen) return TWRC_CANCEL;
    SaneDeviceInfo device;
    device.name = *chosen;
    for (const SaneDeviceInfo& d : m_known)
        if (d.name == *chosen) device = d;
    FillIdentity(device, identity);
    StoreDefaultSource(device);
    return TWRC_SUCCESS;
}

TW_UINT16 CSaneSourceManager::OpenSourceFor(TW_IDENTITY* identity) {
    if (m_source)
        return Fail(m_source->Identity().Id == identity->Id ? TWCC_SEQERROR : TWCC_MAXCONNECTIONS);
    WaitForListing();
    std::optional<SaneDeviceInfo> device;
    if (IsEmpty(*identity)) {
        TW_IDENTITY def{};
        if (GetDefault(&def) != TWRC_SUCCESS) return TWRC_FAILURE;
        device = DeviceFor(def);
    } else {
        device = DeviceFor(*identity);
    }
    if (!device) return Fail(TWCC_NODS);
    if (std::find(g_stuckDevices.begin(), g_stuckDevices.end(), device->name) !=
        g_stuckDevices.end()) {
        if (ISourceManagerUi* ui = SourceManagerUi())
            ui->ShowError(
                Translate(QStringLiteral(
                              "The source \"%1\" did not stop its last scan. Start the program "
                              "again to use it."))
                    .replace(QStringLiteral("%1"), QString::fromStdString(device->name)),
                m_parent);
        return Fail(TWCC_OPERATIONERROR);
    }
    TW_IDENTITY filled{};
    FillIdentity(*device, &filled);
    std::string reason;
    m_source = CSaneSource::Open(*m_lib, m_known[filled.Id - 1], filled, m_parent, &reason);
    if (!m_source) {
        if (ISourceManagerUi* ui = SourceManagerUi())
            ui->ShowError(Translate(QStringLiteral("The source \"%1\" could not be opened: %2."))
                              .replace(QStringLiteral("%1"), QString::fromStdString(device->name))
                              .replace(QStringLiteral("%2"), QString::fromStdString(reason)),
                          m_parent);
        return Fail(TWCC_OPERATIONERROR);
    }
    *identity = filled;
    StoreDefaultSource(m_known[filled.Id - 1]);
    return TWRC_SUCCESS;
}

TW_UINT16 CSaneSourceManager::CloseSourceFor(TW_IDENTITY* identity) {
    if (!m_source || m_source->Identity().Id != identity->Id) return Fail(TWCC_SEQERROR);
    if (m_source->State() != CSaneSource::kOpen) return Fail(TWCC_SEQERROR);
    DropSource();
    return TWRC_SUCCESS;
}
