// plat_date_calc.h: proleptic Gregorian day arithmetic behind the DATE conversions (internal to
// src/plat).
#pragma once

#include "plat/plat_date.h"

namespace plat
{

/// Days from 1970-01-01 to the given day (negative before it).
long long days_from_civil(int year, int month, int day);

/// The calendar day that lies `days` after 1970-01-01.
void civil_from_days(long long days, int& year, int& month, int& day);

/// days_from_civil(1899, 12, 30), the day DATE counts from.
long long date_epoch_days();

/// The DATE of a day number (days after 1899-12-30) and a time of day in seconds, with the
/// absolute-fraction rule for days before the epoch.
DATE date_from_parts(long long day_number, double seconds_of_day);

} // namespace plat
