// What the program's operations ask of the user interface: message boxes, a progress bar,
// the wait cursor and the message pump that keeps windows alive during long work. The
// front end (the windows, the command line, tests) provides the implementation; the
// operations only see these interfaces, so the same code runs everywhere.
#pragma once

#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

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

// The services of this process: those a front end installed, else a headless set that
// answers every message box with OK.
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

// Services without a display, for tests and batch runs: message boxes are answered from a
// script (OK when it runs out) and recorded; the quit request can be raised after a given
// number of dispatched messages.
class CHeadlessUserServices : public CUserServices {
public:
    struct CShownMessage {
        std::string m_strText;
        EMessageButtons m_buttons;
        EMessageIcon m_icon;
    };

    EMessageAnswer ShowMessage(std::string_view text, EMessageButtons buttons,
                               EMessageIcon icon) override;
    void BeginWaitCursor() override { ++m_nWaitDepth; }
    void EndWaitCursor() override {
        if (m_nWaitDepth > 0)
            --m_nWaitDepth;
    }
    void RestoreWaitCursor() override { ++m_nWaitRestores; }
    bool DispatchWaitingMessage(bool& bQuit) override;
    void PostQuit() override { m_bQuitPosted = true; }
    bool OnIdle(long) override { return false; }

    // The answers of the next message boxes, in order.
    void ScriptAnswers(std::initializer_list<EMessageAnswer> answers) {
        m_queAnswers.insert(m_queAnswers.end(), answers);
    }
    // After n more pumps (each PumpWaitingMessages call), the application quits.
    void QuitAfterPumps(int n) { m_nPumpsUntilQuit = m_nPumps + n; }

    std::vector<CShownMessage> m_vecShown;
    int m_nWaitDepth = 0;
    int m_nWaitRestores = 0;
    int m_nPumps = 0;
    bool m_bQuitPosted = false;

private:
    std::deque<EMessageAnswer> m_queAnswers;
    int m_nPumpsUntilQuit = -1;
    bool m_bDispatchedThisPump = false;
};

// A progress bar that remembers what it was told.
class CHeadlessProgress : public CProgressControl {
public:
    void SetRange(int nLower, int nUpper) override {
        m_nLower = nLower;
        m_nUpper = nUpper;
    }
    void SetPos(int nPos) override { m_vecPositions.push_back(nPos); }
    void Show(bool bShow) override { m_bVisible = bShow; }

    int m_nLower = 0;
    int m_nUpper = 100;
    std::vector<int> m_vecPositions;
    bool m_bVisible = false;
};
