// The standard conversions of variant values, and automation dates as calendar fields.
//
// Numbers become text in the shortest decimal form that reads back as the same number,
// with the user's decimal symbol (HKEY_CURRENT_USER\Control Panel\International, value
// "sDecimal"; without it, the symbol of the regional settings' locale): 1234.5 is "1234,5"
// in a German locale; magnitudes from 1E+15 up and below 1E-05 take an exponent ("1E+20").
// Dates become the user's short date, the time of day with seconds, or both with a blank
// between: day 30 December 1899 stands for a time of day alone, midnight for a date alone.
// Booleans become "-1" and "0", an empty value the empty text.
#pragma once

#include "platform/com/Variant.h"
#include "platform/locale/LocalTime.h"

#include <optional>
#include <string>

// The first and last valid automation dates: 1 January 100 and 31 December 9999.
inline constexpr DATE kMinVariantDate = -657434.0;
inline constexpr DATE kMaxVariantDate = 2958465.0 + 0.99999;

// Calendar fields of an automation date (days since 1899-12-30 00:00; the fraction is the
// time of day, also for days before that date), rounded to the nearest second. No time
// zone is involved. False for a value outside the valid range or not a number.
[[nodiscard]] bool VariantTimeToCalendar(DATE date, CLocalTime& out);
// The automation date of calendar fields (out-of-range fields carried over: month 13 is
// January of the next year); empty outside the valid range.
[[nodiscard]] std::optional<DATE> CalendarToVariantTime(int nYear, int nMonth, int nDay,
                                                        int nHour = 0, int nMinute = 0,
                                                        int nSecond = 0);

// The user's decimal symbol, UTF-16.
[[nodiscard]] std::u16string DecimalSymbol();

// Converts pvarSrc (VT_BYREF | VT_VARIANT is followed) to the type vt into pvarDest, which
// is cleared first; pvarDest may be pvarSrc. Targets: VT_BSTR from every scalar; VT_I4,
// VT_R8 and VT_DATE from the numeric types, VT_BOOL and VT_EMPTY. DISP_E_TYPEMISMATCH for
// what cannot be converted (arrays, objects, VT_NULL, VT_ERROR, text to a number),
// DISP_E_OVERFLOW for a number out of the target's range. wFlags is kept for callers that
// pass the platform's flags; none changes the result.
[[nodiscard]] HRESULT VariantChangeType(VARIANT* pvarDest, const VARIANT* pvarSrc, WORD wFlags,
                                        VARTYPE vt);
