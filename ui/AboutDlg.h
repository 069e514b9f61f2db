// The about dialog: picture, program line, maker's notice, web link and version.
#pragma once

#include "platform/dialogs/Dialog.h"
#include "ui/HyperLink.h"

#include <string>

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CDialog* pParent = nullptr);

    // "major.minor.patch" of the module's version as the build sets it; empty when the
    // build gave none or it does not read as three numbers.
    [[nodiscard]] static std::string VersionText();

protected:
    bool OnInitDialog() override;

private:
    CHyperLink m_link;
};
