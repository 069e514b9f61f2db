#include "platform/shell/HelpViewer.h"

CHelpViewerBackend::~CHelpViewerBackend() = default;

namespace {

// The viewer of this module, loaded on first use; written once, all on the UI thread.
struct CViewerState {
    HelpViewerLoader m_pfnLoader = nullptr;
    CHelpViewerBackend* m_pViewer = nullptr;
    bool m_bTried = false;
    std::string m_strHelpPath;
};

CViewerState& State() {
    static CViewerState s_state;
    return s_state;
}

CHelpViewerBackend* LoadViewer() {
    CViewerState& state = State();
    if (!state.m_bTried) {
        state.m_bTried = true;
        state.m_pViewer = state.m_pfnLoader ? state.m_pfnLoader() : nullptr;
    }
    return state.m_pViewer;
}

} // namespace

void RegisterHelpViewerLoader(HelpViewerLoader pfnLoader) {
    State().m_pfnLoader = pfnLoader;
}

void ResetHelpViewer() {
    State().m_pViewer = nullptr;
    State().m_bTried = false;
}

std::string HelpBookPath(std::string_view helpFile, std::string* pInner) {
    const auto nInner = helpFile.find("::");
    std::string_view file = helpFile.substr(0, nInner);
    if (pInner) {
        pInner->clear();
        if (nInner != std::string_view::npos) {
            std::string_view inner = helpFile.substr(nInner + 2);
            while (!inner.empty() && inner.front() == '/')
                inner.remove_prefix(1);
            *pInner = inner;
        }
    }
    std::string strBook(file);
    const auto nSlash = strBook.find_last_of('/');
    const auto nDot = strBook.find_last_of('.');
    if (nDot != std::string::npos && (nSlash == std::string::npos || nDot > nSlash))
        strBook.erase(nDot);
    return strBook + ".htb";
}

std::string FindPopupText(std::string_view fileText, unsigned nTopic) {
    const std::string key = ".topic " + std::to_string(nTopic);
    std::string strText;
    bool bIn = false;
    while (!fileText.empty()) {
        const auto nEnd = fileText.find('\n');
        std::string_view line = fileText.substr(0, nEnd);
        fileText.remove_prefix(nEnd == std::string_view::npos ? fileText.size() : nEnd + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with(".topic")) {
            if (bIn)
                break;
            bIn = line == key;
            continue;
        }
        if (bIn) {
            if (!strText.empty())
                strText += '\n';
            strText += line;
        }
    }
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == ' '))
        strText.pop_back();
    return strText;
}

bool HtmlHelp(std::string_view helpFile, EHelpCommand command, unsigned nControlId,
              std::span<const CHelpTopic> topics) {
    CHelpViewerBackend* pViewer = LoadViewer();
    if (!pViewer || helpFile.empty())
        return false;
    std::string strInner;
    const std::string strBook = HelpBookPath(helpFile, &strInner);
    if (command == HH_DISPLAY_TOPIC)
        return pViewer->ShowBook(strBook);
    if (command != HH_TP_HELP_WM_HELP && command != HH_TP_HELP_CONTEXTMENU)
        return false;
    for (const CHelpTopic& topic : topics) {
        if (topic.m_nControlId != nControlId)
            continue;
        std::string strFile;
        if (strInner.empty() || !pViewer->ReadBookFile(strBook, strInner, strFile))
            return false;
        const std::string strText = FindPopupText(strFile, topic.m_nTopic);
        if (strText.empty())
            return false;
        pViewer->ShowPopup(strText);
        return true;
    }
    return false;
}

void SetHelpFilePath(const std::string& strPath) {
    State().m_strHelpPath = strPath;
}

const std::string& GetHelpFilePath() {
    return State().m_strHelpPath;
}
