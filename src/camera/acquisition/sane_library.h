#pragma once
// CSaneLibrary: the SANE library (libsane.so.1) loaded at run time, as the source manager's
// library. Without it the acquisition commands do nothing; with it every SANE call goes
// through this table. SANE reads its configuration (SANE_CONFIG_DIR, else /etc/sane.d) in
// Init.

#include <sane/sane.h>

#include <memory>
#include <string>

class CSaneLibrary {
public:
    static constexpr const char* kLibraryName = "libsane.so.1";

    // The library with every entry point it needs, or null (reason set) when it is missing.
    static std::unique_ptr<CSaneLibrary> Load(std::string* reason = nullptr);
    ~CSaneLibrary();
    CSaneLibrary(const CSaneLibrary&) = delete;
    CSaneLibrary& operator=(const CSaneLibrary&) = delete;

    // SANE's own text for a status ("Device busy"), also for codes it does not know.
    std::string StatusText(SANE_Status status) const;

    SANE_Status (*init)(SANE_Int* version, SANE_Auth_Callback authorize) = nullptr;
    void (*exit)() = nullptr;
    SANE_Status (*get_devices)(const SANE_Device*** list, SANE_Bool local_only) = nullptr;
    SANE_Status (*open)(SANE_String_Const name, SANE_Handle* h) = nullptr;
    void (*close)(SANE_Handle h) = nullptr;
    const SANE_Option_Descriptor* (*get_option_descriptor)(SANE_Handle h, SANE_Int n) = nullptr;
    SANE_Status (*control_option)(SANE_Handle h, SANE_Int n, SANE_Action a, void* v,
                                  SANE_Int* info) = nullptr;
    SANE_Status (*get_parameters)(SANE_Handle h, SANE_Parameters* p) = nullptr;
    SANE_Status (*start)(SANE_Handle h) = nullptr;
    SANE_Status (*read)(SANE_Handle h, SANE_Byte* buf, SANE_Int maxlen, SANE_Int* len) = nullptr;
    void (*cancel)(SANE_Handle h) = nullptr;
    SANE_String_Const (*strstatus)(SANE_Status status) = nullptr;

private:
    CSaneLibrary() = default;
    void* m_module = nullptr;
};
