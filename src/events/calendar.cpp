#include "events/calendar.h"

namespace qnvtab {
namespace {

// Leap years in [0, year), year 0 counted as one.
uint64_t leapYearsBefore(uint64_t year) {
  return year == 0 ? 0 : (year - 1) / 4 - (year - 1) / 100 + (year - 1) / 400 + 1;
}

}  // namespace

const uint8_t MonthLengths[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

int isLeapYear(uint32_t year) {
  if (year % 400 == 0) return 1;
  if (year % 100 == 0) return 0;
  return year % 4 == 0 ? 1 : 0;
}

uint32_t daysInYear(uint32_t year) { return 365 + static_cast<uint32_t>(isLeapYear(year)); }

uint32_t daysInMonth(uint32_t year, uint32_t month) {
  if (month < 1 || month > 12) return 0;
  return MonthLengths[isLeapYear(year)][month - 1];
}

uint32_t dateTimeToSeconds(const DateTime* dateTime, uint32_t epochYear) {
  if (dateTime == nullptr || dateTime->year < epochYear) return 0;
  // The whole years in closed form, so that a huge year costs nothing; the
  // count is exact and only then reduced modulo 2^32, like a running sum.
  const uint64_t wholeYears = dateTime->year - epochYear;
  const uint64_t leapDays = leapYearsBefore(dateTime->year) - leapYearsBefore(epochYear);
  uint32_t days = static_cast<uint32_t>(wholeYears * 365 + leapDays);
  const uint32_t lastMonth = dateTime->month > 13 ? 13 : dateTime->month;
  for (uint32_t month = 1; month < lastMonth; ++month) days += daysInMonth(dateTime->year, month);
  days += dateTime->day - 1;
  return days * 86400u + dateTime->hour * 3600u + dateTime->minute * 60u + dateTime->second;
}

void secondsToDateTime(uint32_t seconds, DateTime* dateTime, uint32_t epochYear) {
  if (dateTime == nullptr) return;
  dateTime->second = seconds % 60;
  seconds /= 60;
  dateTime->minute = seconds % 60;
  seconds /= 60;
  dateTime->hour = seconds % 24;
  uint32_t days = seconds / 24;
  uint32_t year = epochYear;
  while (days >= daysInYear(year)) {
    days -= daysInYear(year);
    ++year;
  }
  uint32_t month = 1;
  while (days >= daysInMonth(year, month)) {
    days -= daysInMonth(year, month);
    ++month;
  }
  dateTime->year = year;
  dateTime->month = month;
  dateTime->day = days + 1;
}

}  // namespace qnvtab
