// The module's dialog templates, menu and accelerator table, as data.
#pragma once

#include "platform/dialogs/DialogTemplate.h"
#include "platform/shell/HelpViewer.h"

#include <span>

// The template of a dialog resource number; null when the module has none.
[[nodiscard]] const CDialogTemplate* FindDialogTemplate(unsigned nId);
// The template of a dialog the module has; stops the program when it is missing, which
// only a build with a wrong number can cause.
[[nodiscard]] const CDialogTemplate& GetDialogTemplate(unsigned nId);
[[nodiscard]] std::span<const CDialogTemplate> AllDialogTemplates();
[[nodiscard]] const CMenuTemplate& GetMainMenuTemplate();
[[nodiscard]] const CAcceleratorTable& GetMainAccelerators();

// The options dialog's controls and their text-popup topics in the help book's
// "options.txt".
[[nodiscard]] std::span<const CHelpTopic> GetOptionsHelpTopics();
// The popup file of the options dialog's topics, appended to the help file's name.
inline constexpr const char* kOptionsPopupFile = "::/options.txt";

// The maker's web page of the about dialog, shown and followed.
inline constexpr const char* kMakerWebPage = "https://www.brenmark.example/varno";
