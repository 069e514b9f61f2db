#include "cli/CliServices.h"

#include "platform/locale/CodePage.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The signal that asked to stop; 0 while none did. Module state of the process: set by the
// signal handler, read by the message pump.
volatile std::sig_atomic_t g_nInterruptSignal = 0;

extern "C" void OnInterruptSignal(int nSignal) {
    g_nInterruptSignal = nSignal;
}

constexpr std::int64_t kMaxPumpDelayUs = 1'000'000;

std::atomic<FnPumpDelayHook> g_pPumpDelayHook{nullptr};

std::int64_t PumpDelay() {
    const FnPumpDelayHook pHook = g_pPumpDelayHook;
    return pHook ? std::clamp<std::int64_t>(pHook(), 0, kMaxPumpDelayUs) : 0;
}

// Lines of a message without the blanks that end them.
std::string IndentMessage(std::string_view text) {
    std::string out = "varno: ";
    std::size_t nStart = 0;
    bool bFirst = true;
    while (nStart <= text.size()) {
        std::size_t nEnd = text.find('\n', nStart);
        if (nEnd == std::string_view::npos)
            nEnd = text.size();
        std::string_view line = text.substr(nStart, nEnd - nStart);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
            line.remove_suffix(1);
        const bool bLast = nEnd == text.size();
        if (!(bLast && line.empty() && !bFirst)) {
            if (!bFirst)
                out += "\n  ";
            out += line;
        }
        bFirst = false;
        nStart = nEnd + 1;
    }
    out += '\n';
    return out;
}

int TerminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 40)
        return size.ws_col;
    return 80;
}

std::string Duration(double dSeconds) {
    const long long n = static_cast<long long>(dSeconds + 0.5);
    char buffer[32];
    if (n >= 3600)
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", n / 3600, n / 60 % 60, n % 60);
    else
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld", n / 60, n % 60);
    return buffer;
}

} // namespace

void SetPumpDelayHook(FnPumpDelayHook pHook) {
    g_pPumpDelayHook = pHook;
}

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterruptSignal;
    sigemptyset(&action.sa_mask);
    // The first signal asks to stop after the record in hand; a second one ends the process.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool IsInterruptRequested() {
    return g_nInterruptSignal != 0;
}

int InterruptExitStatus() {
    const int nSignal = g_nInterruptSignal;
    return 128 + (nSignal != 0 ? nSignal : SIGINT);
}

void RequestInterrupt() {
    g_nInterruptSignal = SIGINT;
}

void ClearInterruptRequest() {
    g_nInterruptSignal = 0;
}

CCliUserServices::CCliUserServices(std::ostream& err) : m_err(err), m_nPumpDelayUs(PumpDelay()) {}

EMessageAnswer CCliUserServices::ShowMessage(std::string_view text, EMessageButtons buttons,
                                             EMessageIcon icon) {
    if (icon == EMessageIcon::Stop || icon == EMessageIcon::Exclamation)
        ++m_nErrorsShown;
    PrintError(ToUtf8(text));
    if (buttons == EMessageButtons::Ok)
        return EMessageAnswer::Ok;
    return m_bStopOnError ? EMessageAnswer::Cancel : EMessageAnswer::Ok;
}

void CCliUserServices::PrintError(std::string_view utf8) {
    if (m_pProgress)
        m_pProgress->Clear();
    m_err << IndentMessage(utf8);
    m_err.flush();
}

bool CCliUserServices::DispatchWaitingMessage(bool& bQuit) {
    bQuit = false;
    if (m_nPumpDelayUs > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(m_nPumpDelayUs));
    if (!IsInterruptRequested())
        return false;
    m_bQuitSeen = true;
    bQuit = true;
    return true;
}

CTerminalProgress::CTerminalProgress(std::ostream& err, EUnit unit, std::int64_t nTotal)
    : m_err(err), m_unit(unit), m_nTotal(nTotal), m_tStart(std::chrono::steady_clock::now()) {}

CTerminalProgress::~CTerminalProgress() {
    Clear();
}

void CTerminalProgress::SetRange(int nLower, int nUpper) {
    m_nLower = nLower;
    m_nUpper = std::max(nLower, nUpper);
    m_tStart = std::chrono::steady_clock::now();
    Draw(true);
}

void CTerminalProgress::SetPos(int nPos) {
    m_nPos = nPos;
    Draw(false);
}

void CTerminalProgress::Show(bool bShow) {
    if (!bShow)
        Clear();
}

void CTerminalProgress::Clear() {
    if (!m_bDrawn)
        return;
    m_err << "\r\033[K";
    m_err.flush();
    m_bDrawn = false;
}

void CTerminalProgress::Draw(bool bForce) {
    const auto tNow = std::chrono::steady_clock::now();
    if (!bForce && m_bDrawn && tNow - m_tLastDraw < std::chrono::milliseconds(100))
        return;
    m_tLastDraw = tNow;
    const std::int64_t nRange = m_nUpper - m_nLower;
    const std::int64_t nStep = std::clamp<std::int64_t>(m_nPos - m_nLower, 0, nRange);
    std::int64_t nTotal = m_nTotal > 0 ? m_nTotal : nRange;
    if (m_unit == EUnit::Bytes && m_nTotal <= 0)
        nTotal = nRange * 256;
    const std::int64_t nPos = nRange > 0 ? nStep * nTotal / nRange : 0;
    const double dSeconds = std::chrono::duration<double>(tNow - m_tStart).count();
    m_err << '\r' << FormatLine(nPos, nTotal, dSeconds, m_unit, TerminalWidth() - 1) << "\033[K";
    m_err.flush();
    m_bDrawn = true;
}

std::string CTerminalProgress::FormatLine(std::int64_t nPos, std::int64_t nTotal, double dSeconds,
                                          EUnit unit, int nWidth) {
    char buffer[160];
    const bool bBytes = unit == EUnit::Bytes;
    const std::int64_t nShownPos = bBytes ? nPos / 1024 : nPos;
    const std::int64_t nShownTotal = bBytes ? (nTotal + 1023) / 1024 : nTotal;
    const char* pszUnit = bBytes ? "KiB" : "records";
    std::string strTail;
    std::snprintf(buffer, sizeof buffer, " %lld/%lld %s", static_cast<long long>(nShownPos),
                  static_cast<long long>(nShownTotal), pszUnit);
    strTail = buffer;
    if (dSeconds >= 0.5 && nPos > 0) {
        const double dRate = static_cast<double>(nShownPos) / dSeconds;
        std::snprintf(buffer, sizeof buffer, "  %.0f %s/s", dRate, pszUnit);
        strTail += buffer;
        if (nTotal > nPos && dRate > 0)
            strTail +=
                "  " + Duration(static_cast<double>(nShownTotal - nShownPos) / dRate) + " left";
    }
    const int nBar = std::clamp(nWidth - static_cast<int>(strTail.size()) - 2, 10, 50);
    const std::int64_t nFilled =
        nTotal > 0 ? std::min<std::int64_t>(nBar, nPos * nBar / nTotal) : 0;
    std::string line = "[";
    line.append(static_cast<std::size_t>(nFilled), '#');
    line.append(static_cast<std::size_t>(nBar - nFilled), '.');
    line += ']';
    line += strTail;
    return line;
}
