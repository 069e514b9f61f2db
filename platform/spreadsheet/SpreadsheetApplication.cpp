#include "platform/spreadsheet/SpreadsheetObjects.h"

#include "platform/locale/CodePage.h"

namespace {

enum : DISPID { kWorkbooks = 1, kQuit, kAdd, kOpen };

constexpr SMember kApplicationMembers[] = {
    {u"Workbooks", kWorkbooks, EMemberKind::Get},
    {u"Quit", kQuit, EMemberKind::Method},
};

constexpr SMember kWorkbooksMembers[] = {
    {u"Add", kAdd, EMemberKind::Method},
    {u"Open", kOpen, EMemberKind::Method},
};

void RequireRunning(const CApplicationState& state) {
    if (state.m_bQuit)
        throw CAutomationException(u"The spreadsheet application has quit.");
}

class CSpreadsheetClassFactory final : public CComObject<CSpreadsheetClassFactory, IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* pUnkOuter, const GUID& iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        try {
            const CComPtr<CSpreadsheetApplication> pApplication(new CSpreadsheetApplication);
            return pApplication->QueryInterface(iid, ppv);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

} // namespace

CSpreadsheetApplication::CSpreadsheetApplication()
    : m_pState(std::make_shared<CApplicationState>()) {}

std::span<const SMember> CSpreadsheetApplication::Members() {
    return kApplicationMembers;
}

CVariant CSpreadsheetApplication::Call(const SMember& member, bool, const CInvokeArgs& args) {
    args.Expect(0);
    switch (member.m_dispid) {
    case kWorkbooks:
        RequireRunning(*m_pState);
        return NewObjectVariant<CSpreadsheetWorkbooks>(m_pState);
    case kQuit:
        // Open workbooks are closed without saving, as nobody is there to be asked.
        for (const std::shared_ptr<CBookState>& pBook : m_pState->m_vecBooks) {
            pBook->m_bOpen = false;
            pBook->m_book = CXlsWorkbook();
        }
        m_pState->m_vecBooks.clear();
        m_pState->m_bQuit = true;
        return CVariant();
    default:
        throw CCallError(DISP_E_MEMBERNOTFOUND);
    }
}

CSpreadsheetWorkbooks::CSpreadsheetWorkbooks(std::shared_ptr<CApplicationState> pState)
    : m_pState(std::move(pState)) {}

std::span<const SMember> CSpreadsheetWorkbooks::Members() {
    return kWorkbooksMembers;
}

CVariant CSpreadsheetWorkbooks::Call(const SMember& member, bool, const CInvokeArgs& args) {
    RequireRunning(*m_pState);
    auto pBook = std::make_shared<CBookState>();
    switch (member.m_dispid) {
    case kAdd:
        args.Expect(0);
        break;
    case kOpen: {
        args.Expect(1);
        const std::string strPath = FromUtf16(args.String(0));
        if (strPath.empty())
            throw CAutomationException(u"No file name was given to open.");
        pBook->m_book = CXlsWorkbook::Load(strPath);
        pBook->m_strPath = strPath;
        break;
    }
    default:
        throw CCallError(DISP_E_MEMBERNOTFOUND);
    }
    m_pState->m_vecBooks.push_back(pBook);
    return NewObjectVariant<CSpreadsheetWorkbook>(m_pState, std::move(pBook));
}

CComPtr<IClassFactory> NewSpreadsheetClassFactory() {
    return CComPtr<IClassFactory>(new CSpreadsheetClassFactory);
}
