// Module state: which module's resources and help file the dialogs use at the moment. A
// program and every module it loads have their own images and help book; a module's
// objects enter its state for the length of each call from outside (CModuleStateScope),
// and the dialogs they open find that module's images and help path.
#pragma once

#include <span>
#include <string>

// The PNG bytes of an image resource at a size (0: its default drawing).
using FFindImage = std::span<const unsigned char> (*)(unsigned nId, int nSize);

struct CModuleState {
    std::string m_strName;         // the module's name, without folder and extension
    std::string m_strHelpFilePath; // "<folder>/<name>.hlp" until a command points it at the book
    FFindImage m_pfnFindImage = nullptr;
};

// Enters a module's state: its help path becomes the process's help path; leaving it
// keeps what the module changed in its state and restores the previous state and path.
class CModuleStateScope {
public:
    explicit CModuleStateScope(CModuleState& state);
    ~CModuleStateScope();
    CModuleStateScope(const CModuleStateScope&) = delete;
    CModuleStateScope& operator=(const CModuleStateScope&) = delete;

private:
    CModuleState& m_state;
    CModuleState* m_pPrevious;
    std::string m_strPreviousHelp;
};

// The state entered now; null when no module's state is entered (the program's own).
[[nodiscard]] CModuleState* GetCurrentModuleState();

// An image of the current module; empty when it has none or no module state is entered.
[[nodiscard]] std::span<const unsigned char> FindModuleImage(unsigned nId, int nSize);
