#include "events/event_clock.h"

#include <gtest/gtest.h>

#include <string>

#include "events/calendar.h"
#include "trace/byte_source.h"
#include "writer/trace_writer.h"

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
      {{15, 28, 6, 7, 2, 2116}, "070216\t062815"},  {{59, 59, 23, 31, 12, 2000}, "311200\t235959"},
      {{0, 0, 0, 1, 1, 2001}, "010101\t000000"},     {{3, 2, 1, 1, 1, 2001}, "010101\t010203"},
      {{3, 2, 1, 1, 1, 2001}, "010101\t010203"},     {{4, 2, 1, 29, 2, 2008}, "290208\t010204"},
  };
  DateTimeText text;
  for (const Case& c : cases) EXPECT_EQ(textOf(text, c.dateTime), c.text);
}

// The millisecond continues the second: events before the first event of
// a trace that records it lie before it; older traces count their stamps
// unsigned from 1 January 1980.
TEST(EventClock, TimeOfAStampToTheMillisecond) {
  struct Case {
    unsigned version;
    uint32_t stamp;
    const char* time;
  };
  const Case cases[] = {
      {8, 1000, "2008-05-19 10:20:30.000"},      {8, 6001, "2008-05-19 10:20:35.001"},
      {8, 999, "2008-05-19 10:20:29.999"},       {7, 0, "2008-05-19 10:20:29.000"},
      {7, 1, "2008-05-19 10:20:29.001"},         {8, 1000 + 49'530'001, "2008-05-20 00:06:00.001"},
      {6, 3'723'999, "1980-01-01 01:02:03.999"}, {6, 999, "1980-01-01 00:00:00.999"},
      {5, 500, "1980-01-01 00:00:00.500"},       {5, 4'294'967'295, "1980-02-19 17:02:47.295"},
  };
  for (const Case& c : cases) {
    builder::HeaderSpec plan;
    plan.version = c.version;
    if (c.version < 7) plan.firstEventDate = {};
    const builder::Trace trace = builder::buildTrace({plan}, {});
    MemoryByteSource source(trace.bytes.data(), trace.bytes.size());
    HeaderRead read;
    ASSERT_FALSE(readTraceHeader(source, read));
    char text[kIsoTimeSize];
    writeIsoTime(text, EventClock(read.header, read.version).timeOf(c.stamp));
    EXPECT_EQ(std::string(text, kIsoTimeSize), c.time) << c.version << " " << c.stamp;
  }
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

}  // namespace
}  // namespace qnvtab
