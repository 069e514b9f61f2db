// The identifiers and registered names of the module VARNOAddIn, shared by the module and
// the programs that look for it.
#pragma once

#include "platform/com/Guid.h"

// The add-in class.
// {982A353D-8CDA-445B-8CDD-AEC4AF6FD009}
inline constexpr GUID CLSID_VARNOAddInAddin{
    0x982A353D, 0x8CDA, 0x445B, {0x8C, 0xDD, 0xAE, 0xC4, 0xAF, 0x6F, 0xD0, 0x09}};
// The command class: created by the add-in object only, described in the type library.
// {4C1B75D3-3C01-4E76-A24F-7E72E4C0C7E5}
inline constexpr GUID CLSID_VARNOAddInCommand{
    0x4C1B75D3, 0x3C01, 0x4E76, {0xA2, 0x4F, 0x7E, 0x72, 0xE4, 0xC0, 0xC7, 0xE5}};
// The type library VARNOAddInAddinLib.
// {4CC361A7-A38E-4E91-A72E-648A7E788C2B}
inline constexpr GUID LIBID_VARNOAddInAddinLib{
    0x4CC361A7, 0xA38E, 0x4E91, {0xA7, 0x2E, 0x64, 0x8A, 0x7E, 0x78, 0x8C, 0x2B}};

inline constexpr const char* kAddinProgId = "VARNOAddIn.VARNOAddInAddin.1";
inline constexpr const char* kAddinIndependentProgId = "VARNOAddIn.VARNOAddInAddin";
inline constexpr const char* kAddinClassName = "VARNOAddIn Addin Class";
// The name the host's add-in manager shows.
inline constexpr const char* kAddinDisplayName = "VARNOAddIn Addin";
inline constexpr const char* kAddinModuleFile = "VARNOAddIn.so";

// The command as the host knows it.
inline constexpr const char* kCommandName = "VARNOAddInCommand";
// Menu entry, long description and short description, separated by tabs.
inline constexpr const char* kCommandMenuText =
    "&VARNO\tDatebook Import/Export in a variety of formats\tDatebook Import/Export";
// Passed to the host with the image and the text; its meaning is the host's.
inline constexpr long kCommandMenuValue = 4;

// The add-in framework version the objects implement.
inline constexpr long kFrameworkVersion = 2;
