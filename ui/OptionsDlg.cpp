#include "ui/OptionsDlg.h"

#include "platform/shell/HelpViewer.h"
#include "res/DialogTemplates.h"
#include "res/MessageText.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "settings/Options.h"
#include "settings/SavedOptions.h"
#include "ui/DialogDates.h"
#include "ui/ExampleDlg.h"
#include "ui/FieldListControl.h"
#include "ui/FieldPopupMenu.h"
#include "ui/SavedOptionsTitleDlg.h"

#include <algorithm>

namespace {

// The radio index of each format.
constexpr int kFormatFull = 0;
constexpr int kFormatSimple = 1;

} // namespace

COptionsDlg::COptionsDlg(COptions& options, CDialog* pParent)
    : CDialog(GetDialogTemplate(IDD_OPTIONS), pParent), m_options(options) {}

bool COptionsDlg::OnInitDialog() {
    m_btnRemoveField.SetIcon(IDI_REMOVE_FIELD, 16, 16);
    SubclassControl(IDC_REMOVE_FIELD, m_btnRemoveField);
    SubclassControl(IDC_ADD_FIELD, m_btnAddField);

    m_strSeparator = m_options.m_strSeparator;
    m_strQuote = m_options.m_strQuote;
    m_strExceptionDateSeparator = m_options.m_strExceptionDateSeparator;
    m_bNoDuplicates = m_options.m_bNoDuplicates != 0;
    m_bIgnoreImportErrors = m_options.m_bIgnoreImportErrors != 0;
    m_bExportNoCr = m_options.m_bExportNoCr != 0;
    m_nDefaultApptLength = m_options.m_nDefaultApptLength;
    m_bDateWithTime = m_options.m_bDateWithTime != 0;
    m_nFormat = m_options.m_bFullFormat ? kFormatFull : kFormatSimple;
    m_dateExportFrom = DateValueFromTime(m_options.GetExportFrom());
    m_dateExportTo = DateValueFromTime(m_options.GetExportTo());

    FillLists();
    const bool bResult = CDialog::OnInitDialog();
    EnableForFormat();
    return bResult;
}

void COptionsDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Check(dx, IDC_NO_DUPLICATES, m_bNoDuplicates);
    DDX_Text(dx, IDC_SEPARATOR, m_strSeparator);
    DDX_Check(dx, IDC_DATE_WITH_TIME, m_bDateWithTime);
    DDX_Check(dx, IDC_IGNORE_ERRORS, m_bIgnoreImportErrors);
    DDX_Check(dx, IDC_EXPORT_NO_CR, m_bExportNoCr);
    DDX_Radio(dx, IDC_FULL_FORMAT, m_nFormat);
    DDX_Text(dx, IDC_EXCEPTION_SEPARATOR, m_strExceptionDateSeparator);
    DDV_MaxChars(dx, m_strExceptionDateSeparator, kMaxExceptionSeparatorChars);
    DDX_Text(dx, IDC_QUOTE, m_strQuote);
    DDX_Text(dx, IDC_DEFAULT_LENGTH, m_nDefaultApptLength);
    DDV_MinMaxInt(dx, m_nDefaultApptLength, kMinDefaultLength, kMaxDefaultLength);
    DDX_DateTime(dx, IDC_EXPORT_FROM, m_dateExportFrom);
    DDX_DateTime(dx, IDC_EXPORT_TO, m_dateExportTo);
}

bool COptionsDlg::OnCommand(unsigned nId, ENotify code) {
    if (code == ENotify::Clicked) {
        switch (nId) {
        case IDC_FULL_FORMAT:
        case IDC_SIMPLE_FORMAT: {
            // Only the format is taken here: a half-typed value elsewhere is checked when
            // the dialog applies its values, not on a click of a radio.
            CDataExchange dx(*this, true);
            DDX_Radio(dx, IDC_FULL_FORMAT, m_nFormat);
            EnableForFormat();
            return true;
        }
        case IDC_ADD_FIELD:
            OnAddField();
            return true;
        case IDC_REMOVE_FIELD:
            OnRemoveField();
            return true;
        case IDC_RESTORE_DEFAULT:
            OnRestoreDefault();
            return true;
        case IDC_VIEW_EXAMPLE:
            OnViewExample();
            return true;
        case IDC_SAVE_AS:
            OnSaveAs();
            return true;
        default:
            break;
        }
    }
    return CDialog::OnCommand(nId, code);
}

void COptionsDlg::EnableForFormat() {
    const bool bSimple = m_nFormat == kFormatSimple;
    GetDlgItem(IDC_EXPORT_FROM).Enable(bSimple);
    GetDlgItem(IDC_EXPORT_TO).Enable(bSimple);
    GetDlgItem(IDC_REPEAT_FIELDS).Enable(!bSimple);
}

void COptionsDlg::FillLists() {
    CFieldListControl simple(GetDlgItem(IDC_SIMPLE_FIELDS));
    CFieldListControl repeat(GetDlgItem(IDC_REPEAT_FIELDS));
    m_options.m_layout.FillSimpleList(simple);
    m_options.m_layout.FillRepeatList(repeat);
}

void COptionsDlg::StoreValues(COptions& options) const {
    options.m_strSeparator = m_strSeparator;
    options.m_strQuote = m_strQuote;
    options.m_strExceptionDateSeparator = m_strExceptionDateSeparator;
    options.m_bNoDuplicates = m_bNoDuplicates ? 1 : 0;
    options.m_bFullFormat = m_nFormat == kFormatFull ? 1 : 0;
    options.m_nDefaultApptLength = m_nDefaultApptLength;
    options.m_bDateWithTime = m_bDateWithTime ? 1 : 0;
    options.m_bIgnoreImportErrors = m_bIgnoreImportErrors ? 1 : 0;
    options.m_bExportNoCr = m_bExportNoCr ? 1 : 0;
    options.SetExportFrom(TimeFromDateValue(m_dateExportFrom));
    options.SetExportTo(TimeFromDateValue(m_dateExportTo));
    const CFieldListControl simple(GetDlgItem(IDC_SIMPLE_FIELDS));
    const CFieldListControl repeat(GetDlgItem(IDC_REPEAT_FIELDS));
    options.m_layout.ReadSimpleList(simple);
    options.m_layout.ReadRepeatList(repeat);
}

bool COptionsDlg::ApplyValues() {
    // Values are checked before any is stored, so that a failing one never reaches the
    // record (which the main dialog saves when it closes).
    if (!UpdateData(true))
        return false;
    StoreValues(m_options);
    return true;
}

void COptionsDlg::Apply() {
    (void)ApplyValues();
}

void COptionsDlg::OnOK() {
    if (ApplyValues())
        EndDialog(IDOK);
}

void COptionsDlg::OnAddField() {
    CFieldPopupMenu menu;
    m_options.m_layout.BuildAddFieldMenu(menu);
    const unsigned nCommand = m_btnAddField.TrackMenu(menu.GetMenu());
    if (nCommand < kAddFieldCommandBase)
        return;
    CFieldListControl list(GetDlgItem(IDC_SIMPLE_FIELDS));
    m_options.m_layout.ReadSimpleList(list);
    m_options.m_layout.AddSimpleField(nCommand - kAddFieldCommandBase);
    m_options.m_layout.FillSimpleList(list);
    GetDlgItem(IDC_SIMPLE_FIELDS).SetCurSel(list.GetCount() - 1);
}

void COptionsDlg::OnRemoveField() {
    CDialogItem item = GetDlgItem(IDC_SIMPLE_FIELDS);
    const int nSel = item.GetCurSel();
    if (nSel < 0)
        return;
    CFieldListControl list(item);
    m_options.m_layout.ReadSimpleList(list);
    m_options.m_layout.RemoveSimpleField(nSel);
    m_options.m_layout.FillSimpleList(list);
    const int nCount = item.GetCount();
    if (nCount > 0)
        item.SetCurSel(std::min(nSel, nCount - 1));
}

void COptionsDlg::OnRestoreDefault() {
    m_options.m_layout.RestoreDefault();
    FillLists();
}

void COptionsDlg::OnViewExample() {
    // The example follows what the dialog shows: a copy of the record with the dialog's
    // values, so that the record itself changes only on OK or Save As.
    if (!UpdateData(true))
        return;
    COptions example(m_options);
    StoreValues(example);
    CExampleDlg dlg(example, this);
    (void)dlg.DoModal();
}

void COptionsDlg::OnSaveAs() {
    // The values are checked before a title is asked for; a failing one keeps its message.
    if (!UpdateData(true))
        return;
    CSavedOptionsTitleDlg dlg(this);
    if (dlg.DoModal() != static_cast<int>(IDOK))
        return;
    StoreValues(m_options);
    CSavedOptions::Store(m_options, dlg.GetSetNumber(), dlg.GetTitle());
    (void)MessageBox(LoadMessageText(IDS_OPTIONS_SAVED_AS, {dlg.GetTitle()}), {},
                     EMessageButtons::Ok, EMessageIcon::Information);
}

bool COptionsDlg::PreTranslateKey(unsigned nKey, unsigned nModifiers) {
    if (nKey == VK_DELETE && nModifiers == KM_NONE && GetWindow() &&
        GetWindow()->GetFocus() == IDC_SIMPLE_FIELDS &&
        GetDlgItem(IDC_SIMPLE_FIELDS).GetCurSel() >= 0) {
        OnRemoveField();
        return true;
    }
    return CDialog::PreTranslateKey(nKey, nModifiers);
}

void COptionsDlg::OnHelp(unsigned nControlId) {
    if (nControlId == 0)
        return;
    (void)HtmlHelp(GetHelpFilePath() + kOptionsPopupFile, HH_TP_HELP_WM_HELP, nControlId,
                   GetOptionsHelpTopics());
}

void COptionsDlg::OnContextMenu(unsigned nControlId, int /*x*/, int /*y*/) {
    if (nControlId == 0)
        return;
    (void)HtmlHelp(GetHelpFilePath() + kOptionsPopupFile, HH_TP_HELP_CONTEXTMENU, nControlId,
                   GetOptionsHelpTopics());
}
