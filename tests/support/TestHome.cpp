#include "tests/support/TestHome.h"

#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

CTestHome::CTestHome() {
    std::string pattern = (fs::temp_directory_path() / "varno-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_strPath = pattern;
    if (const char* p = std::getenv("VARNO_HOME")) {
        m_bHadPrevious = true;
        m_strPrevious = p;
    }
    setenv("VARNO_HOME", m_strPath.c_str(), 1);
}

CTestHome::~CTestHome() {
    if (m_bHadPrevious)
        setenv("VARNO_HOME", m_strPrevious.c_str(), 1);
    else
        unsetenv("VARNO_HOME");
    std::error_code ec;
    fs::remove_all(m_strPath, ec);
}

void SetTimeZone(const char* pszZone) {
    setenv("TZ", pszZone, 1);
    tzset();
}

void SetClock(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
    const auto t = MakeLocalTime(nYear, nMonth, nDay, nHour, nMinute, nSecond);
    if (!t)
        throw std::runtime_error("clock value out of range");
    SetClockUtc(*t);
}

void SetClockUtc(std::int64_t t) {
    setenv("VARNO_NOW", std::to_string(t).c_str(), 1);
}

namespace {

struct SRegional {
    const char* m_pszLocale;
    const char* m_pszValues[7]; // in the order of kRegionalValueNames
};

// Windows' values for these locales, as the platform holds them for a user.
const SRegional kRegional[] = {
    {"en-US", {"M/d/yyyy", "h:mm:ss tt", ",", "AM", "PM", "/", ":"}},
    {"en-GB", {"dd/MM/yyyy", "HH:mm:ss", ",", "AM", "PM", "/", ":"}},
    {"de-DE", {"dd.MM.yyyy", "HH:mm:ss", ";", "", "", ".", ":"}},
    {"fr-FR", {"dd/MM/yyyy", "HH:mm:ss", ";", "", "", "/", ":"}},
    {"nl-NL", {"d-M-yyyy", "H:mm:ss", ";", "", "", "-", ":"}},
    {"es-ES", {"dd/MM/yyyy", "H:mm:ss", ";", "", "", "/", ":"}},
    {"ja-JP",
     {"yyyy/MM/dd", "H:mm:ss", ",", "\xE5\x8D\x88\xE5\x89\x8D", "\xE5\x8D\x88\xE5\xBE\x8C", "/",
      ":"}},
    {"it-IT", {"dd/MM/yyyy", "HH.mm.ss", ";", "", "", "/", "."}},
};

} // namespace

void SetRegional(std::string_view locale) {
    for (const SRegional& r : kRegional) {
        if (locale != r.m_pszLocale)
            continue;
        CRegKey key;
        if (key.Create(ERegHive::CurrentUser, kInternationalKey) != REG_STATUS_OK)
            throw std::runtime_error("cannot write the regional settings");
        for (std::size_t i = 0; i < 7; ++i) {
            // Stored as narrow text of the system code page, as the platform does.
            const std::string value = FromUtf8(r.m_pszValues[i]);
            if (key.SetString(kRegionalValueNames[i], value) != REG_STATUS_OK)
                throw std::runtime_error("cannot write the regional settings");
        }
        return;
    }
    throw std::invalid_argument("no regional settings for this locale");
}

void SetCodePage(unsigned codePage) {
    CRegKey key;
    if (key.Create(ERegHive::LocalMachine, kCodePageKey) != REG_STATUS_OK ||
        key.SetString("ACP", std::to_string(codePage)) != REG_STATUS_OK)
        throw std::runtime_error("cannot write the code page");
}

std::string TempPath(std::string_view name) {
    static int s_nCounter = 0;
    const char* home = std::getenv("VARNO_HOME");
    fs::path dir = home ? fs::path(home) : fs::temp_directory_path();
    dir /= "tmp-" + std::to_string(++s_nCounter);
    fs::create_directories(dir);
    return (dir / std::string(name)).string();
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}
