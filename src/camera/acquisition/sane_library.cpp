#include "camera/acquisition/sane_library.h"

#include <dlfcn.h>

namespace {

template <class F>
bool Resolve(void* module, const char* name, F& to) {
    to = reinterpret_cast<F>(dlsym(module, name));
    return to != nullptr;
}

}  // namespace

std::unique_ptr<CSaneLibrary> CSaneLibrary::Load(std::string* reason) {
    // RTLD_NODELETE: backends may leave threads or atexit handlers behind that still point
    // into the library after it is closed.
    void* module = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!module) {
        if (reason) {
            const char* err = dlerror();
            *reason = err ? err : std::string(kLibraryName) + " cannot be loaded";
        }
        return nullptr;
    }
    std::unique_ptr<CSaneLibrary> lib(new CSaneLibrary);
    lib->m_module = module;
    const bool all =
        Resolve(module, "sane_init", lib->init) && Resolve(module, "sane_exit", lib->exit) &&
        Resolve(module, "sane_get_devices", lib->get_devices) &&
        Resolve(module, "sane_open", lib->open) && Resolve(module, "sane_close", lib->close) &&
        Resolve(module, "sane_get_option_descriptor", lib->get_option_descriptor) &&
        Resolve(module, "sane_control_option", lib->control_option) &&
        Resolve(module, "sane_get_parameters", lib->get_parameters) &&
        Resolve(module, "sane_start", lib->start) && Resolve(module, "sane_read", lib->read) &&
        Resolve(module, "sane_cancel", lib->cancel) &&
        Resolve(module, "sane_strstatus", lib->strstatus);
    if (!all) {
        if (reason) *reason = std::string(kLibraryName) + " lacks a SANE entry point";
        return nullptr;
    }
    return lib;
}

CSaneLibrary::~CSaneLibrary() {
    if (m_module) dlclose(m_module);
}

std::string CSaneLibrary::StatusText(SANE_Status status) const {
    const char* text = strstatus ? strstatus(status) : nullptr;
    return text && *text ? text : "SANE status " + std::to_string(static_cast<int>(status));
}
