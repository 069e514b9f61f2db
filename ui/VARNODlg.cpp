#include "ui/VARNODlg.h"

#include "engine/Archive.h"
#include "engine/CountAppointments.h"
#include "engine/Export.h"
#include "engine/Import.h"
#include "formats/ExcelFormat.h"
#include "formats/FormatSelection.h"
#include "platform/com/ComError.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/locale/CodePage.h"
#include "platform/shell/HelpViewer.h"
#include "res/DialogTemplates.h"
#include "res/MessageText.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "settings/Options.h"
#include "settings/SavedOptions.h"
#include "ui/AboutDlg.h"
#include "ui/ArchiveDlg.h"
#include "ui/OptionsDlg.h"
#include "ui/SavedOptionsDlg.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace {

// The controls of filter rows 1 to 5; row 5 has no join list.
constexpr unsigned kTypeIds[kMaxFilterRows] = {IDC_FILTER_TYPE1, IDC_FILTER_TYPE2, IDC_FILTER_TYPE3,
                                               IDC_FILTER_TYPE4, IDC_FILTER_TYPE5};
constexpr unsigned kTextIds[kMaxFilterRows] = {IDC_FILTER_TEXT1, IDC_FILTER_TEXT2, IDC_FILTER_TEXT3,
                                               IDC_FILTER_TEXT4, IDC_FILTER_TEXT5};
constexpr unsigned kJoinIds[kMaxFilterRows - 1] = {IDC_FILTER_JOIN1, IDC_FILTER_JOIN2,
                                                   IDC_FILTER_JOIN3, IDC_FILTER_JOIN4};

// The row (0-based) of a filter control, -1 when the id is none of them.
int RowOf(const unsigned* pIds, int nCount, unsigned nId) {
    const auto* pEnd = pIds + nCount;
    const auto* pFound = std::find(pIds, pEnd, nId);
    return pFound == pEnd ? -1 : static_cast<int>(pFound - pIds);
}

// The "&Saved Options..." popup of the File menu; null when the menu has none.
CMenu* SavedSetPopup(CMenu* pMenu) {
    CMenu* pFile = pMenu ? pMenu->GetSubMenu(0) : nullptr;
    if (!pFile)
        return nullptr;
    for (int i = 0; i < pFile->GetItemCount(); ++i) {
        if (CMenu* pPopup = pFile->GetSubMenu(i))
            return pPopup;
    }
    return nullptr;
}

// The text a host-call exception is shown with: the host's description, else the
// system's text for the status.
std::string HostErrorText(const CComError& e) {
    return e.HasDescription() ? FromUtf16(e.Description()) : e.ErrorMessage();
}

} // namespace

CVARNODlg::CVARNODlg(COptions* pOptions, CDialog* pParent)
    : CDialog(GetDialogTemplate(IDD_MAIN), pParent), m_progress(*this, IDC_PROGRESS),
      m_pOptions(pOptions) {}

int CVARNODlg::DoModal() {
    m_pError = nullptr;
    const int nResult = CDialog::DoModal();
    if (m_pError)
        std::rethrow_exception(std::exchange(m_pError, nullptr));
    return nResult;
}

void CVARNODlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_USER_NAME, m_strUserName);
    DDX_Check(dx, IDC_FILTER_CHECK, m_bFilter);
    DDX_Text(dx, IDC_STATUS, m_strStatus);
}

bool CVARNODlg::OnInitDialog() {
    m_bExcelAvailable = IsExcelAvailable() ? 1 : 0;
    GetWindow()->SetIcon(IDI_MAIN);
    m_strUserName = m_pOptions->GetCurrentUserName();

    SetMenu(CMenu(GetMainMenuTemplate()));
    LoadAccelerators(GetMainAccelerators());

    m_btnExport.SetIcon(IDI_EXPORT, 32, 32);
    m_btnImport.SetIcon(IDI_IMPORT, 32, 32);
    m_btnOptions.SetIcon(IDI_OPTIONS, 32, 32);
    SubclassControl(IDC_IMPORT, m_btnImport);
    SubclassControl(IDC_EXPORT, m_btnExport);
    SubclassControl(IDC_OPTIONS, m_btnOptions);

    // The row types in the order of their numbers; the joins: none (last row), and, or.
    for (int nRow = 0; nRow < kMaxFilterRows; ++nRow) {
        CDialogItem type = GetDlgItem(kTypeIds[nRow]);
        type.ResetContent();
        for (int t = FILTER_TEXT_STARTS_WITH; t <= FILTER_LOCATION_IS; ++t)
            type.AddString(LoadResourceString(IDS_FILTER_TYPE_BASE + static_cast<unsigned>(t)));
        if (nRow < kMaxFilterRows - 1) {
            CDialogItem join = GetDlgItem(kJoinIds[nRow]);
            join.ResetContent();
            join.AddString("");
            join.AddString(LoadResourceString(IDS_FILTER_JOIN_AND));
            join.AddString(LoadResourceString(IDS_FILTER_JOIN_OR));
        }
    }

    BuildSavedSetMenu();
    Recount();
    m_strImportFilter = GetImportFilter();
    m_strExportFilter = GetExportFilter(*m_pOptions);
    FillFilterControls();
    (void)UpdateData(false);
    return true;
}

bool CVARNODlg::OnCommand(unsigned nId, ENotify code) {
    try {
        return RouteCommand(nId, code);
    } catch (...) {
        // Leaves the dialog as it stands: the command reports it, nothing is saved.
        m_pError = std::current_exception();
        EndDialog(-1);
        return true;
    }
}

bool CVARNODlg::RouteCommand(unsigned nId, ENotify code) {
    // Menu items and controls share numbers (1004, 1013, 1033): the code tells them apart.
    if (code == ENotify::Menu) {
        if (nId >= ID_SAVED_SET_FIRST && nId <= ID_SAVED_SET_LAST) {
            OnSavedSet(static_cast<int>(nId - ID_SAVED_SET_FIRST));
            return true;
        }
        switch (nId) {
        case ID_FILE_ARCHIVE:
            OnArchive();
            return true;
        case ID_FILE_REMOVE_ALL:
            OnRemoveAll();
            return true;
        case ID_SAVED_MAINTAIN:
            OnMaintain();
            return true;
        case ID_FILE_CLOSE:
            OnClose();
            return true;
        case ID_HELP_HELP:
            OnHelp(0);
            return true;
        case ID_HELP_ABOUT: {
            CAboutDlg about(this);
            (void)about.DoModal();
            return true;
        }
        default:
            break;
        }
    }
    if (code == ENotify::Clicked || code == ENotify::Accelerator) {
        switch (nId) {
        case IDC_IMPORT:
            OnImport();
            return true;
        case IDC_EXPORT:
            OnExport();
            return true;
        case IDC_OPTIONS:
            OnOptions();
            return true;
        case IDC_CLOSE:
            OnClose();
            return true;
        case IDC_FILTER_CHECK:
            ApplyFilterControls(true);
            return true;
        default:
            break;
        }
    }
    if (code == ENotify::SelChange) {
        if (RowOf(kTypeIds, kMaxFilterRows, nId) >= 0) {
            ApplyFilterControls(true);
            return true;
        }
        if (const int nRow = RowOf(kJoinIds, kMaxFilterRows - 1, nId); nRow >= 0) {
            OnJoinChange(nRow);
            return true;
        }
    }
    if (code == ENotify::KillFocus && RowOf(kTextIds, kMaxFilterRows, nId) >= 0) {
        ApplyFilterControls(true);
        return true;
    }
    return CDialog::OnCommand(nId, code);
}

void CVARNODlg::SaveControlValues() {
    ApplyFilterControls(false);
    m_pOptions->Save();
}

void CVARNODlg::OnOK() {
    // A filter text typed just before Enter has not lost its focus yet: taken all the same.
    if (!UpdateData(true))
        return;
    ApplyFilterControls(false);
    EndDialog(IDOK);
}

void CVARNODlg::OnCancel() {
    SaveControlValues();
    EndDialog(IDCANCEL);
}

void CVARNODlg::OnClose() {
    SaveControlValues();
    EndDialog(IDOK);
}

void CVARNODlg::OnHelp(unsigned /*nControlId*/) {
    (void)HtmlHelp(GetHelpFilePath(), HH_DISPLAY_TOPIC);
}

// ---- operations ---------------------------------------------------------------------

void CVARNODlg::OnImport() {
    (void)UpdateData(true);
    CFileDialog dialog(true, m_pOptions->m_strLastFile,
                       CFileDialog::OFN_FILEMUSTEXIST | CFileDialog::OFN_HIDEREADONLY,
                       m_strImportFilter);
    dialog.m_nFilterIndex = GetFilterIndex(m_pOptions->m_strLastFile, m_strImportFilter);
    if (dialog.DoModal() != static_cast<int>(IDOK))
        return;
    CWaitCursor wait;
    m_progress.SetPos(0);
    m_progress.Show(true);
    m_pOptions->m_strLastFile = dialog.GetPathName();

    CImportStatistics stats;
    CImportRun run;
    run.m_pStatistics = &stats;
    const int nResult = ImportFile(m_pOptions->m_strLastFile, *m_pOptions, &m_progress, run);
    const int nError = errno;
    if (nResult == -1)
        (void)MessageBox(ImportOpenErrorText(stats, nError));
    m_progress.Show(false);
    (void)UpdateData(false);
    Recount();
}

void CVARNODlg::OnExport() {
    (void)UpdateData(true);
    CFileDialog dialog(false, m_pOptions->m_strLastFile,
                       CFileDialog::OFN_OVERWRITEPROMPT | CFileDialog::OFN_HIDEREADONLY,
                       m_strExportFilter);
    dialog.m_nFilterIndex = GetFilterIndex(m_pOptions->m_strLastFile, m_strExportFilter);
    if (dialog.DoModal() != static_cast<int>(IDOK))
        return;
    CWaitCursor wait;
    const std::string strPath =
        AppendFilterExtension(dialog.GetPathName(), m_strExportFilter, dialog.m_nFilterIndex);
    m_progress.SetPos(0);
    m_progress.Show(true);
    m_pOptions->m_strLastFile = strPath;
    // The export replaces an existing file only once the new one is complete, so a failed
    // export leaves it as it was: it is not deleted first.
    CExportOutcome outcome;
    if (m_pOptions->m_bFullFormat == 1)
        (void)ExportFull(strPath, *m_pOptions, &m_progress, &outcome);
    else
        (void)ExportSimple(strPath, m_pOptions->GetExportFrom(), m_pOptions->GetExportTo(),
                           *m_pOptions, &m_progress, &outcome);
    m_progress.Show(false);
    if (outcome.m_bOpenFailed)
        (void)MessageBox(ExportOpenErrorText(outcome));
}

void CVARNODlg::OnOptions() {
    COptionsDlg dialog(*m_pOptions, this);
    if (dialog.DoModal() == static_cast<int>(IDOK))
        m_pOptions->Save();
    Recount();
    BuildSavedSetMenu();
}

void CVARNODlg::OnArchive() {
    CArchiveDlg dialog(*m_pOptions, this);
    (void)dialog.DoModal();
}

void CVARNODlg::OnMaintain() {
    CSavedOptionsDlg dialog(*m_pOptions, this);
    (void)dialog.DoModal();
    BuildSavedSetMenu();
    UpdateSavedSetChecks();
}

void CVARNODlg::OnSavedSet(int nSet) {
    if (nSet >= CSavedOptions::GetCount())
        return;
    CSavedOptions::Load(nSet, *m_pOptions);
    FillFilterControls();
    Recount();
}

void CVARNODlg::OnRemoveAll() {
    (void)UpdateData(true);
    const std::string strUser = m_pOptions->GetCurrentUserName();
    CWaitCursor wait;
    m_progress.SetPos(0);
    m_progress.Show(true);
    const int nCount = numAppointments(*m_pOptions);
    if (MessageBox(LoadMessageText(IDS_CONFIRM_REMOVE_ALL, {nCount, strUser}), {},
                   EMessageButtons::OkCancel, EMessageIcon::Question) == EMessageAnswer::Ok) {
        wait.Restore();
        (void)RemoveAll(*m_pOptions, &m_progress);
    }
    Recount();
    m_progress.Show(false);
}

// ---- status line and saved sets ------------------------------------------------------

void CVARNODlg::Recount() {
    CWaitCursor wait;
    m_strStatus = CountStatusText(*m_pOptions, numAppointments(*m_pOptions));
    (void)UpdateData(false);
    UpdateSavedSetChecks();
}

void CVARNODlg::BuildSavedSetMenu() {
    CMenu* pPopup = SavedSetPopup(GetMenu());
    if (!pPopup)
        return;
    while (pPopup->GetItemCount() > 2 && !pPopup->GetItem(0)->m_bSeparator)
        (void)pPopup->DeleteItem(0);
    const int nCount = CSavedOptions::GetCount();
    for (int i = 0; i < nCount; ++i) {
        const std::string strTitle = CSavedOptions::GetTitle(i);
        // The first nine sets get the digits 1 to 9 as access keys.
        const std::string strText = i < 9 ? FormatMessageText("&%d %s", {i + 1, strTitle})
                                          : FormatMessageText("  %s", {strTitle});
        pPopup->InsertItem(i, strText, ID_SAVED_SET_FIRST + static_cast<unsigned>(i));
    }
    DrawMenuBar();
}

void CVARNODlg::UpdateSavedSetChecks() {
    CMenu* pPopup = SavedSetPopup(GetMenu());
    if (!pPopup)
        return;
    const int nEqual = CSavedOptions::FindEqual(*m_pOptions);
    for (int i = 0; i < pPopup->GetItemCount(); ++i) {
        const unsigned nId = pPopup->GetItemId(i);
        if (nId >= ID_SAVED_SET_FIRST && nId <= ID_SAVED_SET_LAST)
            (void)pPopup->CheckItem(nId, static_cast<int>(nId - ID_SAVED_SET_FIRST) == nEqual);
    }
    DrawMenuBar();
}

// ---- filter rows ---------------------------------------------------------------------

void CVARNODlg::LayoutFilterRows(int nRows) {
    GetDlgItem(IDC_FILTER_TYPE1).Enable(nRows >= 1);
    GetDlgItem(IDC_FILTER_TEXT1).Enable(nRows >= 1);
    GetDlgItem(IDC_FILTER_JOIN1).Enable(nRows >= 1);
    for (int nRow = 1; nRow < kMaxFilterRows; ++nRow) {
        const bool bShow = nRows >= nRow + 1;
        GetDlgItem(kTypeIds[nRow]).Show(bShow);
        GetDlgItem(kTextIds[nRow]).Show(bShow);
        if (nRow < kMaxFilterRows - 1)
            GetDlgItem(kJoinIds[nRow]).Show(bShow);
    }

    CDialogWindow* pWindow = GetWindow();
    if (!pWindow)
        return;
    const int g = 2 * GetDlgItem(IDC_FILTER_CHECK).GetRect().x;
    const int b = GetDlgItem(kTypeIds[nRows < 2 ? 0 : nRows - 1]).GetRect().Bottom();

    CDialogItem status = GetDlgItem(IDC_STATUS);
    CRect rc = status.GetRect();
    const int y = b + g;
    status.Move({rc.x, y, rc.cx, rc.cy});
    const int y2 = y + rc.cy + g;

    CDialogItem progress = GetDlgItem(IDC_PROGRESS);
    rc = progress.GetRect();
    progress.Move({rc.x, y2, rc.cx, rc.cy});
    const int y3 = y2 + rc.cy + g;

    int nButtonHeight = 0;
    for (const unsigned nId : {IDC_IMPORT, IDC_EXPORT, IDC_OPTIONS, IDC_CLOSE}) {
        CDialogItem button = GetDlgItem(nId);
        rc = button.GetRect();
        button.Move({rc.x, y3, rc.cx, rc.cy});
        nButtonHeight = std::max(nButtonHeight, rc.cy);
    }
    // The window's height is the frame's extra height plus this client height.
    pWindow->SetClientSize(pWindow->GetClientRect().cx, y3 + nButtonHeight + g);
    pWindow->Redraw();
}

void CVARNODlg::FillFilterControls() {
    const CRecordFilter& filter = m_pOptions->m_filter;
    const int nRows = filter.GetRowCount();
    LayoutFilterRows(nRows);
    m_bFilter = nRows > 0;
    GetDlgItem(IDC_FILTER_CHECK).SetCheck(m_bFilter);
    for (int nRow = 0; nRow < nRows; ++nRow) {
        std::int32_t nType = 0;
        std::string strText;
        std::int32_t nJoin = FILTER_JOIN_NONE;
        filter.GetRow(nRow, nType, strText, nJoin);
        GetDlgItem(kTypeIds[nRow]).SetCurSel(nType);
        GetDlgItem(kTextIds[nRow]).SetText(strText);
        if (nRow < kMaxFilterRows - 1) {
            // A stored join other than "or" counts as "and".
            const int nSel = nRow + 1 < nRows ? (nJoin == FILTER_JOIN_OR ? 2 : 1) : 0;
            GetDlgItem(kJoinIds[nRow]).SetCurSel(nSel);
        }
    }
}

void CVARNODlg::StoreRowTypesAndTexts() {
    CRecordFilter& filter = m_pOptions->m_filter;
    for (int nRow = 0; nRow < filter.GetRowCount(); ++nRow) {
        std::int32_t nType = 0;
        std::string strText;
        std::int32_t nJoin = FILTER_JOIN_NONE;
        filter.GetRow(nRow, nType, strText, nJoin);
        filter.SetRow(nRow, std::max(0, GetDlgItem(kTypeIds[nRow]).GetCurSel()),
                      GetDlgItem(kTextIds[nRow]).GetText(), nJoin);
    }
}

void CVARNODlg::ApplyFilterControls(bool bRecount) {
    (void)UpdateData(true);
    CRecordFilter& filter = m_pOptions->m_filter;
    if (m_bFilter && filter.GetRowCount() == 0) {
        filter.AddRow();
        LayoutFilterRows(1);
        CDialogItem type = GetDlgItem(IDC_FILTER_TYPE1);
        if (type.GetCurSel() < 0)
            type.SetCurSel(0);
    } else if (!m_bFilter && filter.GetRowCount() > 0) {
        while (filter.GetRowCount() > 0)
            filter.RemoveLastRow();
        LayoutFilterRows(0);
    }
    const int nRows = filter.GetRowCount();
    for (int nRow = 0; nRow < nRows; ++nRow) {
        std::int32_t nJoin = FILTER_JOIN_NONE;
        if (nRow + 1 < nRows)
            nJoin = std::max(0, GetDlgItem(kJoinIds[nRow]).GetCurSel() - 1);
        filter.SetRow(nRow, std::max(0, GetDlgItem(kTypeIds[nRow]).GetCurSel()),
                      GetDlgItem(kTextIds[nRow]).GetText(), nJoin);
    }
    if (bRecount)
        Recount();
}

void CVARNODlg::OnJoinChange(int nRow) {
    CRecordFilter& filter = m_pOptions->m_filter;
    // What the other rows show but have not handed over yet is kept through the refill.
    StoreRowTypesAndTexts();
    const int nSel = GetDlgItem(kJoinIds[nRow]).GetCurSel();
    const int nRows = filter.GetRowCount();
    if (nSel >= 1 && nRow == nRows - 1 && nRows < kMaxFilterRows) {
        filter.AddRow();
        std::int32_t nType = 0;
        std::string strText;
        std::int32_t nJoin = FILTER_JOIN_NONE;
        filter.GetRow(nRow, nType, strText, nJoin);
        filter.SetRow(nRow, nType, strText, nSel - 1);
        FillFilterControls();
    } else if (nSel == 0 && nRow + 1 < nRows) {
        filter.RemoveRow(nRow + 1);
        FillFilterControls();
    }
    ApplyFilterControls(true);
}

// ---- the command ---------------------------------------------------------------------

int RunMainDialogCommand(IDispatch* pHost) {
    try {
        COptions options;
        options.SetHostApplication(pHost);
        options.Load();
        CVARNODlg dialog(&options);
        const int nResult = dialog.DoModal();
        if (nResult == static_cast<int>(IDOK))
            options.Save();
        return nResult;
    } catch (const CComError& e) {
        (void)GetDialogSurface().MessageBox(
            LoadMessageText(IDS_ERROR_IMPORT_EXPORT, {HostErrorText(e)}), {}, EMessageButtons::Ok,
            EMessageIcon::None);
        return -1;
    }
}
