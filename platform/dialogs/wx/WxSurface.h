// The wxWidgets 3.2 surface of the dialog framework. The application (the host window or a
// test program) owns the one wxApp; this surface only makes windows. Templates are laid
// out with x and width from dialog units, each control's natural height, and rows never
// closer than the previous row's bottom plus a small gap.
#pragma once

#include "platform/dialogs/DialogSurface.h"

#include <functional>
#include <span>

class CWxSurface : public CDialogSurface {
public:
    // The PNG bytes of an icon or bitmap resource at a size (0: its default drawing).
    using ImageSource = std::function<std::span<const unsigned char>(unsigned nId, int nSize)>;

    explicit CWxSurface(ImageSource imageSource);
    ~CWxSurface() override;

    // The application is closing (the host calls this from its close handling): the next
    // pump reports the quit request.
    void RequestQuit() { m_bQuitRequested = true; }

    [[nodiscard]] std::unique_ptr<CDialogWindow>
    CreateDialogWindow(const CDialogTemplate& dialogTemplate, CDialogWindow* pParent,
                       IDialogEvents& events) override;
    [[nodiscard]] EMessageAnswer MessageBox(std::string_view text, std::string_view caption,
                                            EMessageButtons buttons, EMessageIcon icon) override;
    [[nodiscard]] CFileDialogResult RunFileDialog(const CFileDialogRequest& request) override;
    void Beep() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void RestoreWaitCursor() override;
    bool DispatchWaitingMessage(bool& bQuit) override;
    void PostQuit() override;
    bool OnIdle(long nCount) override;

    [[nodiscard]] const ImageSource& GetImageSource() const { return m_imageSource; }

private:
    ImageSource m_imageSource;
    int m_nWaitDepth = 0;
    bool m_bQuitRequested = false;
};

// Program ids (controls and menu commands, some 0x7FFF and above) and the wx ids that
// stand for them, in one table for the process.
[[nodiscard]] int WxIdFromProgramId(unsigned nId);
// 0 when the wx id stands for no program id.
[[nodiscard]] unsigned ProgramIdFromWxId(int nWxId);

// Installs the help viewer of wx (HTML help books) as the loader of platform/shell.
void RegisterWxHelpViewer();
