// The resources of a server module as other modules read them: images by resource number
// and the string values of its version resource. A module offers them through two
// exported functions with C linkage; the reader finds the module by its instance handle
// (any address inside it: the handle a module hands out is the base address it was loaded
// at) and copies what it needs while the module is loaded.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The PNG bytes of image nId drawn at nSize pixels (0: its default drawing); null with
// *pcb = 0 when the module has no such image.
using FModuleImageResource = const unsigned char* (*)(unsigned nId, int nSize, std::size_t* pcb);
// A string value of the version resource ("FileVersion", ...); null when missing.
using FModuleVersionValue = const char* (*)(const char* pszName);

inline constexpr const char* kModuleImageResource = "VarnoModuleImageResource";
inline constexpr const char* kModuleVersionValue = "VarnoModuleVersionValue";

// The instance handle of the module that holds an address: the base address it was loaded
// at; null when the address belongs to no loaded file.
[[nodiscard]] void* ModuleHandleOf(const void* pAddress);
// The file of a loaded module; empty when the handle names none.
[[nodiscard]] std::string ModuleFileOf(const void* hModule);

// A copy of an image of the module loaded at hModule; empty when the handle names no loaded
// module, the module offers no images or lacks this one.
[[nodiscard]] std::vector<unsigned char> LoadModuleImage(const void* hModule, unsigned nId,
                                                         int nSize = 0);
// A version value of the module file at path (loaded for the look-up when it is not);
// empty when the module or the value is missing.
[[nodiscard]] std::string ReadModuleVersionValue(const std::string& path, const char* pszName);
