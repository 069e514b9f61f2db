// The help viewer: shows the module's help book at its default topic, or the text popup
// of a control. The viewer is a component loaded on first use (the windowing library
// registers it); when it cannot be loaded every help call returns at once, showing
// nothing. Help files are named as the program names them, "<module>.chm", with an
// optional "::/<popup file>" part; the viewer reads the HTML help book "<module>.htb"
// beside that name.
#pragma once

#include <span>
#include <string>
#include <string_view>

// Help commands, with the platform's numbers.
enum EHelpCommand : unsigned {
    HH_DISPLAY_TOPIC = 0x0000,
    HH_TP_HELP_CONTEXTMENU = 0x0010,
    HH_TP_HELP_WM_HELP = 0x0011,
};

// One control's text-popup topic.
struct CHelpTopic {
    unsigned m_nControlId;
    unsigned m_nTopic;
};

// What a loaded viewer does.
class CHelpViewerBackend {
public:
    virtual ~CHelpViewerBackend();
    // Shows the book's default topic; false when the book cannot be shown.
    virtual bool ShowBook(const std::string& strBookPath) = 0;
    // Reads a text file inside the book; false when it is missing.
    virtual bool ReadBookFile(const std::string& strBookPath, const std::string& strName,
                              std::string& strText) = 0;
    // Shows a text popup near the mouse.
    virtual void ShowPopup(const std::string& strText) = 0;
};

// The loader of the viewer, registered by the windowing library; null when none exists.
using HelpViewerLoader = CHelpViewerBackend* (*)();
void RegisterHelpViewerLoader(HelpViewerLoader pfnLoader);
// Forgets the loaded viewer and the failed load, so that the next call loads again.
void ResetHelpViewer();

// The book of a help file name: "x.chm" (maybe followed by "::/file") gives "x.htb"; the
// part after "::/" goes to strInner.
[[nodiscard]] std::string HelpBookPath(std::string_view helpFile, std::string* pInner = nullptr);
// The text of topic nTopic in a popup text file: lines ".topic <number>" each followed by
// the topic's text up to the next ".topic" line. Empty when the topic is missing.
[[nodiscard]] std::string FindPopupText(std::string_view fileText, unsigned nTopic);

// Calls the viewer: HH_DISPLAY_TOPIC shows the book of helpFile; the two popup commands
// show the topic of control nControlId from the table, read from the popup file named in
// helpFile. Returns false when nothing was shown.
bool HtmlHelp(std::string_view helpFile, EHelpCommand command, unsigned nControlId = 0,
              std::span<const CHelpTopic> topics = {});

// The module's help file path, as the program sets it.
void SetHelpFilePath(const std::string& strPath);
[[nodiscard]] const std::string& GetHelpFilePath();
