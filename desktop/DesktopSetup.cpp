#include "desktop/DesktopSetup.h"

#include "host/AddinInterfaces.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/InprocServer.h"
#include "platform/registry/Registry.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

namespace {

// Under HKEY_LOCAL_MACHINE, as the platform's other setup marker.
constexpr const char* kPlatformKey = "Software\\VARNO Platform";

std::string ProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    buffer[n] = '\0';
    return std::filesystem::path(buffer).parent_path().string();
}

// The file the manager's registration names; empty when it is not registered.
std::string RegisteredManagerPath() {
    CRegKey key;
    std::string strPath;
    if (key.Open(ERegHive::ClassesRoot,
                 ClassKeyPath(CLSID_HostAddinManager) + "\\InprocServer32") != REG_STATUS_OK ||
        key.QueryString("", strPath) != REG_STATUS_OK)
        return {};
    return strPath;
}

} // namespace

std::string FindAddinManagerModule() {
    const std::string folder = ProgramFolder();
    if (folder.empty())
        return {};
    std::error_code ec;
    for (const std::filesystem::path& candidate :
         {std::filesystem::path(folder) / kAddinManagerModuleName,
          std::filesystem::path(folder) / ".." / "lib" / "varno" / kAddinManagerModuleName})
        if (std::filesystem::is_regular_file(candidate, ec))
            return std::filesystem::weakly_canonical(candidate, ec).string();
    return {};
}

HRESULT RegisterAddinManager(const std::string& strModulePath) {
    CServerLibrary library;
    std::string strError;
    if (!library.Open(strModulePath, strError))
        return CO_E_DLLNOTFOUND;
    const auto pfnRegister = library.Entry<FDllRegisterServer>(kDllRegisterServer);
    return pfnRegister ? pfnRegister() : CO_E_ERRORINDLL;
}

void EnsureDesktopSetup() {
    CRegKey platform;
    std::uint32_t nDone = 0;
    if (platform.Open(ERegHive::LocalMachine, kPlatformKey) == REG_STATUS_OK &&
        platform.QueryDword(kDesktopSetupDoneValue, nDone) == REG_STATUS_OK && nDone != 0) {
        const std::string registered = RegisteredManagerPath();
        std::error_code ec;
        if (registered.empty() || std::filesystem::is_regular_file(registered, ec))
            return;
    }
    const std::string module = FindAddinManagerModule();
    if (module.empty() || FAILED(RegisterAddinManager(module)))
        return;
    if (platform.Create(ERegHive::LocalMachine, kPlatformKey) == REG_STATUS_OK)
        static_cast<void>(platform.SetDword(kDesktopSetupDoneValue, 1));
}
