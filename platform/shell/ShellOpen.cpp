#include "platform/shell/ShellOpen.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

int ResultOfErrno(int nError) {
    switch (nError) {
    case ENOENT:
    case ENOTDIR:
        return SE_ERR_FNF;
    case EACCES:
    case EPERM:
        return SE_ERR_ACCESSDENIED;
    case ENOMEM:
        return SE_ERR_OOM;
    case ENOEXEC:
        return SE_ERR_BADFORMAT;
    default:
        return 0;
    }
}

// Starts argv; the exit status when bWait, else 0 once it started. -errno when it
// could not start.
int Spawn(const std::vector<std::string>& args, bool bWait) {
    if (args.empty())
        return -ENOENT;
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (bWait) {
        pid_t pid = 0;
        const int nError = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
        if (nError != 0)
            return -nError;
        int nStatus = 0;
        while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 4;
    }
    // A middle child starts the program and reports whether it could; the program is
    // then nobody's child to wait for.
    const pid_t middle = fork();
    if (middle < 0)
        return -ENOMEM;
    if (middle == 0) {
        pid_t pid = 0;
        const int nError = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
        _exit(nError > 0 && nError < 256 ? nError : 0);
    }
    int nStatus = 0;
    while (waitpid(middle, &nStatus, 0) < 0 && errno == EINTR) {
    }
    const int nError = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : ECHILD;
    return nError == 0 ? 0 : -nError;
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& strCommandLine) {
    std::vector<std::string> words;
    std::string word;
    bool bQuoted = false;
    bool bInWord = false;
    for (const char c : strCommandLine) {
        if (c == '"') {
            bQuoted = !bQuoted;
            bInWord = true;
        } else if ((c == ' ' || c == '\t') && !bQuoted) {
            if (bInWord)
                words.push_back(word);
            word.clear();
            bInWord = false;
        } else {
            word += c;
            bInWord = true;
        }
    }
    if (bInWord)
        words.push_back(word);
    return words;
}

int ShellOpen(const std::string& strTarget) {
    if (strTarget.empty())
        return SE_ERR_FNF;
    const int nStatus = Spawn({"xdg-open", strTarget}, true);
    if (nStatus < 0)
        return nStatus == -ENOENT ? SE_ERR_NOASSOC : ResultOfErrno(-nStatus);
    switch (nStatus) {
    case 0:
        return kShellSuccess;
    case 2:
        return SE_ERR_FNF;
    case 3:
        return SE_ERR_NOASSOC;
    case 4:
        return SE_ERR_ASSOCINCOMPLETE;
    default:
        return SE_ERR_BADFORMAT;
    }
}

int RunCommandLine(const std::string& strCommandLine) {
    const int nStatus = Spawn(SplitCommandLine(strCommandLine), false);
    return nStatus == 0 ? 33 : ResultOfErrno(-nStatus);
}
