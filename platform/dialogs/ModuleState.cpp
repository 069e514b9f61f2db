#include "platform/dialogs/ModuleState.h"

#include "platform/shell/HelpViewer.h"

namespace {

// Calls from outside arrive on the user-interface thread only.
CModuleState* s_pCurrent = nullptr;

} // namespace

CModuleStateScope::CModuleStateScope(CModuleState& state)
    : m_state(state), m_pPrevious(s_pCurrent), m_strPreviousHelp(GetHelpFilePath()) {
    s_pCurrent = &m_state;
    SetHelpFilePath(m_state.m_strHelpFilePath);
}

CModuleStateScope::~CModuleStateScope() {
    m_state.m_strHelpFilePath = GetHelpFilePath();
    s_pCurrent = m_pPrevious;
    SetHelpFilePath(m_strPreviousHelp);
}

CModuleState* GetCurrentModuleState() {
    return s_pCurrent;
}

std::span<const unsigned char> FindModuleImage(unsigned nId, int nSize) {
    if (!s_pCurrent || !s_pCurrent->m_pfnFindImage)
        return {};
    return s_pCurrent->m_pfnFindImage(nId, nSize);
}
