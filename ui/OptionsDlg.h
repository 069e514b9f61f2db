// The options dialog: export format and date range, general, import and CSV settings, and
// the field mapping (the order of the simple and repeat fields, which fields the simple
// layout holds). Plain settings are copies until OK or Save As applies them; Add Field,
// Remove Field and Restore Default change the record's layouts at once.
#pragma once

#include "platform/dialogs/Dialog.h"
#include "ui/ImageButton.h"
#include "ui/MenuButton.h"

#include <string>

class COptions;

class COptionsDlg : public CDialog {
public:
    COptionsDlg(COptions& options, CDialog* pParent = nullptr);

    // Takes and validates the dialog's values and stores them in the record: plain
    // settings, export range (as days back and ahead of today) and both field layouts in
    // list order. A failing value shows its message and stores nothing.
    void Apply();
    // Apply, telling whether the values passed.
    [[nodiscard]] bool ApplyValues();

    // Button actions, also reachable as clicks on their controls.
    void OnAddField();
    void OnRemoveField();
    void OnRestoreDefault();
    void OnViewExample();
    void OnSaveAs();

    // The default appointment length takes 1 to 999 minutes; the exception date
    // separator at most one character.
    static constexpr int kMinDefaultLength = 1;
    static constexpr int kMaxDefaultLength = 999;
    static constexpr int kMaxExceptionSeparatorChars = 1;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    bool OnCommand(unsigned nId, ENotify code) override;
    void OnOK() override;
    bool PreTranslateKey(unsigned nKey, unsigned nModifiers) override;
    void OnHelp(unsigned nControlId) override;
    void OnContextMenu(unsigned nControlId, int x, int y) override;

private:
    // The date pickers serve the simple format, the repeat list the full format.
    void EnableForFormat();
    void FillLists();
    // Copies the dialog's values into a record.
    void StoreValues(COptions& options) const;

    COptions& m_options;
    CImageButton m_btnRemoveField;
    CMenuButton m_btnAddField;

    bool m_bNoDuplicates = false;
    std::string m_strSeparator;
    bool m_bDateWithTime = false;
    bool m_bIgnoreImportErrors = false;
    bool m_bExportNoCr = false;
    int m_nFormat = 1; // radio index: 0 full, 1 simple
    std::string m_strExceptionDateSeparator;
    std::string m_strQuote;
    int m_nDefaultApptLength = 0;
    CDateValue m_dateExportFrom;
    CDateValue m_dateExportTo;
};
