// The title dialog of a saved option set: a combo with the titles of all sets. OK with an
// empty title keeps the dialog open; otherwise the chosen set is the existing set of that
// title (ignoring case) or a new set at the end.
#pragma once

#include "platform/dialogs/Dialog.h"

#include <string>

class CSavedOptionsTitleDlg : public CDialog {
public:
    explicit CSavedOptionsTitleDlg(CDialog* pParent = nullptr);

    // The title shown when the dialog opens, and the one entered once it ended with OK.
    void SetTitle(const std::string& strTitle) { m_strTitle = strTitle; }
    [[nodiscard]] const std::string& GetTitle() const { return m_strTitle; }
    // The set the title chose; meaningful after OK.
    [[nodiscard]] int GetSetNumber() const { return m_nSet; }

    static constexpr int kMaxTitleChars = 50;
    // Shown for a new title when every set number is taken.
    static constexpr const char* kTooManySetsMessage =
        "There are 100 saved option sets already.\n\nChoose the title of a set to replace, "
        "or remove a set first.";

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override;

private:
    std::string m_strTitle;
    int m_nSet = 0;
};
