// Time that other tools understand: the database's timestamp columns read
// back by the sqlite3 client and the workbook's Timestamp cells read back
// and sorted by LibreOffice Calc, for traces of every version; --begin and
// --end in ISO 8601; --split-interval.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "calc.h"
#include "delimited_cells.h"
#include "event_mix.h"
#include "format_fixtures.h"
#include "harness.h"
#include "table_fixtures.h"

namespace qnvtab {
namespace {

using testing::convertFile;
using testing::DelimitedReader;
using testing::DelimitedRow;
using testing::readFile;
using testing::runShell;
using testing::split;
using testing::TempDir;
using testing::writeFile;

constexpr uint32_t kFirstStamp = 100000;
constexpr uint32_t kDay = 86400000;  // ms
constexpr GmtOffset kWest0530{0xFF, 5, 30, 0};

// Events at the millisecond's corners, then a mix of events a second or
// less apart. Versions 7 and 8: the first event at 31/12/2009 23:59:58,
// events stamped before it, equal to it, running back, and across the
// year's end. Versions 5 and 6 count from 1 January 1980: across its first
// midnight, and the last stamp.
builder::Trace sweepTrace(unsigned version) {
  builder::TraceSpec plan;
  plan.header.version = version;
  plan.header.firstEventStamp = kFirstStamp;
  plan.header.firstEventGmtOffset = kWest0530;
  plan.blockSize = 1024;
  std::vector<uint32_t> stamps;
  uint32_t mixFrom = 0;
  if (version >= 7) {
    plan.header.firstEventDate = {31, 12, 2009};
    plan.header.firstEventTime = {23, 59, 58};
    const uint32_t f = kFirstStamp;
    stamps = {0,        f - 2001, f - 1000, f - 1,    f,       f,           f + 1,   f + 999,
              f + 1000, f + 1999, f + 2000, f + 2001, f + 500, f + 3600123, f - 3000};
    mixFrom = f - 5000;
  } else {
    plan.header.firstEventDate = {};
    stamps = {0, 1, 999, 1000, 3723999, kDay - 1, kDay, kDay + 1, UINT32_MAX, kDay - 3000};
    mixFrom = kDay - 60000;
  }
  std::vector<builder::EventSpec> events(stamps.size());
  for (size_t i = 0; i < stamps.size(); ++i) events[i].timeStamp = stamps[i];
  builder::EventMixOptions mix;
  mix.firstStamp = mixFrom;
  mix.maxStampStep = 997;
  mix.wideLsn = version != 5;
  for (const builder::EventSpec& event : builder::makeEventMix(24, 250, mix)) {
    events.push_back(event);
  }
  return builder::buildTrace(plan, builder::encodeEvents(events, version));
}

// The time a row's cells give it: its Date and Local Time, and the
// millisecond of its stamp (the Time (msec) cell without -ferts) counted
// from the first event's, or from 0 on versions 5 and 6.
std::string expectedTimestamp(const DelimitedRow& row, unsigned version) {
  const uint32_t stamp = static_cast<uint32_t>(std::stol(row[1].text));
  const int64_t distance =
      version >= 7 ? int64_t{static_cast<int32_t>(stamp - kFirstStamp)} : int64_t{stamp};
  const int millisecond = static_cast<int>((distance % 1000 + 1000) % 1000);
  const std::string& date = row[2].text;
  const std::string& time = row[3].text;
  char text[32];
  std::snprintf(text, sizeof text, "%s%s-%s-%s %s:%s:%s.%03d", date.substr(4) >= "80" ? "19" : "20",
                date.substr(4).c_str(), date.substr(2, 2).c_str(), date.substr(0, 2).c_str(),
                time.substr(0, 2).c_str(), time.substr(2, 2).c_str(), time.substr(4).c_str(),
                millisecond);
  return text;
}

// "YYYY-MM-DD HH:MM:SS.mmm" moved by `seconds`.
std::string shifted(const std::string& timestamp, long seconds) {
  std::tm tm{};
  std::sscanf(timestamp.c_str(), "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
              &tm.tm_hour, &tm.tm_min, &tm.tm_sec);
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  const std::time_t moved = timegm(&tm) + seconds;
  std::tm out{};
  gmtime_r(&moved, &out);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &out);
  return text + timestamp.substr(19);
}

// The rows of a table after its title line.
std::vector<DelimitedRow> tableRows(const std::string& table) {
  DelimitedReader reader(table);
  std::vector<DelimitedRow> rows;
  DelimitedRow row;
  reader.next(row);
  while (reader.next(row)) rows.push_back(row);
  return rows;
}

std::vector<std::string> expectedTimestamps(const std::string& table, unsigned version) {
  std::vector<std::string> timestamps;
  for (const DelimitedRow& row : tableRows(table)) {
    timestamps.push_back(expectedTimestamp(row, version));
  }
  return timestamps;
}

std::vector<std::string> sqliteLines(const std::string& database, const std::string& sql) {
  const testing::RunResult run = runShell("sqlite3 -batch '" + database + "' \"" + sql + "\"");
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = split(run.out, "\n");
  lines.pop_back();  // after the last line end
  return lines;
}

// The Timestamp column of a sheet read back by Calc, title row left out.
std::vector<std::string> lastColumn(const std::string& csv) {
  std::vector<std::string> cells;
  DelimitedReader reader(csv);
  DelimitedRow row;
  reader.next(row);
  EXPECT_EQ(row.back().text, "Timestamp");
  while (reader.next(row)) {
    EXPECT_FALSE(row.back().quoted) << "a text cell, not a date-time: " << row.back().text;
    cells.push_back(row.back().text);
  }
  return cells;
}

// For every event of every version: the database's timestamp (and UTC on
// version 8) and the workbook's date-time are the Date and Local Time cells
// plus the millisecond, and Calc sorts by the date-time.
TEST(Timestamps, EveryEventOfEveryVersionReadBackBySqliteAndCalc) {
  TempDir dir;
  const unsigned versions[] = {5, 6, 7, 8};
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> expected;
  for (const unsigned version : versions) {
    SCOPED_TRACE(version);
    const std::string name = "v" + std::to_string(version);
    const std::string trace = dir.file(name + ".qnv");
    writeFile(trace, sweepTrace(version).bytes);
    ASSERT_EQ(convertFile(trace, dir.file(name + ".xls")).status, 0);
    ASSERT_EQ(convertFile(trace, dir.file(name + ".db"), {"--format=sqlite"}).status, 0);
    ASSERT_EQ(convertFile(trace, dir.file(name + ".xlsx"), {"--format=xlsx", "-dHA"}).status, 0);
    names.push_back(name);
    expected.push_back(expectedTimestamps(readFile(dir.file(name + ".xls")), version));
    ASSERT_GT(expected.back().size(), 250u);

    const std::vector<std::string> rows =
        sqliteLines(dir.file(name + ".db"),
                    "SELECT timestamp, ifnull(timestamp_utc, 'NULL') FROM events ORDER BY event");
    ASSERT_EQ(rows.size(), expected.back().size());
    for (size_t event = 0; event < rows.size(); ++event) {
      const std::string& local = expected.back()[event];
      // West of Greenwich: UTC is later.
      const std::string utc = version == 8 ? shifted(local, 5 * 3600 + 30 * 60) : "NULL";
      ASSERT_EQ(rows[event], local + "|" + utc) << "event " << event + 1;
    }
    // A window in SQL: the end's whole second with .999, as --end means it.
    const std::string begin = version >= 7 ? "2009-12-31 23:59:59" : "1980-01-01 23:59:59";
    const std::string end = version >= 7 ? "2010-01-01 00:00:30" : "1980-01-02 00:00:30";
    const std::string window = sqliteLines(dir.file(name + ".db"),
                                           "SELECT count(*) FROM events WHERE timestamp "
                                           "BETWEEN '" +
                                               begin + "' AND '" + end + ".999'")[0];
    const testing::RunResult selected =
        convertFile(trace, dir.file(name + "-window.xls"), {"--begin=" + begin, "--end=" + end});
    ASSERT_EQ(selected.status, 0);
    const size_t windowRows = tableRows(readFile(dir.file(name + "-window.xls"))).size();
    EXPECT_GT(windowRows, 20u);
    EXPECT_EQ(window, std::to_string(windowRows));
  }
  if (!testing::haveCalc()) GTEST_SKIP() << "no LibreOffice Calc (scripts/setup installs it)";
  testing::readWithCalc(dir, names);
  for (size_t index = 0; index < names.size(); ++index) {
    SCOPED_TRACE(names[index]);
    EXPECT_EQ(lastColumn(testing::sheetCsv(dir, names[index], "Events")), expected[index]);
  }
  // Calc sorts by the cells' values: latest first, the stamps that ran back
  // in their place.
  testing::sortWithCalc(dir, "v8");
  std::vector<std::string> latestFirst = expected[3];
  std::sort(latestFirst.rbegin(), latestFirst.rend());
  EXPECT_NE(latestFirst, expected[3]);
  EXPECT_EQ(lastColumn(readFile(dir.file("v8-sorted.csv"))), latestFirst);
}

// The rows of `table` whose expected timestamp lies in [from, to].
std::string rowsBetween(const std::string& table, unsigned version, const std::string& from,
                        const std::string& to) {
  const std::vector<std::string> lines = split(table, "\r\n");
  const std::vector<DelimitedRow> rows = tableRows(table);
  std::string kept = lines[0] + "\r\n";
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string at = expectedTimestamp(rows[i], version);
    if (at >= from && at <= to) kept += lines[i + 1] + "\r\n";
  }
  return kept;
}

// ISO bounds without a fraction select what the present forms select; with
// one they cut at that millisecond, both ends included.
TEST(Timestamps, IsoBoundsSelectAsThePresentFormsAndToTheMillisecond) {
  struct Case {
    unsigned version;
    std::vector<std::string> present;
    std::vector<std::string> iso;
    std::string from;  // the first and last instants kept
    std::string to;
  };
  const Case same[] = {
      {8,
       {"--begin=31/12/2009 23:59:58", "--end=31/12/2009 23:59:59"},
       {"--begin=2009-12-31T23:59:58", "--end=2009-12-31 23:59:59"},
       "2009-12-31 23:59:58.000",
       "2009-12-31 23:59:59.999"},
      {7, {"--begin=23:59:59"}, {"--begin=2009-12-31 23:59:59"}, "2009-12-31 23:59:59.000", "~"},
      {8, {"--end=23:59:57"}, {"--end=2009-12-31T23:59:57"}, "", "2009-12-31 23:59:57.999"},
      {6,
       {"--begin=23:59:30", "--end=01/01/1980 23:59:59"},
       {"--begin=1980-01-01T23:59:30", "--end=1980-01-01T23:59:59"},
       "1980-01-01 23:59:30.000",
       "1980-01-01 23:59:59.999"},
      {5, {"--end=00:00:01"}, {"--end=1980-01-01 00:00:01"}, "", "1980-01-01 00:00:01.999"},
  };
  for (const Case& c : same) {
    SCOPED_TRACE(::testing::PrintToString(c.iso));
    const builder::Trace trace = sweepTrace(c.version);
    const std::string full = testing::convertWithBinary(trace.bytes).table;
    const testing::BinaryConversion present = testing::convertWithBinary(trace.bytes, c.present);
    const testing::BinaryConversion iso = testing::convertWithBinary(trace.bytes, c.iso);
    EXPECT_EQ(iso.run.status, 0);
    EXPECT_GT(tableRows(present.table).size(), 2u);
    EXPECT_EQ(present.table, rowsBetween(full, c.version, c.from, c.to));
    EXPECT_EQ(iso.table, present.table);
  }
  struct Cut {
    unsigned version;
    std::string begin;
    std::string end;
  };
  const Cut cuts[] = {
      {8, "2009-12-31 23:59:59.999", "2010-01-01 00:00:00.001"},
      {8, "2009-12-31 23:59:57.999", "2009-12-31 23:59:58.000"},
      {7, "2009-12-31 23:59:56.999", "2009-12-31 23:59:59.000"},
      {6, "1980-01-01 23:59:59.999", "1980-01-02 00:00:00.000"},
      {5, "1980-01-01 00:00:00.001", "1980-01-01 00:00:00.999"},
  };
  for (const Cut& c : cuts) {
    SCOPED_TRACE(c.begin + " " + c.end);
    const builder::Trace trace = sweepTrace(c.version);
    const std::string full = testing::convertWithBinary(trace.bytes).table;
    const std::string expected = rowsBetween(full, c.version, c.begin, c.end);
    EXPECT_GE(split(expected, "\r\n").size(), 4u);  // titles, two rows or more, the end
    std::string isoBegin = c.begin;
    isoBegin[10] = 'T';
    const testing::BinaryConversion cut =
        testing::convertWithBinary(trace.bytes, {"--begin=" + isoBegin, "--end=" + c.end});
    EXPECT_EQ(cut.run.status, 0);
    EXPECT_EQ(cut.table, expected);
  }
}

// The interval of a row: its day and the number of the interval of
// `seconds` from midnight it lies in.
std::string intervalOf(const DelimitedRow& row, long seconds) {
  const std::string& time = row[3].text;
  const long secondOfDay = std::stol(time.substr(0, 2)) * 3600 + std::stol(time.substr(2, 2)) * 60 +
                           std::stol(time.substr(4));
  return row[2].text + "/" + std::to_string(secondOfDay / seconds);
}

// Events every few minutes over five hours across the year's end, one
// running back into the hour before.
builder::Trace hoursTrace() {
  builder::TraceSpec plan;
  plan.header.firstEventDate = {31, 12, 2009};
  plan.header.firstEventTime = {21, 10, 0};
  plan.header.firstEventStamp = 0;
  plan.blockSize = 1024;
  builder::EventMixOptions mix;
  mix.firstStamp = 0;
  mix.maxStampStep = 300000;
  std::vector<builder::EventSpec> events = builder::makeEventMix(5, 120, mix);
  events[60].timeStamp = events[40].timeStamp;
  return builder::buildTrace(plan, builder::encodeEvents(events, 8));
}

// Each part holds exactly the events of one interval (cut further by
// --split), in the trace's order; together they are the whole table.
TEST(Timestamps, SplitIntervalGivesOnePartPerInterval) {
  struct Case {
    std::vector<std::string> options;
    long seconds;
    size_t rowsPerPart;  // 0: no limit
  };
  const Case cases[] = {
      {{"--split-interval=1h"}, 3600, 0},
      {{"--split-interval=90m", "--split=7"}, 5400, 7},
      {{"--split-interval=600", "-th"}, 600, 0},
  };
  const builder::Trace trace = hoursTrace();
  const std::string full = testing::convertWithBinary(trace.bytes).table;
  const std::vector<std::string> lines = split(full, "\r\n");
  const std::vector<DelimitedRow> rows = tableRows(full);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    // The parts as the rule makes them, from the full table's rows.
    std::vector<std::vector<std::string>> expected;
    std::string interval;
    for (size_t i = 0; i < rows.size(); ++i) {
      const std::string at = intervalOf(rows[i], c.seconds);
      if (expected.empty() || at != interval ||
          (c.rowsPerPart > 0 && expected.back().size() == c.rowsPerPart)) {
        expected.emplace_back();
      }
      interval = at;
      expected.back().push_back(lines[i + 1]);
    }
    ASSERT_GT(expected.size(), 5u);
    TempDir dir;
    writeFile(dir.file("t.qnv"), trace.bytes);
    for (const std::string format : {"tsv", "sqlite"}) {
      SCOPED_TRACE(format);
      std::vector<std::string> options = c.options;
      options.push_back("--format=" + format);
      const std::string output = dir.file(format + "/out." + format);
      std::filesystem::create_directory(dir.file(format));
      const testing::RunResult run = convertFile(dir.file("t.qnv"), output, options);
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file(format)),
                              std::filesystem::directory_iterator()),
                static_cast<long>(expected.size()));
      for (size_t part = 0; part < expected.size(); ++part) {
        SCOPED_TRACE(part + 1);
        const std::string path =
            part == 0 ? output
                      : dir.file(format + "/out_" + std::to_string(part + 1) + "." + format);
        std::vector<std::string> got;
        if (format == "sqlite") {
          // The parts' events, numbered as in the table.
          for (const std::string& event :
               sqliteLines(path, "SELECT event FROM events ORDER BY event")) {
            got.push_back(lines[std::stoul(event)]);
          }
        } else {
          const std::vector<std::string> partLines = split(readFile(path), "\r\n");
          const size_t top =
              std::find(partLines.begin(), partLines.end(), lines[0]) - partLines.begin() + 1;
          got.assign(partLines.begin() + static_cast<long>(top), partLines.end() - 1);
        }
        EXPECT_EQ(got, expected[part]);
      }
    }
  }
}

}  // namespace
}  // namespace qnvtab
