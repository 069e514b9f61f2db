// regsvr: registers or unregisters an in-process server module by calling its
// DllRegisterServer or DllUnregisterServer.
//
//   regsvr [-u] [-s] <module>
//
// Exit status: 0 done, 1 bad arguments, 3 the module cannot be loaded, 4 it lacks the entry
// point, 5 the entry point reported a failure.
#include "platform/com/ComError.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/InprocServer.h"
#include "platform/locale/CodePage.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitLoad = 3;
constexpr int kExitEntry = 4;
constexpr int kExitCall = 5;

void PrintUsage(std::FILE* stream) {
    std::fputs("Usage: regsvr [-u] [-s] <module>\n"
               "Registers an in-process server module (calls its DllRegisterServer).\n"
               "  -u  unregister instead (calls DllUnregisterServer)\n"
               "  -s  silent: print nothing when it succeeds\n",
               stream);
}

} // namespace

int main(int argc, char** argv) {
    bool bUnregister = false;
    bool bSilent = false;
    bool bOptions = true; // until "--"
    const char* pszModule = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* pszArg = argv[i];
        if (!bOptions || pszArg[0] != '-') {
            if (pszModule) {
                std::fputs("regsvr: give one module\n", stderr);
                PrintUsage(stderr);
                return kExitUsage;
            }
            pszModule = pszArg;
        } else if (std::strcmp(pszArg, "--") == 0) {
            bOptions = false;
        } else if (std::strcmp(pszArg, "-h") == 0 || std::strcmp(pszArg, "--help") == 0) {
            PrintUsage(stdout);
            return kExitOk;
        } else if (std::strcmp(pszArg, "-u") == 0) {
            bUnregister = true;
        } else if (std::strcmp(pszArg, "-s") == 0) {
            bSilent = true;
        } else {
            std::fprintf(stderr, "regsvr: unknown option %s\n", pszArg);
            PrintUsage(stderr);
            return kExitUsage;
        }
    }
    if (!pszModule || !*pszModule) {
        std::fputs("regsvr: no module given\n", stderr);
        PrintUsage(stderr);
        return kExitUsage;
    }

    // The module finds its own file by the name it was loaded under: give it the full one.
    char resolved[PATH_MAX];
    if (!realpath(pszModule, resolved)) {
        std::fprintf(stderr, "regsvr: cannot load the module \"%s\": %s\n", pszModule,
                     std::strerror(errno));
        return kExitLoad;
    }
    CServerLibrary library;
    std::string strError;
    if (!library.Open(resolved, strError)) {
        std::fprintf(stderr, "regsvr: cannot load the module \"%s\": %s\n", pszModule,
                     strError.c_str());
        return kExitLoad;
    }
    const char* pszEntry = bUnregister ? kDllUnregisterServer : kDllRegisterServer;
    const auto pfnEntry = library.Entry<FDllRegisterServer>(pszEntry);
    if (!pfnEntry) {
        std::fprintf(stderr,
                     "regsvr: the module \"%s\" was loaded, but the entry point %s was not "
                     "found\n",
                     resolved, pszEntry);
        return kExitEntry;
    }
    ClearErrorInfo();
    const HRESULT hr = pfnEntry();
    if (FAILED(hr)) {
        std::fprintf(stderr, "regsvr: %s in %s failed with 0x%08X: %s\n", pszEntry, resolved,
                     static_cast<unsigned>(hr), CComError::ErrorMessageFor(hr).c_str());
        if (const std::optional<CErrorInfo> info = TakeErrorInfo();
            info && !info->m_strDescription.empty())
            std::fprintf(stderr, "regsvr: %s\n",
                         Utf16ToCodePage(info->m_strDescription, CP_UTF8).c_str());
        return kExitCall;
    }
    if (!bSilent)
        std::printf("%s in %s succeeded.\n", pszEntry, resolved);
    return kExitOk;
}
