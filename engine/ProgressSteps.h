// A progress bar driven in the operations' own units (records, or 256-byte blocks of a
// file). The bar's range is 16 bits wide: totals up to 65535 are shown one to one, larger
// ones are scaled down so that the bar still fills from start to end.
#pragma once

#include "platform/dialogs/UserServices.h"

#include <cstdint>

class CProgressSteps {
public:
    static constexpr std::int64_t kMaxRange = 0xFFFF;

    // Sets the bar's range for the total; a null bar is allowed and ignored.
    CProgressSteps(CProgressControl* pProgress, std::int64_t nTotal) : m_pProgress(pProgress) {
        if (nTotal < 0)
            nTotal = 0;
        m_nScale = nTotal > kMaxRange ? (nTotal + kMaxRange - 1) / kMaxRange : 1;
        if (m_pProgress)
            m_pProgress->SetRange(0, static_cast<int>(nTotal / m_nScale));
    }

    void SetPos(std::int64_t n) {
        if (m_pProgress)
            m_pProgress->SetPos(static_cast<int>((n < 0 ? 0 : n) / m_nScale));
    }

private:
    CProgressControl* m_pProgress;
    std::int64_t m_nScale = 1;
};
