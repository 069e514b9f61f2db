// Named values below HKEY_CURRENT_USER, by key path. Failures are never reported: reads
// give the caller's default, writes return false and every caller may ignore that.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr const char* kProductKey = "Software\\Brenmark\\VARNO";
inline constexpr const char* kOptionsKey = "Software\\Brenmark\\VARNO\\Options";

// The value's bytes up to the first zero byte, whatever its kind; the default when the
// key or value is missing or the value holds 1000 bytes or more.
[[nodiscard]] std::string ReadRegString(std::string_view keyPath, std::string_view name,
                                        std::string_view defaultValue);
// The value's four bytes, whatever its kind; the default when the key or value is missing
// or the value is not exactly four bytes long.
[[nodiscard]] std::int32_t ReadRegDword(std::string_view keyPath, std::string_view name,
                                        std::int32_t defaultValue);
// Create the key (and every missing key above it) and store the value.
bool WriteRegString(std::string_view keyPath, std::string_view name, std::string_view value);
bool WriteRegDword(std::string_view keyPath, std::string_view name, std::int32_t value);
