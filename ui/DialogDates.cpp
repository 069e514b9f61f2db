#include "ui/DialogDates.h"

CDateValue DateValueFromTime(TimeValue t) {
    CSystemTime st;
    if (!TimeToSystemTime(t, st))
        return {};
    return {st.m_wYear, st.m_wMonth, st.m_wDay};
}

TimeValue TimeFromDateValue(const CDateValue& date) {
    return MakeLocalTimeValue(date.m_nYear, date.m_nMonth, date.m_nDay);
}
