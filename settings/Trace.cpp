#include "settings/Trace.h"

#include "platform/shell/Shell.h"
#include "settings/RegistryValues.h"

#include <cstdarg>
#include <cstdio>
#include <string>

void WriteTrace(const char* pszFormat, ...) {
    if (ReadRegDword(kProductKey, "writetrace", 0) == 0)
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
