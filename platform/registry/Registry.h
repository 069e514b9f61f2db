// The per-user and machine registry: three hives of keys and named values, each kept in a
// text file in the registry export format ("Windows Registry Editor Version 5.00") under
// the registry folder of the user home (see RegistryFolder).
//
// Key paths use backslashes and compare without regard to letter case, as do value
// names; a key keeps the spelling it was created with. Case is folded for the ASCII
// letters only: bytes from 0x80 up (the code page's accented letters) compare as they are.
// A path is "" (the hive's root) or names joined by single backslashes; a leading,
// trailing or doubled backslash, or a name holding a control character, is refused with
// REG_STATUS_INVALID. The empty value name is the key's default value. Reads never create
// anything. Every change is written to a temporary file, flushed and renamed over the
// hive file while an advisory lock on the hive is held; a change made by another
// process is picked up before the next read or change, so two processes writing at the
// same time lose nothing. A hive file that cannot be parsed is moved aside with a
// timestamp and a warning on standard error, and an empty hive takes its place; so is one
// past the limits of HiveFile.h (512 levels, 1,000,000 keys and values, 64 MiB).
// Besides REG_SZ, REG_DWORD and REG_BINARY, raw values of any other kind number are kept
// as they are (a REG_DWORD that is not 4 bytes too).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CHiveStore;

enum class ERegHive { ClassesRoot, CurrentUser, LocalMachine };

// Value kinds, with the numbers stored data uses.
inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;

enum [[nodiscard]] ERegStatus : std::int32_t{
    REG_STATUS_OK = 0,
    REG_STATUS_NOT_FOUND = 2,     // no such key or value
    REG_STATUS_ACCESS_DENIED = 5, // the hive folder or file cannot be written
    REG_STATUS_WRITE_FAILED = 29, // writing or renaming the hive file failed
    REG_STATUS_INVALID = 87,      // a bad argument: closed key, empty path part, bad type
    REG_STATUS_NO_MORE_ITEMS = 259,
    REG_STATUS_KEY_DELETED = 1018, // the open key was deleted meanwhile
    REG_STATUS_HAS_SUBKEYS = 1020,
    REG_STATUS_HIVE_FULL = 1450, // the change would take the hive past its size limits
};

// The folder of the hive files: VARNO_HOME/registry when VARNO_HOME is set, else
// $XDG_CONFIG_HOME/varno/registry, else ~/.config/varno/registry.
[[nodiscard]] std::string RegistryFolder();
// "HKEY_CURRENT_USER" and so on.
[[nodiscard]] const char* HiveName(ERegHive hive);

// A handle on one key. It names the key by hive and path; every operation finds the key
// anew in the hive's current content.
class CRegKey {
public:
    CRegKey() = default;

    // Opens an existing key; REG_STATUS_NOT_FOUND when it or a key above it is missing.
    ERegStatus Open(ERegHive hive, std::string_view path);
    // Opens a key, creating it and every missing key above it.
    ERegStatus Create(ERegHive hive, std::string_view path);
    void Close();
    [[nodiscard]] bool IsOpen() const { return m_bOpen; }
    [[nodiscard]] ERegHive Hive() const { return m_hive; }
    [[nodiscard]] const std::string& Path() const { return m_strPath; }

    // Raw value: its kind and bytes. REG_SZ bytes include the terminating zero byte.
    ERegStatus QueryValue(std::string_view name, std::uint32_t& type, std::string& data) const;
    ERegStatus SetValue(std::string_view name, std::uint32_t type, std::string_view data);

    // REG_SZ without its terminating zero (a value of another kind is refused).
    ERegStatus QueryString(std::string_view name, std::string& text) const;
    ERegStatus SetString(std::string_view name, std::string_view text);
    // REG_DWORD (a value of another kind or size is refused).
    ERegStatus QueryDword(std::string_view name, std::uint32_t& value) const;
    ERegStatus SetDword(std::string_view name, std::uint32_t value);

    ERegStatus DeleteValue(std::string_view name);
    // Names of the direct subkeys and of the values, in creation order; index from 0,
    // REG_STATUS_NO_MORE_ITEMS past the end.
    ERegStatus EnumSubKey(std::uint32_t index, std::string& name) const;
    ERegStatus EnumValue(std::uint32_t index, std::string& name) const;
    [[nodiscard]] std::vector<std::string> SubKeyNames() const;
    [[nodiscard]] std::vector<std::string> ValueNames() const;

private:
    bool m_bOpen = false;
    ERegHive m_hive = ERegHive::CurrentUser;
    std::string m_strPath;
};

// Deletes a key that has no subkeys (REG_STATUS_HAS_SUBKEYS otherwise).
ERegStatus RegDeleteKey(ERegHive hive, std::string_view path);
// Deletes a key with everything below it.
ERegStatus RegDeleteTree(ERegHive hive, std::string_view path);

// Holds a hive's lock for the object's life, so that what this process reads and changes
// meanwhile is one step for every other process: their changes wait until it is released
// (a lock that is never released by a process that died goes with it). Reads and changes
// of this process go on as usual on this thread; other threads of the process wait too.
// Acquire and Release (or the destructor) run on the same thread.
class CRegHiveLock {
public:
    CRegHiveLock() = default;
    ~CRegHiveLock() { Release(); }
    CRegHiveLock(const CRegHiveLock&) = delete;
    CRegHiveLock& operator=(const CRegHiveLock&) = delete;

    // Waits for the lock. On failure nothing is held and Failure() tells why.
    ERegStatus Acquire(ERegHive hive);
    void Release();
    // Why the last change of the hive that failed since Acquire failed, with the file it
    // concerns ("cannot write \"/home/ann/.config/varno/registry/HKEY_CURRENT_USER.reg\": No
    // space left on device"); empty while none failed.
    [[nodiscard]] std::string Failure() const;

private:
    std::shared_ptr<CHiveStore> m_pStore;
    bool m_bHeld = false;
    std::string m_strFailure; // of Acquire
};

// A number that changes whenever the hive's content may have changed: at once for changes
// made by this process, within 50 ms for another process's (the file is not looked at on
// every call). Callers that cache what they derive from registry values compare it.
[[nodiscard]] std::uint64_t RegChangeStamp(ERegHive hive);

// While one is alive on a thread, RegChangeStamp finds each hive's file once instead of on
// every call (the registry folder comes from the environment: VARNO_HOME or the XDG
// folders). Changes to the hive are still seen as without it; a change of the folder
// itself is seen after the last hold ends. For loops that format thousands of dates.
class CRegFolderHold {
public:
    CRegFolderHold();
    ~CRegFolderHold();
    CRegFolderHold(const CRegFolderHold&) = delete;
    CRegFolderHold& operator=(const CRegFolderHold&) = delete;
};
