#include "platform/com/ModuleResources.h"

#include <dlfcn.h>

namespace {

// The loader's handle of the module at a base address, with a reference of its own
// (dlclose it); null when no module is loaded there. Never loads anything.
void* OpenLoaded(const void* hModule) {
    const std::string file = ModuleFileOf(hModule);
    if (file.empty())
        return nullptr;
    return dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
}

} // namespace

void* ModuleHandleOf(const void* pAddress) {
    Dl_info info{};
    if (!pAddress || !dladdr(pAddress, &info))
        return nullptr;
    return info.dli_fbase;
}

std::string ModuleFileOf(const void* hModule) {
    Dl_info info{};
    if (!hModule || !dladdr(hModule, &info) || info.dli_fbase != hModule || !info.dli_fname)
        return {};
    return info.dli_fname;
}

std::vector<unsigned char> LoadModuleImage(const void* hModule, unsigned nId, int nSize) {
    std::vector<unsigned char> result;
    void* pHandle = OpenLoaded(hModule);
    if (!pHandle)
        return result;
    if (const auto pfn =
            reinterpret_cast<FModuleImageResource>(dlsym(pHandle, kModuleImageResource))) {
        std::size_t cb = 0;
        if (const unsigned char* p = pfn(nId, nSize, &cb); p && cb > 0)
            result.assign(p, p + cb);
    }
    dlclose(pHandle);
    return result;
}

std::string ReadModuleVersionValue(const std::string& path, const char* pszName) {
    if (path.empty() || path.front() != '/')
        return {};
    void* pHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!pHandle)
        return {};
    std::string result;
    if (const auto pfn = reinterpret_cast<FModuleVersionValue>(dlsym(pHandle, kModuleVersionValue)))
        if (const char* psz = pfn(pszName))
            result = psz;
    dlclose(pHandle);
    return result;
}
