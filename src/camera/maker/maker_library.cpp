#include "camera/maker/maker_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return ".";
    std::string exe(path, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

CMakerLibrary::~CMakerLibrary() { Unload(); }

bool CMakerLibrary::Load(const std::string& folder) {
    Unload();
    const std::string path = (folder.empty() ? ProgramFolder() : folder) + "/" + kFileName;
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = dlerror();
        m_loadError = why ? why : path + ": cannot be loaded";
        return false;
    }
    m_loadError.clear();
#define NS_MAKER_LOOKUP(name) \
    m_calls.name = reinterpret_cast<decltype(m_calls.name)>(dlsym(m_handle, #name));
    NS_MAKER_CALLS(NS_MAKER_LOOKUP)
#undef NS_MAKER_LOOKUP
    return true;
}

void CMakerLibrary::Unload() {
    m_calls = MakerCalls{};
    if (m_handle) dlclose(m_handle);
    m_handle = nullptr;
}
