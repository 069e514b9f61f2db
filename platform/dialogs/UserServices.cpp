#include "platform/dialogs/UserServices.h"

namespace {

// The front end's services; module state of the user interface, set once at start.
CUserServices* g_pServices = nullptr;

CHeadlessUserServices& DefaultServices() {
    static CHeadlessUserServices s_services;
    return s_services;
}

} // namespace

CProgressControl::~CProgressControl() = default;
CUserServices::~CUserServices() = default;

CUserServices& GetUserServices() {
    return g_pServices ? *g_pServices : static_cast<CUserServices&>(DefaultServices());
}

void SetUserServices(CUserServices* pServices) {
    g_pServices = pServices;
}

EMessageAnswer CHeadlessUserServices::ShowMessage(std::string_view text, EMessageButtons buttons,
                                                  EMessageIcon icon) {
    m_vecShown.push_back({std::string(text), buttons, icon});
    EMessageAnswer answer = EMessageAnswer::Ok;
    if (!m_queAnswers.empty()) {
        answer = m_queAnswers.front();
        m_queAnswers.pop_front();
    }
    if (buttons == EMessageButtons::Ok)
        answer = EMessageAnswer::Ok;
    return answer;
}

bool CHeadlessUserServices::DispatchWaitingMessage(bool& bQuit) {
    bQuit = false;
    // One pump asks until no message waits: the first ask of a pump counts it.
    if (m_bDispatchedThisPump) {
        m_bDispatchedThisPump = false;
        return false;
    }
    ++m_nPumps;
    if (m_bQuitPosted || (m_nPumpsUntilQuit >= 0 && m_nPumps > m_nPumpsUntilQuit)) {
        m_bQuitPosted = false;
        bQuit = true;
        return true;
    }
    m_bDispatchedThisPump = true;
    return true;
}
