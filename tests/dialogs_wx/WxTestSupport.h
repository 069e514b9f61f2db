// Driving wx windows under Xvfb as a user does: controls by program id, simulated keys and
// clicks, and steps run later from the event loop (also while a modal dialog of the system
// holds the screen).
#pragma once

#include "platform/dialogs/wx/WxSurface.h"

#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/utils.h>
#include <wx/window.h>

#include <gtest/gtest.h>

#include <functional>

inline wxWindow* WindowOf(unsigned nId) {
    return wxWindow::FindWindowById(WxIdFromProgramId(nId));
}

// Lets the window system catch up: mapping, focus, pending input.
inline void Settle() {
    for (int i = 0; i < 10; ++i) {
        wxYield();
        wxMilliSleep(10);
    }
}

inline void PressKey(int nKey, int nModifiers = wxMOD_NONE) {
    wxUIActionSimulator sim;
    sim.Char(nKey, nModifiers);
    Settle();
}

inline void ClickOn(unsigned nId) {
    wxWindow* pWindow = WindowOf(nId);
    ASSERT_NE(pWindow, nullptr);
    wxUIActionSimulator sim;
    sim.MouseMove(pWindow->GetScreenRect().GetPosition() + pWindow->GetSize() / 2);
    Settle();
    sim.MouseClick();
    Settle();
}

// Runs fn after a while from the event loop.
class CLater {
public:
    CLater(int nMilliseconds, std::function<void()> fn) : m_fn(std::move(fn)) {
        m_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { m_fn(); });
        m_timer.StartOnce(nMilliseconds);
    }

private:
    std::function<void()> m_fn;
    wxTimer m_timer;
};
