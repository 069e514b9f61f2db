// The archive dialog: how many appointments the filter selects and their estimated size,
// the last day to archive and an optional minimum size; "&Archive" marks the matching
// appointments for archival at the next synchronisation.
#pragma once

#include "platform/dialogs/Dialog.h"

#include <cstdint>

class COptions;

class CArchiveDlg : public CDialog {
public:
    CArchiveDlg(COptions& options, CDialog* pParent = nullptr);

    [[nodiscard]] std::int32_t GetSize() const { return m_nSize; }
    [[nodiscard]] bool GetOnlyLarger() const { return m_bOnlyLarger; }
    [[nodiscard]] const CDateValue& GetCutoff() const { return m_dateCutoff; }

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override;

private:
    COptions& m_options;
    int m_nSize = 0;            // bytes, 100 .. 9999 when taken
    bool m_bOnlyLarger = false; // off every time the dialog opens
    CDateValue m_dateCutoff;
};
