#include "settings/SavedOptions.h"

#include "platform/locale/CodePage.h"
#include "platform/registry/Registry.h"
#include "settings/Options.h"
#include "settings/RegistryValues.h"

std::string CSavedOptions::GetKeyPath(int nSet) {
    return std::string(kOptionsKey) + std::to_string(nSet);
}

int CSavedOptions::GetCount() {
    int nCount = 0;
    while (nCount < kMaxSavedOptions && !GetTitle(nCount).empty())
        ++nCount;
    return nCount;
}

std::string CSavedOptions::GetTitle(int nSet) {
    return ReadRegString(GetKeyPath(nSet), "settitle", "");
}

int CSavedOptions::FindByTitle(const std::string& strTitle) {
    const std::string strWanted = LowerCase(strTitle);
    const int nCount = GetCount();
    for (int i = 0; i < nCount; ++i) {
        if (LowerCase(GetTitle(i)) == strWanted)
            return i;
    }
    return nCount;
}

void CSavedOptions::Load(int nSet, COptions& options) {
    if (nSet < 0)
        return;
    options.LoadFromKey(GetKeyPath(nSet));
}

void CSavedOptions::Store(COptions& options, int nSet, const std::string& strTitle) {
    if (nSet < 0)
        return;
    options.m_strSetTitle = strTitle;
    options.SaveToKey(GetKeyPath(nSet));
}

int CSavedOptions::Rename(int nSet, const std::string& strTitle) {
    const int nCount = GetCount();
    if (nSet < 0 || nSet >= nCount)
        return -1;
    const int nTarget = FindByTitle(strTitle);
    COptions options;
    Load(nSet, options);
    if (nTarget < nCount && nTarget != nSet) {
        Store(options, nTarget, strTitle);
        Remove(nSet);
        // The sets after the removed one moved down by one.
        return nTarget > nSet ? nTarget - 1 : nTarget;
    }
    Store(options, nSet, strTitle);
    return nSet;
}

void CSavedOptions::Remove(int nSet) {
    const int nCount = GetCount();
    // A number that names no set would otherwise delete the last set.
    if (nSet < 0 || nSet >= nCount)
        return;
    for (int j = nSet + 1; j < nCount; ++j) {
        COptions options;
        Load(j, options);
        const std::string strTitle = options.m_strSetTitle;
        Store(options, j - 1, strTitle);
    }
    (void)RegDeleteTree(ERegHive::CurrentUser, GetKeyPath(nCount - 1));
}

int CSavedOptions::FindEqual(const COptions& options) {
    const int nCount = GetCount();
    for (int i = 0; i < nCount; ++i) {
        COptions saved;
        Load(i, saved);
        if (saved.IsSameAs(options))
            return i;
    }
    return -1;
}
