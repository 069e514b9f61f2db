#include "desktop/DesktopAddinCommands.h"

#include "desktop/UnicodeText.h"
#include "platform/com/ModuleResources.h"

#include <algorithm>

namespace {

// Menu bitmaps are 16 x 16 pixels.
constexpr int kMenuBitmapSize = 16;

// The field up to the next tab, which is passed over.
std::string NextField(std::string_view& text) {
    const std::size_t nTab = text.find('\t');
    const std::string field(text.substr(0, nTab));
    text = nTab == std::string_view::npos ? std::string_view() : text.substr(nTab + 1);
    return field;
}

} // namespace

CDesktopAddinCommands::CDesktopAddinCommands(std::shared_ptr<CDesktopSession> pSession)
    : m_pSession(std::move(pSession)) {}

HRESULT CDesktopAddinCommands::RegisterCommand(DWORD dwCookie, BSTR bstrName, IDispatch* pCommand,
                                               LONG* plCommandId) {
    return RunHostCall(*m_pSession, "RegisterCommand", IID_IHostAddinCommands, [&] {
        if (!plCommandId || !pCommand)
            return FailCall(E_POINTER, "RegisterCommand needs a command object and an out pointer.",
                            IID_IHostAddinCommands);
        std::vector<CAddinCommand>& commands = m_pSession->AddinCommands();
        LONG lId = 1;
        for (const CAddinCommand& command : commands)
            lId = std::max(lId, command.m_lId + 1);
        CAddinCommand command;
        command.m_dwCookie = dwCookie;
        command.m_lId = lId;
        command.m_strName = desktop::Utf16ToUtf8Lenient(BstrView(bstrName));
        command.m_pCommand = CComPtr<IDispatch>(pCommand);
        commands.push_back(std::move(command));
        *plCommandId = lId;
        return S_OK;
    });
}

HRESULT CDesktopAddinCommands::AddCommandMenuItem(LONG lCommandId, void* hModule, LONG lBitmap,
                                                  BSTR bstrMenuText, LONG lValue) {
    return RunHostCall(*m_pSession, "AddCommandMenuItem", IID_IHostAddinCommands, [&] {
        std::vector<CAddinCommand>& commands = m_pSession->AddinCommands();
        const auto it = std::find_if(commands.begin(), commands.end(), [&](const auto& command) {
            return command.m_lId == lCommandId;
        });
        if (it == commands.end())
            return FailCall(E_INVALIDARG, "No command has this identifier.",
                            IID_IHostAddinCommands);
        const std::string text = desktop::Utf16ToUtf8Lenient(BstrView(bstrMenuText));
        std::string_view rest = text;
        it->m_strMenuText = NextField(rest);
        it->m_strDescription = NextField(rest);
        it->m_strShortText = NextField(rest);
        it->m_lBitmap = lBitmap;
        it->m_vecBitmap =
            lBitmap > 0 ? LoadModuleImage(hModule, static_cast<unsigned>(lBitmap), kMenuBitmapSize)
                        : std::vector<unsigned char>();
        it->m_lValue = lValue;
        it->m_bHasMenuItem = true;
        return S_OK;
    });
}
