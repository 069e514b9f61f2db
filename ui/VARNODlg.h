// The main dialog: the current user, up to five filter rows, the status line with the
// number of appointments an export would write, a progress bar, and the buttons and menu
// that start every operation. It edits the options record its caller owns and saves it
// however it is closed.
#pragma once

#include "platform/dialogs/Dialog.h"
#include "ui/ImageButton.h"

#include <exception>
#include <string>

class COptions;
struct IDispatch;

class CVARNODlg : public CDialog {
public:
    explicit CVARNODlg(COptions* pOptions, CDialog* pParent = nullptr);

    // Runs the dialog modally: IDOK (Enter, Close) or IDCANCEL (Escape, the close box). An
    // exception that an operation did not handle itself (a failing host call) ends the
    // dialog without saving and is raised again here, for the command to report.
    int DoModal();

    [[nodiscard]] const std::string& GetStatusText() const { return m_strStatus; }

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    bool OnCommand(unsigned nId, ENotify code) override;
    void OnOK() override;
    void OnCancel() override;
    void OnHelp(unsigned nControlId) override;

private:
    bool RouteCommand(unsigned nId, ENotify code);

    void OnImport();
    void OnExport();
    void OnOptions();
    void OnClose();
    void OnRemoveAll();
    void OnArchive();
    void OnMaintain();
    void OnSavedSet(int nSet);

    // Counts what an export would write and shows it; updates the saved-set check marks.
    void Recount();
    void BuildSavedSetMenu();
    void UpdateSavedSetChecks();
    // Rows in use (0 with the filter off): rows shown and enabled; the status line,
    // progress bar, buttons and the dialog's height follow the last row.
    void LayoutFilterRows(int nRows);
    void FillFilterControls();
    // The check box and the rows' controls into the filter; a recount when bRecount.
    void ApplyFilterControls(bool bRecount);
    // The types and texts shown into the filter rows; joins are kept.
    void StoreRowTypesAndTexts();
    void OnJoinChange(int nRow);
    // Takes the control values and the filter controls, then saves the options.
    void SaveControlValues();

    int m_bExcelAvailable = 0;
    CImageButton m_btnImport;
    CImageButton m_btnExport;
    CImageButton m_btnOptions;
    CDialogProgress m_progress;
    std::string m_strStatus;
    bool m_bFilter = false;
    std::string m_strUserName;
    std::string m_strImportFilter;
    std::string m_strExportFilter;
    COptions* m_pOptions;
    std::exception_ptr m_pError;
};

// What the host's command does (the add-in's one command): a fresh options record for the
// host's current user, loaded; the main dialog run modally on it; the options saved once
// more when it ends with OK. A failing host call is shown as "Error during Import/Export".
// Returns the dialog's result, -1 when it failed.
int RunMainDialogCommand(IDispatch* pHost);
