// The "Saved Options" dialog: the saved option sets sorted by title, each list item
// carrying its set number; saves the current options as a set, renames and removes sets.
#pragma once

#include "platform/dialogs/Dialog.h"

class COptions;

class CSavedOptionsDlg : public CDialog {
public:
    CSavedOptionsDlg(COptions& options, CDialog* pParent = nullptr);

    // Button actions, also reachable as clicks on their controls.
    void OnSaveCurrent();
    void OnRename();
    void OnRemove();

protected:
    bool OnInitDialog() override;
    bool OnCommand(unsigned nId, ENotify code) override;

private:
    // Clears the list, adds every set's title with its number, and selects the set that
    // equals the current options.
    void FillList();
    // "Re&name..." and "&Remove" are enabled exactly when the list has a selection.
    void EnableButtons();
    // The set number of the selected item; -1 without a selection.
    [[nodiscard]] int SelectedSet() const;

    COptions& m_options;
};
