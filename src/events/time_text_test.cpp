#include "events/time_text.h"

#include <gtest/gtest.h>

#include <string>

#include "events/calendar.h"

namespace qnvtab {
namespace {

std::string textOf(DateTimeText& text, DateTime dateTime) {
  return std::string(text.of(dateTimeToSeconds(&dateTime, kEpochYear)), DateTimeText::kSize);
}

// Two digits for every field, the year of the century; the cached text of
// one call never leaks into the next.
TEST(DateTimeText, DateAndTimeCells) {
  struct Case {
    DateTime dateTime;
    const char* text;
  };
  const Case cases[] = {
      {{35, 20, 10, 19, 5, 2008}, "190508\t102035"}, {{0, 0, 0, 1, 1, 1980}, "010180\t000000"},
      {{15, 28, 6, 7, 2, 2116}, "070216\t062815"},   {{59, 59, 23, 31, 12, 2000}, "311200\t235959"},
      {{0, 0, 0, 1, 1, 2001}, "010101\t000000"},     {{3, 2, 1, 1, 1, 2001}, "010101\t010203"},
      {{3, 2, 1, 1, 1, 2001}, "010101\t010203"},     {{4, 2, 1, 29, 2, 2008}, "290208\t010204"},
  };
  DateTimeText text;
  for (const Case& c : cases) EXPECT_EQ(textOf(text, c.dateTime), c.text);
}

// The kept text changes with the millisecond, the second and the day, and
// is always the text written afresh.
TEST(IsoTimeText, IsTheWrittenTextOfEveryInstant) {
  const EventTime times[] = {
      {895659630, 0}, {895659630, 999}, {895659631, 1}, {895659631, 1},    {895708799, 999},
      {895708800, 0}, {895659630, 500}, {0, 0},         {UINT32_MAX, 999},
  };
  IsoTimeText text;
  for (const EventTime time : times) {
    char expected[kIsoTimeSize];
    writeIsoTime(expected, time);
    EXPECT_EQ(std::string(text.of(time), kIsoTimeSize), std::string(expected, kIsoTimeSize))
        << time.seconds << "." << time.millisecond;
  }
}

// The header's fields as the database and the summary give them, also
// where a damaged header holds values no calendar has.
TEST(HeaderTimeText, IsoDateTimeAndOffset) {
  EXPECT_EQ(isoDate(TraceDate{19, 5, 2008}), "2008-05-19");
  EXPECT_EQ(isoDate(TraceDate{99, 99, 65535}), "5535-99-99");
  EXPECT_EQ(isoTime(TraceTime{7, 5, 3}), "07:05:03");
  EXPECT_EQ(isoOffset(GmtOffset{0xFF, 5, 30, 0}), "-05:30");
  EXPECT_EQ(isoOffset(GmtOffset{0, 2, 0, 0}), "+02:00");
}

}  // namespace
}  // namespace qnvtab
