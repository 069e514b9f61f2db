#include "ui/ExampleDlg.h"

#include "formats/ExampleFormat.h"
#include "platform/locale/LocalTime.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"

CExampleDlg::CExampleDlg(COptions& options, CDialog* pParent)
    : CDialog(GetDialogTemplate(IDD_EXAMPLE), pParent), m_options(options) {}

bool CExampleDlg::OnInitDialog() {
    m_strExample = BuildExampleText(m_options, static_cast<TimeValue>(CurrentTime()));
    return CDialog::OnInitDialog();
}

void CExampleDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_EXAMPLE_TEXT, m_strExample);
}

void CExampleDlg::OnSize(int cxClient, int cyClient) {
    CDialogItem edit = GetDlgItem(IDC_EXAMPLE_TEXT);
    if (cxClient == 0 || cyClient == 0 || !edit.Exists())
        return;
    const CRect rcEdit = edit.GetRect();
    const int mx = rcEdit.x;
    const int my = rcEdit.y;
    CDialogItem ok = GetDlgItem(IDOK);
    const CRect rcOk = ok.GetRect();
    const int nBottom = cyClient - rcOk.cy - 2 * my;
    edit.Move({mx, my, cxClient - 3 * mx, nBottom - my});
    ok.Move({(cxClient - rcOk.cx) / 2, nBottom + my, rcOk.cx, rcOk.cy});
}
