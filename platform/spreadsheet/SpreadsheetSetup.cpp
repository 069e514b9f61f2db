#include "platform/spreadsheet/SpreadsheetSetup.h"

#include "platform/com/ClassRegistry.h"
#include "platform/registry/Registry.h"
#include "platform/spreadsheet/SpreadsheetObjects.h"

#include <string>

namespace {

constexpr const char* kClassDescription = "Spreadsheet Application";
// What stands where a server module's file name would: the component is built into the
// program and registers its class factory itself.
constexpr const char* kInprocDescription = "varno_spreadsheet (built in)";

bool SetDefault(ERegHive hive, const std::string& path, const std::string& value) {
    CRegKey key;
    return key.Create(hive, path) == REG_STATUS_OK && key.SetString("", value) == REG_STATUS_OK;
}

} // namespace

void RegisterSpreadsheetClass() {
    const CComPtr<IClassFactory> pFactory = NewSpreadsheetClassFactory();
    static_cast<void>(CoRegisterClassObject(CLSID_SpreadsheetApplication, pFactory.Get()));
}

bool WriteSpreadsheetRegistration() {
    const std::string clsid = FormatGuid(CLSID_SpreadsheetApplication);
    const std::string classKey = ClassKeyPath(CLSID_SpreadsheetApplication);
    const std::string progId = kSpreadsheetProgId;
    CRegKey office;
    return SetDefault(ERegHive::ClassesRoot, progId, kClassDescription) &&
           SetDefault(ERegHive::ClassesRoot, progId + "\\CLSID", clsid) &&
           SetDefault(ERegHive::ClassesRoot, classKey, kClassDescription) &&
           SetDefault(ERegHive::ClassesRoot, classKey + "\\ProgID", progId) &&
           SetDefault(ERegHive::ClassesRoot, classKey + "\\InprocServer32", kInprocDescription) &&
           office.Create(ERegHive::LocalMachine, kOfficeKey) == REG_STATUS_OK;
}

void EnsurePlatformSetup() {
    RegisterSpreadsheetClass();
    CRegKey platform;
    std::uint32_t nDone = 0;
    if (platform.Open(ERegHive::LocalMachine, kPlatformKey) == REG_STATUS_OK &&
        platform.QueryDword(kSetupDoneValue, nDone) == REG_STATUS_OK && nDone != 0)
        return;
    // Registry failures are not reported: without the registration the spreadsheet is
    // simply unavailable, and the next start tries again.
    if (WriteSpreadsheetRegistration() &&
        platform.Create(ERegHive::LocalMachine, kPlatformKey) == REG_STATUS_OK)
        static_cast<void>(platform.SetDword(kSetupDoneValue, 1));
}
