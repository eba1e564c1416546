#include "events/calendar.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace qnvtab {
namespace {

DateTime at(uint32_t year, uint32_t month, uint32_t day, uint32_t hour = 0, uint32_t minute = 0,
            uint32_t second = 0) {
  return DateTime{second, minute, hour, day, month, year};
}

uint32_t toSeconds(const DateTime& dateTime) { return dateTimeToSeconds(&dateTime, kEpochYear); }

DateTime fromSeconds(uint32_t seconds) {
  DateTime dateTime{99, 99, 99, 99, 99, 99};
  secondsToDateTime(seconds, &dateTime, kEpochYear);
  return dateTime;
}

// Compared as text, which also makes failures readable.
std::string text(const DateTime& d) {
  return std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day) +
         " " + std::to_string(d.hour) + ":" + std::to_string(d.minute) + ":" +
         std::to_string(d.second);
}

// The counting as a person would do it: year after year, month after month,
// every sum wrapping at 2^32 as it goes.
uint32_t naiveSeconds(const DateTime& d, uint32_t epochYear) {
  if (d.year < epochYear) return 0;
  uint32_t days = 0;
  for (uint32_t y = epochYear; y < d.year; ++y) {
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    days += leap ? 366 : 365;
  }
  static const uint32_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  for (uint32_t m = 1; m < d.month && m <= 12; ++m) days += lengths[m - 1] + (m == 2 && leap ? 1 : 0);
  days += d.day - 1;
  return days * 86400u + d.hour * 3600u + d.minute * 60u + d.second;
}

// std::chrono's civil calendar as an independent reference.
DateTime chronoDateTime(uint32_t seconds) {
  using namespace std::chrono;
  const sys_seconds point = sys_days{year{1980} / January / 1} + std::chrono::seconds{seconds};
  const sys_days day = floor<days>(point);
  const year_month_day date{day};
  const hh_mm_ss clock{point - day};
  return at(static_cast<uint32_t>(static_cast<int>(date.year())),
            static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
            static_cast<uint32_t>(clock.hours().count()),
            static_cast<uint32_t>(clock.minutes().count()),
            static_cast<uint32_t>(clock.seconds().count()));
}

TEST(Calendar, LeapYearsAndMonthLengths) {
  EXPECT_EQ(isLeapYear(2000), 1);
  EXPECT_EQ(isLeapYear(2008), 1);
  EXPECT_EQ(isLeapYear(1900), 0);
  EXPECT_EQ(isLeapYear(2100), 0);
  EXPECT_EQ(isLeapYear(2101), 0);
  EXPECT_EQ(daysInYear(2000), 366u);
  EXPECT_EQ(daysInYear(2100), 365u);
  EXPECT_EQ(daysInMonth(2008, 2), 29u);
  EXPECT_EQ(daysInMonth(2100, 2), 28u);
  EXPECT_EQ(daysInMonth(2007, 12), 31u);
  EXPECT_EQ(daysInMonth(2007, 4), 30u);
  EXPECT_EQ(daysInMonth(2008, 0), 0u);
  EXPECT_EQ(daysInMonth(2008, 13), 0u);
  uint32_t common = 0;
  uint32_t leap = 0;
  for (uint32_t m = 1; m <= 12; ++m) {
    common += daysInMonth(2007, m);
    leap += daysInMonth(2008, m);
  }
  EXPECT_EQ(common, 365u);
  EXPECT_EQ(leap, 366u);
}

TEST(Calendar, KnownDatesBothWays) {
  struct Case {
    DateTime dateTime;
    uint32_t seconds;
  };
  const Case cases[] = {
      {at(1980, 1, 1), 0},
      {at(2008, 5, 19, 10, 20, 30), 895659630},
      {at(2008, 2, 29), 888710400},
      {at(1980, 1, 1, 1, 2, 3), 3723},
      {at(2116, 2, 7, 6, 28, 15), 4294967295u},
      {at(1980, 2, 19, 17, 2, 47), 4294967},  // 0xFFFFFFFF ms after the epoch
  };
  for (const Case& c : cases) {
    EXPECT_EQ(toSeconds(c.dateTime), c.seconds);
    EXPECT_EQ(text(fromSeconds(c.seconds)), text(c.dateTime)) << c.seconds;
  }
}

TEST(Calendar, CenturyThatIsNotALeapYear) {
  EXPECT_EQ(toSeconds(at(2100, 3, 1)) - toSeconds(at(2100, 2, 28)), 86400u);
  EXPECT_EQ(toSeconds(at(2000, 3, 1)) - toSeconds(at(2000, 2, 28)), 2 * 86400u);
  EXPECT_EQ(text(fromSeconds(toSeconds(at(2100, 2, 28)) + 86400)), text(at(2100, 3, 1)));
}

TEST(Calendar, OutOfRangeFields) {
  // Before the epoch: nothing counts, whatever the other fields hold.
  EXPECT_EQ(toSeconds(at(0, 0, 0)), 0u);
  EXPECT_EQ(toSeconds(at(1979, 12, 31, 23, 59, 59)), 0u);
  EXPECT_EQ(toSeconds(at(1, 5, 19, 10, 20, 30)), 0u);
  // Day 0 is the day before the first, wrapping below the epoch.
  EXPECT_EQ(toSeconds(at(1980, 1, 0)), 4294880896u);
  EXPECT_EQ(toSeconds(at(2008, 3, 0)), toSeconds(at(2008, 2, 29)));
  // Hour 24 is the next midnight; minutes and seconds carry likewise.
  EXPECT_EQ(toSeconds(at(2008, 5, 19, 24)), toSeconds(at(2008, 5, 20)));
  EXPECT_EQ(toSeconds(at(2008, 5, 19, 0, 0, 3600)), toSeconds(at(2008, 5, 19, 1)));
  // Month 13 and beyond: day d of January of the next year.
  EXPECT_EQ(toSeconds(at(2008, 13, 5, 1, 2, 3)), toSeconds(at(2009, 1, 5, 1, 2, 3)));
  EXPECT_EQ(toSeconds(at(2008, 14, 5)), toSeconds(at(2009, 1, 5)));
  EXPECT_EQ(toSeconds(at(2008, 0xFFFFFFFFu, 5)), toSeconds(at(2009, 1, 5)));
  // Month 0 counts no months.
  EXPECT_EQ(toSeconds(at(2008, 0, 5)), toSeconds(at(2008, 1, 5)));
}

TEST(Calendar, AbsentRecord) {
  EXPECT_EQ(dateTimeToSeconds(nullptr, kEpochYear), 0u);
  secondsToDateTime(12345, nullptr, kEpochYear);  // must not crash
}

TEST(Calendar, OtherEpochYear) {
  const DateTime d = at(2001, 1, 1, 0, 0, 1);
  EXPECT_EQ(dateTimeToSeconds(&d, 2000), 366u * 86400 + 1);
  DateTime back{};
  secondsToDateTime(366u * 86400 + 1, &back, 2000);
  EXPECT_EQ(text(back), text(d));
}

TEST(Calendar, SecondsAgreeWithCivilCalendar) {
  std::mt19937 random(1980);
  std::uniform_int_distribution<uint32_t> any;
  for (int i = 0; i < 20000; ++i) {
    const uint32_t seconds = i < 100 ? 4294967295u - static_cast<uint32_t>(i) : any(random);
    const DateTime expected = chronoDateTime(seconds);
    ASSERT_EQ(text(fromSeconds(seconds)), text(expected)) << seconds;
    ASSERT_EQ(toSeconds(expected), seconds);
  }
}

TEST(Calendar, RandomDatesRoundTrip) {
  std::mt19937 random(2008);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t year = 1980 + random() % 136;  // up to 2115: always inside 32 bits
    const uint32_t month = 1 + random() % 12;
    const uint32_t day = 1 + random() % daysInMonth(year, month);
    const DateTime d = at(year, month, day, random() % 24, random() % 60, random() % 60);
    ASSERT_EQ(text(fromSeconds(toSeconds(d))), text(d));
    ASSERT_EQ(toSeconds(d), naiveSeconds(d, kEpochYear));
  }
}

TEST(Calendar, ClosedFormEqualsRunningSumForHugeYears) {
  std::mt19937 random(116);
  std::vector<uint32_t> years = {1980, 1981, 1999, 2000, 2001, 2100, 2116, 2117, 2400, 2401,
                                 9999, 10000, 65535, 65536, 99999, 100000, 1000000, 2000001};
  for (int i = 0; i < 300; ++i) years.push_back(1980 + random() % 20000);
  for (int i = 0; i < 6; ++i) years.push_back(1980 + random() % 3000000);
  for (const uint32_t year : years) {
    for (const uint32_t epoch : {1980u, 1u, 2001u}) {
      const DateTime d = at(year, 1 + year % 14, year % 33, year % 25, year % 61, year % 61);
      ASSERT_EQ(dateTimeToSeconds(&d, epoch), naiveSeconds(d, epoch))
          << "year " << year << " epoch " << epoch;
    }
  }
}

TEST(Calendar, LargestYearWrapsLikeTheRunningSum) {
  // Too many years for the running sum itself, but every 400 years repeat
  // the same 146097 days: add whole cycles, then count the rest one by one.
  const uint32_t year = 0xFFFFFFFFu;
  const uint32_t cycles = (year - kEpochYear) / 400;
  uint32_t days = cycles * 146097u;
  for (uint32_t y = kEpochYear + cycles * 400; y < year; ++y) days += daysInYear(y);
  const DateTime d = at(year, 3, 1, 12);
  EXPECT_EQ(dateTimeToSeconds(&d, kEpochYear), (days + 31 + 28) * 86400u + 12 * 3600u);
}

}  // namespace
}  // namespace qnvtab
