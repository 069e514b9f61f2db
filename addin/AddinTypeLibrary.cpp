// The type library VARNOAddInAddinLib: both coclasses and both dual interfaces of the
// module, with the dispatch ids of their methods.
#include "addin/AddinIds.h"
#include "addin/AddinModule.h"
#include "host/AddinInterfaces.h"

namespace {

constexpr SParamDesc kInitializeParams[] = {Param<IUnknown*>("pUnk"), Param<ULONG>("dwCookie"),
                                            Param<ULONG>("dwDesktopVersion"), Param<LONG>("lParam"),
                                            Param<BOOL*>("pbSuccess")};
constexpr SParamDesc kFrameworkVersionParams[] = {RetvalParam<LONG*>("plVersion")};
constexpr SParamDesc kParentParams[] = {Param<HWND>("hWndParent")};

constexpr SMethodDesc kAddinMethods[] = {
    DispMethod<&IDesktopAddin::OnInitialize>("OnInitialize", 1, kInitializeParams),
    DispMethod<&IDesktopAddin::OnUninitialize>("OnUninitialize", 2),
    DispMethod<&IDesktopAddin::GetFrameworkVersion>("GetFrameworkVersion", 3,
                                                    kFrameworkVersionParams),
    DispMethod<&IDesktopAddin::ShowAboutBox>("ShowAboutBox", 4, kParentParams),
    DispMethod<&IDesktopAddin::ShowProperties>("ShowProperties", 5, kParentParams),
};
constexpr SMethodDesc kCommandMethods[] = {
    DispMethod<&IDesktopCommand::OnCommand>("OnCommand", 1),
};

constexpr SInterfaceDesc kInterfaces[] = {
    {"IDesktopAddin", IID_IDesktopAddin, "IDesktopAddin Interface", kAddinMethods},
    {"IDesktopCommand", IID_IDesktopCommand, "IDesktopCommand Interface", kCommandMethods},
};
constexpr GUID kAddinInterfaces[] = {IID_IDesktopAddin};
constexpr GUID kCommandInterfaces[] = {IID_IDesktopCommand};
constexpr SCoClassDesc kCoClasses[] = {
    {"VARNOAddInAddin", CLSID_VARNOAddInAddin, "VARNOAddInAddin Class", kAddinInterfaces},
    {"VARNOAddInCommand", CLSID_VARNOAddInCommand, "VARNOAddInCommand Class", kCommandInterfaces},
};
constexpr STypeLibDesc kTypeLib{"VARNOAddInAddinLib",
                                LIBID_VARNOAddInAddinLib,
                                1,
                                0,
                                "VARNOAddIn Palm Desktop Addin 1.0 Type Library",
                                kInterfaces,
                                kCoClasses};

} // namespace

const STypeLibDesc& AddinTypeLibrary() {
    return kTypeLib;
}
