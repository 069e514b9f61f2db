// The module's dialog templates, menu and accelerator table, as data.
#pragma once

#include "platform/dialogs/DialogTemplate.h"

#include <span>

// The template of a dialog resource number; null when the module has none.
[[nodiscard]] const CDialogTemplate* FindDialogTemplate(unsigned nId);
// The template of a dialog the module has; stops the program when it is missing, which
// only a build with a wrong number can cause.
[[nodiscard]] const CDialogTemplate& GetDialogTemplate(unsigned nId);
[[nodiscard]] std::span<const CDialogTemplate> AllDialogTemplates();
[[nodiscard]] const CMenuTemplate& GetMainMenuTemplate();
[[nodiscard]] const CAcceleratorTable& GetMainAccelerators();

// The maker's web page of the about dialog, shown and followed.
inline constexpr const char* kMakerWebPage = "https://www.brenmark.example/varno";
