#include "events/event_clock.h"

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
      {{15, 28, 6, 7, 2, 2116}, "070216\t062815"},  {{59, 59, 23, 31, 12, 2000}, "311200\t235959"},
      {{0, 0, 0, 1, 1, 2001}, "010101\t000000"},     {{3, 2, 1, 1, 1, 2001}, "010101\t010203"},
      {{3, 2, 1, 1, 1, 2001}, "010101\t010203"},     {{4, 2, 1, 29, 2, 2008}, "290208\t010204"},
  };
  DateTimeText text;
  for (const Case& c : cases) EXPECT_EQ(textOf(text, c.dateTime), c.text);
}

}  // namespace
}  // namespace qnvtab
