#include "platform/shell/Shell.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs: a line such as XDG_DOCUMENTS_DIR="$HOME/Docs".
std::string XdgDocumentsFolder(const std::string& home) {
    std::string config = EnvValue("XDG_CONFIG_HOME");
    if (config.empty()) {
        if (home.empty())
            return {};
        config = home + "/.config";
    }
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line)) {
        if (line.rfind(kKey, 0) != 0)
            continue;
        std::string value = line.substr(kKey.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (value.empty() || value.front() != '/')
            return {};
        return value;
    }
    return {};
}

} // namespace

std::string GetDocumentsFolder() {
    const std::string varnoHome = EnvValue("VARNO_HOME");
    if (!varnoHome.empty()) {
        const fs::path folder = fs::path(varnoHome) / "Documents";
        std::error_code ec;
        fs::create_directories(folder, ec);
        return folder.string();
    }
    const std::string home = EnvValue("HOME");
    const std::string xdg = XdgDocumentsFolder(home);
    std::error_code ec;
    if (!xdg.empty() && fs::is_directory(xdg, ec))
        return xdg;
    return home;
}

std::string GetUserDataFolder(const std::string& name) {
    const std::string varnoHome = EnvValue("VARNO_HOME");
    if (!varnoHome.empty())
        return (fs::path(varnoHome) / name).string();
    std::string data = EnvValue("XDG_DATA_HOME");
    if (data.empty())
        data = EnvValue("HOME") + "/.local/share";
    return (fs::path(data) / "varno" / name).string();
}
