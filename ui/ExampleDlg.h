// The example of the options dialog: the header row and one sample row of an export with
// the options being edited, in a read-only text box that follows the window's size.
#pragma once

#include "platform/dialogs/Dialog.h"

#include <string>

class COptions;

class CExampleDlg : public CDialog {
public:
    CExampleDlg(COptions& options, CDialog* pParent = nullptr);

    [[nodiscard]] const std::string& GetExampleText() const { return m_strExample; }

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    void OnSize(int cxClient, int cyClient) override;

private:
    std::string m_strExample;
    COptions& m_options;
};
