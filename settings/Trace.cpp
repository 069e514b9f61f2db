#include "settings/Trace.h"

#include "platform/registry/Registry.h"
#include "platform/shell/Shell.h"
#include "settings/RegistryValues.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// The switch, read again whenever the registry may have changed (at once for this
// process's changes, within 50 ms for another's): an export traces three lines per record.
bool IsTraceOn() {
    thread_local std::uint64_t t_nStamp = 0;
    thread_local bool t_bOn = false;
    const std::uint64_t nStamp = RegChangeStamp(ERegHive::CurrentUser);
    if (nStamp != t_nStamp) {
        t_bOn = ReadRegDword(kProductKey, "writetrace", 0) != 0;
        t_nStamp = nStamp;
    }
    return t_bOn;
}

} // namespace

void WriteTrace(const char* pszFormat, ...) {
    if (!IsTraceOn())
        return;
    std::string path = GetDocumentsFolder();
    if (path.empty())
        return;
    if (path.back() != '/')
        path += '/';
    path += "varno.txt";
    std::FILE* pFile = std::fopen(path.c_str(), "a");
    if (!pFile)
        return;
    va_list args;
    va_start(args, pszFormat);
    std::vfprintf(pFile, pszFormat, args);
    va_end(args);
    std::fputc('\n', pFile);
    std::fclose(pFile);
}
