#pragma once
// Local calendar days: the day number of a moment in the machine's time zone, and the
// calendar date of a day number. Day 0 is 1970-01-01.
#include <cstdint>

namespace yfx::store {

struct CivilDate {
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
};

// The local calendar day (the time zone of now, TZ included) of `time`, seconds since the epoch.
int LocalDay(std::int64_t time);

// Day number <-> calendar date (proleptic Gregorian).
int DayFromCivil(CivilDate date);
CivilDate CivilFromDay(int day);

} // namespace yfx::store
