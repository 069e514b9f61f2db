// Per-user folders of the user home.
#pragma once

#include <string>

// The documents folder: VARNO_HOME/Documents when VARNO_HOME is set (created when
// missing), else the XDG documents folder when it exists, else the home folder. Empty
// when none can be found.
[[nodiscard]] std::string GetDocumentsFolder();

// The folder for a program's own data, `name` below VARNO_HOME when it is set, else below
// $XDG_DATA_HOME/varno, else below ~/.local/share/varno. Not created here.
[[nodiscard]] std::string GetUserDataFolder(const std::string& name);
