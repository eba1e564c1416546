#include "events/event_selection.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace qnvtab {
namespace {

std::string show(const std::optional<NumberRange>& range) {
  if (!range) return "invalid";
  const auto end = [](const std::optional<int32_t>& value) {
    return value ? std::to_string(*value) : std::string("open");
  };
  return end(range->from) + " to " + end(range->to);
}

TEST(EventSelection, Ranges) {
  const std::pair<const char*, const char*> events[] = {
      {"1-10", "1 to 10"},   {"1000000-", "1000000 to open"},
      {"-20", "open to 20"}, {"-", "open to open"},
      {"7-7", "7 to 7"},     {"2147483647-", "2147483647 to open"},
      {"", "invalid"},       {"5", "invalid"},
      {"-5-10", "invalid"},  {"1-2-3", "invalid"},
      {"a-3", "invalid"},    {"1 -3", "invalid"},
      {"+1-3", "invalid"},   {"2147483648-", "invalid"},
      {"1-0x10", "invalid"},
  };
  for (const auto& [text, expected] : events)
    EXPECT_EQ(show(parseEventRange(text)), expected) << text;
  const std::pair<const char*, const char*> msec[] = {
      {"-500--100", "-500 to -100"},
      {"--100", "open to -100"},
      {"-500-", "-500 to open"},
      {"0-250", "0 to 250"},
      {"-2147483648-0", "-2147483648 to 0"},
      {"-500", "invalid"},
      {"1--", "invalid"},
      {"--", "invalid"},
      {"- 5-6", "invalid"},
      {"3000000000-", "invalid"},
  };
  for (const auto& [text, expected] : msec) EXPECT_EQ(show(parseMsecRange(text)), expected) << text;
}

TEST(EventSelection, WindowTimes) {
  const std::optional<WindowTime> full = parseWindowTime("29/02/2008 23:59:58");
  ASSERT_TRUE(full && full->date);
  EXPECT_EQ(full->date->day * 1000000 + full->date->month * 10000 + full->date->year, 29022008u);
  EXPECT_EQ(full->time.hour * 10000 + full->time.minute * 100 + full->time.second, 235958u);
  EXPECT_FALSE(parseWindowTime("00:00:00")->date);
  for (const char* text :
       {"", "10:20", "24:00:00", "10:60:00", "10:20:60", "1:02:03", "10-20-30", "10:20:30 ",
        "29/02/2009 10:00:00", "31/04/2008 10:00:00", "01/13/2008 10:00:00", "00/01/2008 10:00:00",
        "01/01/1979 10:00:00", "01/01/2116 00:00:00", "1/1/2008 10:00:00", "01/01/2008  10:00:00",
        "01/01/2008T10:00:00", "01/01/2008"}) {
    EXPECT_FALSE(parseWindowTime(text)) << text;
  }
}

// The ISO forms give the same day and time as the present form, and a
// fraction its milliseconds.
TEST(EventSelection, IsoWindowTimes) {
  const auto show = [](const char* text) {
    const std::optional<WindowTime> window = parseWindowTime(text);
    if (!window) return std::string("invalid");
    char shown[32];
    std::snprintf(shown, sizeof shown, "%02u/%02u/%04u %02u:%02u:%02u", window->date->day,
                  window->date->month, window->date->year, window->time.hour, window->time.minute,
                  window->time.second);
    return shown + (window->millisecond ? "." + std::to_string(*window->millisecond) : "");
  };
  const std::pair<const char*, const char*> cases[] = {
      {"2008-05-19T10:20:30", "19/05/2008 10:20:30"},
      {"2008-05-19 10:20:30", "19/05/2008 10:20:30"},
      {"2008-02-29 23:59:59.999", "29/02/2008 23:59:59.999"},
      {"1980-01-01T00:00:00.000", "01/01/1980 00:00:00.0"},
      {"2115-12-31T23:59:59.5", "31/12/2115 23:59:59.500"},
      {"2008-05-19T10:20:30.05", "19/05/2008 10:20:30.50"},
      {"2008-05-19T10:20:30.", "invalid"},
      {"2008-05-19T10:20:30.1234", "invalid"},
      {"2008-05-19T10:20:30,5", "invalid"},
      {"2008-05-19T10:20:30Z", "invalid"},
      {"2008-05-19t10:20:30.x", "invalid"},
      {"2008-05-19T10:20", "invalid"},
      {"2009-02-29T10:00:00", "invalid"},
      {"1979-12-31T23:59:59", "invalid"},
      {"2116-01-01T00:00:00", "invalid"},
      {"2008-5-19T10:20:30", "invalid"},
      {"2008-05-19_10:20:30", "invalid"},
      {"2008-05-19T24:00:00", "invalid"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(show(text), expected) << text;
}

TEST(EventSelection, CommandLists) {
  const std::optional<CommandSet> list = parseCommandList("SD,rv,33");
  ASSERT_TRUE(list);
  EXPECT_EQ(list->count(), 3u);
  EXPECT_TRUE((*list)[0x14] && (*list)[0x15] && (*list)[0x33]);
  // Digits stand for their code also when its cell shows a mnemonic, and
  // the cell "DB" is shown both for DEBUG (0x65) and for the code 0xDB.
  const std::optional<CommandSet> both = parseCommandList("14,db");
  ASSERT_TRUE(both);
  EXPECT_EQ(both->count(), 3u);
  EXPECT_TRUE((*both)[0x14] && (*both)[0x65] && (*both)[0xDB]);
  for (const char* text : {"", "ZZ", "SD,", ",SD", "SD,,RV", "S", "SDX", "1G", "0x14", " SD"}) {
    EXPECT_FALSE(parseCommandList(text)) << text;
  }
}

TEST(EventSelection, ReversedRangesAreUnsatisfiable) {
  const auto satisfiable = [](const char* events, const char* begin, const char* end) {
    return isSatisfiable({parseEventRange(events), std::nullopt, parseWindowTime(begin),
                          parseWindowTime(end), std::nullopt, false});
  };
  EXPECT_TRUE(satisfiable("3-3", "10:00:00", "10:00:00"));
  EXPECT_FALSE(satisfiable("9-3", "", ""));
  EXPECT_FALSE(satisfiable("-", "10:00:01", "10:00:00"));
  EXPECT_TRUE(satisfiable("-", "02/01/2008 09:00:00", "10:00:00"));  // the trace's day decides
  EXPECT_FALSE(satisfiable("-", "02/01/2008 09:00:00", "01/01/2008 10:00:00"));
  // A bound without a fraction stands for its whole second.
  EXPECT_TRUE(satisfiable("-", "2008-01-01T10:00:00.999", "01/01/2008 10:00:00"));
  EXPECT_TRUE(satisfiable("-", "2008-01-01 10:00:00.5", "2008-01-01 10:00:00.5"));
  EXPECT_FALSE(satisfiable("-", "2008-01-01 10:00:00.501", "2008-01-01 10:00:00.5"));
  EXPECT_FALSE(satisfiable("-", "01/01/2008 10:00:00", "2007-12-31T23:59:59.999"));
}

}  // namespace
}  // namespace qnvtab
