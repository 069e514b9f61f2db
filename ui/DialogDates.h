// Date pickers and the program's time values: a picker shows the local calendar day of a
// time value and gives back that day's local midnight.
#pragma once

#include "model/DateText.h"
#include "platform/dialogs/DialogSurface.h"

// The local day of t; 1 January 1970 when t cannot be broken down.
[[nodiscard]] CDateValue DateValueFromTime(TimeValue t);
// Local 00:00 of the day; 0 when it lies outside the time value's range.
[[nodiscard]] TimeValue TimeFromDateValue(const CDateValue& date);
