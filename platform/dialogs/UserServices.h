// What the program's operations ask of the user interface: message boxes, a progress bar,
// the wait cursor and the message pump that keeps windows alive during long work. The
// front end (the windows, the command line, tests) provides the implementation; the
// operations only see these interfaces, so the same code runs everywhere.
#pragma once

#include <string>
#include <string_view>

enum class EMessageButtons { Ok, OkCancel };
enum class EMessageIcon { None, Information, Exclamation, Question, Stop };
enum class EMessageAnswer { Ok, Cancel };

// A progress bar. The range is 16 bits wide, as the platform's control holds it.
class CProgressControl {
public:
    virtual ~CProgressControl();
    virtual void SetRange(int nLower, int nUpper) = 0;
    virtual void SetPos(int nPos) = 0;
    virtual void Show(bool bShow) = 0;
};

class CUserServices {
public:
    virtual ~CUserServices();

    // Text in the system code page; the caption is the module's name. Returns the answer
    // (Ok for an Ok-only box).
    virtual EMessageAnswer ShowMessage(std::string_view text, EMessageButtons buttons,
                                       EMessageIcon icon) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // Shows the wait cursor again after a message box took it away.
    virtual void RestoreWaitCursor() = 0;
    // Dispatches one waiting message; false when none waits. Sets bQuit when the message
    // was the application's quit request.
    virtual bool DispatchWaitingMessage(bool& bQuit) = 0;
    // Puts the quit request back so that the application's own loop sees it too.
    virtual void PostQuit() = 0;
    // Idle work with a growing count; false when no more is wanted.
    virtual bool OnIdle(long nCount) = 0;
};

// The services of this process: those a front end installed, else the headless surface,
// which answers every message box with OK.
[[nodiscard]] CUserServices& GetUserServices();
// Installs a front end's services (null restores the default); the caller keeps ownership
// and must outlive its use.
void SetUserServices(CUserServices* pServices);

// The caption of every message box: the module's name.
inline constexpr const char* kModuleName = "VARNOAddIn";

// The wait cursor for a scope.
class CWaitCursor {
public:
    CWaitCursor() { GetUserServices().BeginWaitCursor(); }
    ~CWaitCursor() { GetUserServices().EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore() { GetUserServices().RestoreWaitCursor(); }
};
