#include "fuzz/FuzzSupport.h"

#include "tests/support/TestHome.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// The homes live until the process ends; their destructors remove the folders.
struct CFuzzHomes {
    std::unique_ptr<CTestHome> m_pAnsi;
    std::unique_ptr<CTestHome> m_pUtf8;
    // Files rewritten for every input, in memory where the system offers a tmpfs: a disk
    // file system flushes a truncated file when it is closed, which makes every input
    // wait for the disk.
    std::string m_strScratch;
    ~CFuzzHomes() {
        std::error_code ec;
        if (!m_strScratch.empty())
            std::filesystem::remove_all(m_strScratch, ec);
    }
};

CFuzzHomes& Homes() {
    static CFuzzHomes s_homes;
    return s_homes;
}

} // namespace

void PinFuzzEnvironment() {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    unsetenv("LC_TIME");
    setenv("LANG", "en_US.UTF-8", 1);
    SetTimeZone("Europe/Berlin");
    SetClock(2026, 12, 5, 12, 0, 0);
    CFuzzHomes& homes = Homes();
    homes.m_pUtf8 = std::make_unique<CTestHome>();
    SetCodePage(65001);
    SetRegional("de-DE");
    homes.m_pAnsi = std::make_unique<CTestHome>();
    SetCodePage(1252);
    SetRegional("de-DE");
    std::string pattern = "/dev/shm/varno-fuzz-XXXXXX";
    homes.m_strScratch = mkdtemp(pattern.data()) ? pattern : homes.m_pAnsi->Path() + "/scratch";
    std::filesystem::create_directories(homes.m_strScratch);
}

void UseCodePage(unsigned codePage) {
    const CFuzzHomes& homes = Homes();
    const std::string& home = codePage == 65001 ? homes.m_pUtf8->Path() : homes.m_pAnsi->Path();
    setenv("VARNO_HOME", home.c_str(), 1);
}

std::string ScratchPath(std::string_view name) {
    return Homes().m_strScratch + "/" + std::string(name);
}

void ReplaceFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

std::uint8_t CFuzzInput::TakeByte() {
    if (m_rest.empty())
        return 0;
    const auto b = static_cast<std::uint8_t>(m_rest.front());
    m_rest.remove_prefix(1);
    return b;
}

std::string_view CFuzzInput::TakeLine() {
    const std::size_t nEnd = m_rest.find('\n');
    const std::string_view line = m_rest.substr(0, nEnd);
    m_rest.remove_prefix(nEnd == std::string_view::npos ? m_rest.size() : nEnd + 1);
    return line;
}
