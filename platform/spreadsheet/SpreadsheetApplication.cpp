#include "platform/spreadsheet/SpreadsheetObjects.h"

#include "platform/locale/CodePage.h"

namespace {

enum : DISPID { kWorkbooks = 1, kQuit, kAdd, kOpen, kDefaultSaveFormat };

constexpr SMember kApplicationMembers[] = {
    {u"Workbooks", kWorkbooks, EMemberKind::Get},
    {u"Quit", kQuit, EMemberKind::Method},
    // The file format of workbooks that Add creates (56 .xls, 51 .xlsx), which sets their
    // grid: 65,536 rows in .xls, 1,048,576 in .xlsx.
    {u"DefaultSaveFormat", kDefaultSaveFormat, EMemberKind::GetPut},
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

CVariant CSpreadsheetApplication::Call(const SMember& member, bool bPut, const CInvokeArgs& args) {
    args.Expect(0);
    switch (member.m_dispid) {
    case kDefaultSaveFormat: {
        RequireRunning(*m_pState);
        if (!bPut)
            return CVariant(static_cast<LONG>(m_pState->m_defaultFormat));
        const LONG nFormat = static_cast<LONG>(args.PutDouble());
        if (nFormat != static_cast<LONG>(EXlsFileFormat::Xls) &&
            nFormat != static_cast<LONG>(EXlsFileFormat::Xlsx))
            throw CAutomationException(u"This file format cannot be saved.");
        m_pState->m_defaultFormat = static_cast<EXlsFileFormat>(nFormat);
        return CVariant();
    }
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
        pBook->m_book.SetFileFormat(m_pState->m_defaultFormat);
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
