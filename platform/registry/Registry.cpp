#include "platform/registry/Registry.h"

#include "platform/registry/HiveStore.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <memory>

namespace {

bool IsValidPath(std::string_view path) {
    std::vector<std::string_view> parts;
    return SplitKeyPath(path, parts);
}

// The folder holding the key at path and the key's own name; path is valid and not empty.
std::pair<std::string_view, std::string_view> SplitParent(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos)
        return {std::string_view(), path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    struct passwd entry;
    struct passwd* pResult = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &pResult) == 0 && pResult &&
        pResult->pw_dir && *pResult->pw_dir)
        return pResult->pw_dir;
    return "."; // no home at all: relative to the working folder
}

// Calls read(key) on the current content of the key at path; REG_STATUS_KEY_DELETED when
// the key is gone.
template <typename Reader>
ERegStatus ReadKey(ERegHive hive, const std::string& path, Reader&& read) {
    return HiveStoreFor(hive)->Read([&](const CHiveKey& root) {
        const CHiveKey* pKey = FindKeyPath(root, path);
        return pKey ? read(*pKey) : REG_STATUS_KEY_DELETED;
    });
}

// The name of a subkey or value by position.
template <typename Item>
ERegStatus NameAt(const std::vector<Item>& items, std::uint32_t index, std::string& name) {
    if (index >= items.size())
        return REG_STATUS_NO_MORE_ITEMS;
    name = items[index].m_strName;
    return REG_STATUS_OK;
}

template <typename Item>
ERegStatus AllNames(const std::vector<Item>& items, std::vector<std::string>& names) {
    for (const Item& item : items)
        names.push_back(item.m_strName);
    return REG_STATUS_OK;
}

ERegStatus DeleteKey(ERegHive hive, std::string_view path, bool bTree) {
    if (path.empty() || !IsValidPath(path))
        return REG_STATUS_INVALID;
    const auto [parentPath, name] = SplitParent(path);
    const auto check = [&](const CHiveKey& root) {
        const CHiveKey* pKey = FindKeyPath(root, path);
        if (!pKey)
            return REG_STATUS_NOT_FOUND;
        if (!bTree && !pKey->SubKeys().empty())
            return REG_STATUS_HAS_SUBKEYS;
        return REG_STATUS_OK;
    };
    const auto pStore = HiveStoreFor(hive);
    // Settled from the cached content first, so that a refused delete touches no file.
    if (const ERegStatus status = pStore->Read(check); status != REG_STATUS_OK)
        return status;
    return pStore->Modify([&](CHiveKey& root, bool& bChanged) {
        if (const ERegStatus status = check(root); status != REG_STATUS_OK)
            return status;
        bChanged = FindKeyPath(root, parentPath)->DeleteSubKey(name);
        return REG_STATUS_OK;
    });
}

} // namespace

std::string RegistryFolder() {
    if (const char* home = std::getenv("VARNO_HOME"); home && *home)
        return std::string(home) + "/registry";
    // XDG: a relative XDG_CONFIG_HOME is invalid and ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return std::string(config) + "/varno/registry";
    return HomeFolder() + "/.config/varno/registry";
}

const char* HiveName(ERegHive hive) {
    switch (hive) {
    case ERegHive::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    case ERegHive::CurrentUser:
        return "HKEY_CURRENT_USER";
    case ERegHive::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    }
    return "HKEY_CURRENT_USER";
}

ERegStatus CRegKey::Open(ERegHive hive, std::string_view path) {
    std::string strPath(path); // path may be this key's own
    Close();
    if (!IsValidPath(strPath))
        return REG_STATUS_INVALID;
    const ERegStatus status = HiveStoreFor(hive)->Read([&](const CHiveKey& root) {
        return FindKeyPath(root, strPath) ? REG_STATUS_OK : REG_STATUS_NOT_FOUND;
    });
    if (status != REG_STATUS_OK)
        return status;
    m_bOpen = true;
    m_hive = hive;
    m_strPath = std::move(strPath);
    return REG_STATUS_OK;
}

ERegStatus CRegKey::Create(ERegHive hive, std::string_view path) {
    std::string strPath(path);
    Close();
    std::vector<std::string_view> parts;
    if (!SplitKeyPath(strPath, parts))
        return REG_STATUS_INVALID;
    const auto pStore = HiveStoreFor(hive);
    ERegStatus status = pStore->Read([&](const CHiveKey& root) {
        return FindKeyPath(root, strPath) ? REG_STATUS_OK : REG_STATUS_NOT_FOUND;
    });
    if (status == REG_STATUS_NOT_FOUND) {
        status = pStore->Modify([&](CHiveKey& root, bool& bChanged) {
            CHiveKey* pKey = &root;
            for (std::string_view part : parts) {
                bool bCreated = false;
                pKey = &pKey->SubKey(part, bCreated);
                bChanged = bChanged || bCreated;
            }
            return REG_STATUS_OK;
        });
    }
    if (status != REG_STATUS_OK)
        return status;
    m_bOpen = true;
    m_hive = hive;
    m_strPath = std::move(strPath);
    return REG_STATUS_OK;
}

void CRegKey::Close() {
    m_bOpen = false;
    m_strPath.clear();
}

ERegStatus CRegKey::QueryValue(std::string_view name, std::uint32_t& type,
                               std::string& data) const {
    if (!m_bOpen)
        return REG_STATUS_INVALID;
    return ReadKey(m_hive, m_strPath, [&](const CHiveKey& key) {
        const SHiveValue* pValue = key.FindValue(name);
        if (!pValue)
            return REG_STATUS_NOT_FOUND;
        type = pValue->m_nType;
        data = pValue->m_strData;
        return REG_STATUS_OK;
    });
}

ERegStatus CRegKey::SetValue(std::string_view name, std::uint32_t type, std::string_view data) {
    if (!m_bOpen || !IsValidValueName(name))
        return REG_STATUS_INVALID;
    const auto pStore = HiveStoreFor(m_hive);
    // A value that already holds this is not written again: saving options writes every
    // value each time.
    const ERegStatus current = pStore->Read([&](const CHiveKey& root) {
        const CHiveKey* pKey = FindKeyPath(root, m_strPath);
        if (!pKey)
            return REG_STATUS_KEY_DELETED;
        const SHiveValue* pValue = pKey->FindValue(name);
        return pValue && pValue->m_nType == type && pValue->m_strData == data
                   ? REG_STATUS_OK
                   : REG_STATUS_NOT_FOUND;
    });
    if (current != REG_STATUS_NOT_FOUND)
        return current;
    return pStore->Modify([&](CHiveKey& root, bool& bChanged) {
        CHiveKey* pKey = FindKeyPath(root, m_strPath);
        if (!pKey)
            return REG_STATUS_KEY_DELETED;
        bChanged = pKey->SetValue(name, type, data);
        return REG_STATUS_OK;
    });
}

ERegStatus CRegKey::QueryString(std::string_view name, std::string& text) const {
    std::uint32_t type = REG_NONE;
    std::string data;
    if (const ERegStatus status = QueryValue(name, type, data); status != REG_STATUS_OK)
        return status;
    if (type != REG_SZ)
        return REG_STATUS_INVALID;
    // The text ends at the first zero byte, which is normally the terminating one; a
    // value stored without one is taken whole.
    const std::size_t zero = data.find('\0');
    if (zero != std::string::npos)
        data.resize(zero);
    text = std::move(data);
    return REG_STATUS_OK;
}

ERegStatus CRegKey::SetString(std::string_view name, std::string_view text) {
    std::string data(text);
    data += '\0';
    return SetValue(name, REG_SZ, data);
}

ERegStatus CRegKey::QueryDword(std::string_view name, std::uint32_t& value) const {
    std::uint32_t type = REG_NONE;
    std::string data;
    if (const ERegStatus status = QueryValue(name, type, data); status != REG_STATUS_OK)
        return status;
    if (type != REG_DWORD || data.size() != 4)
        return REG_STATUS_INVALID;
    value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::uint32_t{static_cast<unsigned char>(data[i])} << (8 * i);
    return REG_STATUS_OK;
}

ERegStatus CRegKey::SetDword(std::string_view name, std::uint32_t value) {
    char data[4];
    for (std::size_t i = 0; i < 4; ++i)
        data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return SetValue(name, REG_DWORD, std::string_view(data, 4));
}

ERegStatus CRegKey::DeleteValue(std::string_view name) {
    if (!m_bOpen)
        return REG_STATUS_INVALID;
    const auto check = [&](const CHiveKey& root) {
        const CHiveKey* pKey = FindKeyPath(root, m_strPath);
        if (!pKey)
            return REG_STATUS_KEY_DELETED;
        return pKey->FindValue(name) ? REG_STATUS_OK : REG_STATUS_NOT_FOUND;
    };
    const auto pStore = HiveStoreFor(m_hive);
    if (const ERegStatus status = pStore->Read(check); status != REG_STATUS_OK)
        return status;
    return pStore->Modify([&](CHiveKey& root, bool& bChanged) {
        if (const ERegStatus status = check(root); status != REG_STATUS_OK)
            return status;
        bChanged = FindKeyPath(root, m_strPath)->DeleteValue(name);
        return REG_STATUS_OK;
    });
}

ERegStatus CRegKey::EnumSubKey(std::uint32_t index, std::string& name) const {
    return m_bOpen
               ? ReadKey(m_hive, m_strPath,
                         [&](const CHiveKey& key) { return NameAt(key.SubKeys(), index, name); })
               : REG_STATUS_INVALID;
}

ERegStatus CRegKey::EnumValue(std::uint32_t index, std::string& name) const {
    return m_bOpen ? ReadKey(m_hive, m_strPath,
                             [&](const CHiveKey& key) { return NameAt(key.Values(), index, name); })
                   : REG_STATUS_INVALID;
}

std::vector<std::string> CRegKey::SubKeyNames() const {
    std::vector<std::string> names;
    if (m_bOpen)
        (void)ReadKey(m_hive, m_strPath,
                      [&](const CHiveKey& key) { return AllNames(key.SubKeys(), names); });
    return names;
}

std::vector<std::string> CRegKey::ValueNames() const {
    std::vector<std::string> names;
    if (m_bOpen)
        (void)ReadKey(m_hive, m_strPath,
                      [&](const CHiveKey& key) { return AllNames(key.Values(), names); });
    return names;
}

ERegStatus RegDeleteKey(ERegHive hive, std::string_view path) {
    return DeleteKey(hive, path, false);
}

ERegStatus RegDeleteTree(ERegHive hive, std::string_view path) {
    return DeleteKey(hive, path, true);
}

ERegStatus CRegHiveLock::Acquire(ERegHive hive) {
    Release();
    auto pStore = HiveStoreFor(hive);
    if (const ERegStatus status = pStore->LockForUpdate(); status != REG_STATUS_OK) {
        m_strFailure = pStore->LastFailure();
        return status;
    }
    m_strFailure.clear();
    m_pStore = std::move(pStore);
    m_bHeld = true;
    return REG_STATUS_OK;
}

void CRegHiveLock::Release() {
    if (m_bHeld)
        m_pStore->UnlockForUpdate();
    m_bHeld = false;
    m_pStore.reset();
}

std::string CRegHiveLock::Failure() const {
    return m_bHeld ? m_pStore->LastFailure() : m_strFailure;
}

namespace {

thread_local int t_nFolderHolds = 0;
// Indexed by ERegHive.
thread_local std::array<std::shared_ptr<CHiveStore>, 3> t_heldStores;

} // namespace

CRegFolderHold::CRegFolderHold() {
    ++t_nFolderHolds;
}

CRegFolderHold::~CRegFolderHold() {
    if (--t_nFolderHolds == 0)
        t_heldStores = {};
}

std::uint64_t RegChangeStamp(ERegHive hive) {
    if (t_nFolderHolds == 0)
        return HiveStoreFor(hive)->ChangeStamp();
    std::shared_ptr<CHiveStore>& pStore = t_heldStores.at(static_cast<std::size_t>(hive));
    if (!pStore)
        pStore = HiveStoreFor(hive);
    return pStore->ChangeStamp();
}
