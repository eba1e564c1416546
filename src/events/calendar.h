// Calendar and clock arithmetic: date-time records to and from counts of
// seconds since 1 January of an epoch year, modulo 2^32.
#ifndef QNVTAB_EVENTS_CALENDAR_H_
#define QNVTAB_EVENTS_CALENDAR_H_

#include <cstdint>

namespace qnvtab {

constexpr uint32_t kEpochYear = 1980;

struct DateTime {
  uint32_t second;
  uint32_t minute;
  uint32_t hour;
  uint32_t day;    // from 1
  uint32_t month;  // from 1
  uint32_t year;   // full year, e.g. 2008
};

// Month lengths, January first: row 0 common years, row 1 leap years.
extern const uint8_t MonthLengths[2][12];

int isLeapYear(uint32_t year);
uint32_t daysInYear(uint32_t year);
// 0 for a month outside 1 to 12.
uint32_t daysInMonth(uint32_t year, uint32_t month);

// Seconds since 1 January of `epochYear`, modulo 2^32. A year before the
// epoch gives 0. Fields are not range-checked: day 0 is the day before the
// first, hour 24 the next midnight, and a month past 12 counts as 12 full
// months. A null record gives 0.
uint32_t dateTimeToSeconds(const DateTime* dateTime, uint32_t epochYear);

// Fills `dateTime` from a count of seconds since 1 January of `epochYear`.
// Does nothing for a null record.
void secondsToDateTime(uint32_t seconds, DateTime* dateTime, uint32_t epochYear);

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_CALENDAR_H_
