#include "ui/ArchiveDlg.h"

#include "engine/Archive.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "settings/Options.h"
#include "ui/DialogDates.h"

CArchiveDlg::CArchiveDlg(COptions& options, CDialog* pParent)
    : CDialog(GetDialogTemplate(IDD_ARCHIVE), pParent), m_options(options) {}

bool CArchiveDlg::OnInitDialog() {
    SetDlgItemText(IDC_ARCHIVE_COUNT, ArchiveCountText(CountArchivable(m_options)));
    m_dateCutoff = DateValueFromTime(m_options.GetExportFrom());
    CDialogItem spin = GetDlgItem(IDC_ARCHIVE_SPIN);
    spin.SetRange(kMinArchiveSize, kMaxArchiveSize);
    spin.SetPos(static_cast<std::int16_t>(m_options.m_nMinSize & 0xFFFF));
    m_nSize = m_options.m_nMinSize;
    m_bOnlyLarger = false;
    return CDialog::OnInitDialog();
}

void CArchiveDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_ARCHIVE_SIZE, m_nSize);
    DDV_MinMaxInt(dx, m_nSize, kMinArchiveSize, kMaxArchiveSize);
    DDX_Check(dx, IDC_ARCHIVE_LARGER, m_bOnlyLarger);
    DDX_DateTime(dx, IDC_ARCHIVE_DATE, m_dateCutoff);
}

void CArchiveDlg::OnOK() {
    if (!UpdateData(true))
        return;
    const int nMarked =
        ArchiveAppointments(m_options, TimeFromDateValue(m_dateCutoff), m_bOnlyLarger, m_nSize);
    (void)MessageBox(ArchiveResultText(nMarked), {}, EMessageButtons::Ok,
                     nMarked < 0 ? EMessageIcon::Exclamation : EMessageIcon::Information);
    EndDialog(IDOK);
}
