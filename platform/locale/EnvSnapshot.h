// Values of a few environment variables, kept to tell whether they changed since a
// cached result was derived from them. Internal to platform/locale.
#pragma once

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

template <std::size_t N> class CEnvSnapshot {
public:
    explicit CEnvSnapshot(const std::array<const char*, N>& names) : m_names(names) {}

    // True when every variable has the value (or absence) seen by the last Take.
    [[nodiscard]] bool Matches() const {
        if (!m_bTaken)
            return false;
        for (std::size_t i = 0; i < N; ++i) {
            const char* psz = std::getenv(m_names[i]);
            if ((psz != nullptr) != m_bPresent[i])
                return false;
            if (psz && std::strcmp(psz, m_values[i].c_str()) != 0)
                return false;
        }
        return true;
    }

    void Take() {
        for (std::size_t i = 0; i < N; ++i) {
            const char* psz = std::getenv(m_names[i]);
            m_bPresent[i] = psz != nullptr;
            m_values[i] = psz ? psz : "";
        }
        m_bTaken = true;
    }

private:
    std::array<const char*, N> m_names;
    std::array<std::string, N> m_values{};
    std::array<bool, N> m_bPresent{};
    bool m_bTaken = false;
};
