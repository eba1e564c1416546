// Databases read back with the SQLite library: every row and column of
// `events` equal to the table's cells and to the events' bytes, the `trace`
// table with the header's fields and the options, and the indexes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "delimited_cells.h"
#include "format_fixtures.h"
#include "harness.h"
#include "sqlite_rows.h"

namespace qnvtab {
namespace {

using testing::convertFile;
using testing::Database;
using testing::DelimitedReader;
using testing::DelimitedRow;
using testing::openDatabase;
using testing::query;
using testing::readFile;
using testing::shownBytes;
using testing::TempDir;
using testing::writeFile;

struct Case {
  unsigned version;
  std::vector<std::string> options;
};

TEST(Database, EveryRowAndColumnIsTheTables) {
  const Case cases[] = {
      {8, {}}, {8, {"-dA", "-ferts"}}, {8, {"-dHA", "-th"}}, {6, {"-dA"}}, {5, {"-dHA"}},
  };
  const auto hex = testing::hexCell;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.version);
    SCOPED_TRACE(test.options.empty() ? "" : test.options[0]);
    TempDir dir;
    const std::string trace = dir.file("t.qnv");
    writeFile(trace, testing::mixedTrace(test.version).bytes);
    ASSERT_EQ(convertFile(trace, dir.file("t.xls"), test.options).status, 0);
    std::vector<std::string> options = test.options;
    options.push_back("--format=sqlite");
    const testing::RunResult run = convertFile(trace, dir.file("t.db"), options);
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");

    const Database db = openDatabase(dir.file("t.db"));
    const auto rows = query(db.get(), "SELECT * FROM events ORDER BY event");
    const auto blobs = query(db.get(), "SELECT CAST(data AS TEXT) FROM events ORDER BY event");
    const std::vector<builder::EventSpec> events = testing::mixedEvents(test.version);
    DelimitedReader table(readFile(dir.file("t.xls")));
    DelimitedRow cells;
    const bool header = test.options.size() > 1 && test.options[1] == "-th";
    for (int line = header ? 5 : 1; line > 0; --line) ASSERT_TRUE(table.next(cells));
    const size_t dumps = cells.size() - 14;
    const char* lsn = test.version == 5 ? "x%02X" : "x%04X";
    ASSERT_EQ(rows.size(), events.size());
    for (size_t event = 0; event < rows.size(); ++event) {
      SCOPED_TRACE("event " + std::to_string(event + 1));
      ASSERT_TRUE(table.next(cells));
      cells.resize(14 + dumps);
      const std::vector<std::string>& row = rows[event];
      // The cells, the data, the dumps, the two timestamps, the trace.
      ASSERT_EQ(row.size(), 18 + dumps);
      EXPECT_EQ(row.back(), "1");
      const std::vector<std::string> shown = {
          row[0], row[1], row[2], row[3], row[4], row[5], hex("x%02X", row[6]),
          row[7], hex(lsn, row[8]), row[9], hex(lsn, row[10]), hex("x%02X", row[11]),
          row[12], hex("x%08X", row[13])};
      for (size_t column = 0; column < 14; ++column) {
        EXPECT_EQ(shown[column], cells[column].text) << "column " << column;
      }
      const bool hasData = !events[event].data.empty();
      for (size_t dump = 0; dump < dumps; ++dump) {
        EXPECT_EQ(row[15 + dump], hasData ? cells[14 + dump].text : "<null>");
      }
      EXPECT_EQ(blobs[event][0], hasData ? shownBytes(events[event]) : "<null>");
    }
    EXPECT_FALSE(table.next(cells));
  }
}

TEST(Database, TraceTableHoldsTheHeaderAndTheOptions) {
  const std::vector<std::string> columns = {
      "version", "start_date", "start_time", "start_gmt_offset", "first_event_date",
      "first_event_time", "first_event_gmt_offset", "end_date", "end_time", "end_gmt_offset",
      "first_event_stamp", "data_format", "times_relative_to_first_event", "informative_header"};
  const std::string header =
      "Start Date    : 01/01/1980   Start Time    : 10:00:00 (GMT+1.00)\n"
      "1st Event Date: 01/01/1980   1st Event Time: 10:20:30 (GMT+1.00)\n"
      "End Date      : 19/05/2008   End Time      : 11:00:00 (GMT+1.00)\n";
  const std::pair<unsigned, std::vector<std::string>> cases[] = {
      {8, {"-dHA", "-th", "-ferts"}},
      {5, {"-dA", "-th"}},  // -th and -ferts need version 7
  };
  const std::vector<std::string> expected[] = {
      {"8", "1980-01-01", "10:00:00", "+01:00", "1980-01-01", "10:20:30", "+01:00", "2008-05-19",
       "11:00:00", "+01:00", "1000", "HA", "1", header},
      {"5", "1980-01-01", "10:00:00", "<null>", "<null>", "<null>", "<null>", "2008-05-19",
       "11:00:00", "<null>", "<null>", "A", "0", "<null>"},
  };
  for (size_t index = 0; index < std::size(cases); ++index) {
    SCOPED_TRACE(index);
    TempDir dir;
    const std::string trace = dir.file("t.qnv");
    writeFile(trace, testing::mixedTrace(cases[index].first).bytes);
    std::vector<std::string> options = cases[index].second;
    options.push_back("--format=sqlite");
    ASSERT_EQ(convertFile(trace, dir.file("t.db"), options).status, 0);
    const Database db = openDatabase(dir.file("t.db"));
    std::string names;
    for (const std::string& column : columns) names += (names.empty() ? "" : ", ") + column;
    const auto rows = query(db.get(), "SELECT " + names + " FROM trace");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], expected[index]);
    EXPECT_EQ(
        query(db.get(), "SELECT name, sql FROM sqlite_master WHERE type = 'index' ORDER BY name"),
        (std::vector<std::vector<std::string>>{
            {"events_cmd", "CREATE INDEX events_cmd ON events (cmd)"},
            {"events_time", "CREATE INDEX events_time ON events (time_msec)"},
            {"events_timestamp", "CREATE INDEX events_timestamp ON events (timestamp)"},
            {"events_trace_event",
             "CREATE UNIQUE INDEX events_trace_event ON events (trace_id, event)"},
            {"losses_trace", "CREATE INDEX losses_trace ON losses (trace_id)"},
            {"sqlite_autoindex_traces_1", "<null>"}}));
  }
}

// A selection split into parts: each part is a database of its own with
// its share of the selected rows, numbered as in the trace.
TEST(Database, SplitSelectionGivesOneDatabasePerPart) {
  TempDir dir;
  const std::string trace = dir.file("t.qnv");
  writeFile(trace, testing::mixedTrace(8).bytes);
  const testing::RunResult run =
      convertFile(trace, dir.file("t.db"), {"--format=sqlite", "--split=40", "--events=11-100"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::vector<std::string>> expected[] = {
      {{"40", "11", "50"}}, {{"40", "51", "90"}}, {{"10", "91", "100"}}};
  const std::string parts[] = {"t.db", "t_2.db", "t_3.db"};
  for (size_t part = 0; part < std::size(parts); ++part) {
    const Database db = openDatabase(dir.file(parts[part]));
    EXPECT_EQ(query(db.get(), "SELECT count(*), min(event), max(event) FROM events"),
              expected[part])
        << parts[part];
  }
  EXPECT_FALSE(testing::fileExists(dir.file("t_4.db")));
}

}  // namespace
}  // namespace qnvtab
