#include "settings/RegistryValues.h"

#include "platform/registry/Registry.h"

#include <cstring>

namespace {

// Size of the buffer values are read into, terminating zero included.
constexpr std::size_t kStringBufferSize = 1000;

} // namespace

std::string ReadRegString(std::string_view keyPath, std::string_view name,
                          std::string_view defaultValue) {
    CRegKey key;
    if (key.Open(ERegHive::CurrentUser, keyPath) != REG_STATUS_OK)
        return std::string(defaultValue);
    std::uint32_t type = REG_NONE;
    std::string data;
    if (key.QueryValue(name, type, data) != REG_STATUS_OK)
        return std::string(defaultValue);
    // A string whose text and terminator do not fit the buffer is refused.
    const bool bTerminated = !data.empty() && data.back() == '\0';
    if (data.size() + (bTerminated ? 0 : 1) > kStringBufferSize)
        return std::string(defaultValue);
    const auto end = data.find('\0');
    return end == std::string::npos ? data : data.substr(0, end);
}

std::int32_t ReadRegDword(std::string_view keyPath, std::string_view name,
                          std::int32_t defaultValue) {
    CRegKey key;
    if (key.Open(ERegHive::CurrentUser, keyPath) != REG_STATUS_OK)
        return defaultValue;
    std::uint32_t type = REG_NONE;
    std::string data;
    if (key.QueryValue(name, type, data) != REG_STATUS_OK || data.size() != 4)
        return defaultValue;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(value);
}

bool WriteRegString(std::string_view keyPath, std::string_view name, std::string_view value) {
    CRegKey key;
    if (key.Create(ERegHive::CurrentUser, keyPath) != REG_STATUS_OK)
        return false;
    return key.SetString(name, value) == REG_STATUS_OK;
}

bool WriteRegDword(std::string_view keyPath, std::string_view name, std::int32_t value) {
    CRegKey key;
    if (key.Create(ERegHive::CurrentUser, keyPath) != REG_STATUS_OK)
        return false;
    return key.SetDword(name, static_cast<std::uint32_t>(value)) == REG_STATUS_OK;
}
