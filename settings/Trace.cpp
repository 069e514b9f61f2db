#include "settings/Trace.h"

#include "platform/registry/Registry.h"
#include "platform/shell/Shell.h"
#include "settings/RegistryValues.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The trace file is renamed aside at this size, so at most twice this is kept.
constexpr off_t kMaxTraceBytes = 4 * 1024 * 1024;

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

// Opens the trace file for appending, private to the user (it holds appointment texts). A
// file that has reached the cap becomes varno.txt.1, replacing the one before.
std::FILE* OpenTraceFile(const std::string& strPath) {
    struct stat st {};
    if (::stat(strPath.c_str(), &st) == 0 && st.st_size >= kMaxTraceBytes)
        (void)::rename(strPath.c_str(), (strPath + ".1").c_str());
    const int fd =
        ::open(strPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return nullptr;
    std::FILE* pFile = ::fdopen(fd, "a");
    if (!pFile)
        ::close(fd);
    return pFile;
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
    std::FILE* pFile = OpenTraceFile(path);
    if (!pFile)
        return;
    va_list args;
    va_start(args, pszFormat);
    std::vfprintf(pFile, pszFormat, args);
    va_end(args);
    std::fputc('\n', pFile);
    std::fclose(pFile);
}
