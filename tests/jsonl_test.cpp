// JSON Lines read back by Python's json module, not by this program's
// code: every object of every event equal to the table's cells, the data
// bytes and the database's timestamps, for traces of every version, with
// every byte value in the data.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "delimited_cells.h"
#include "format_fixtures.h"
#include "harness.h"
#include "sqlite_rows.h"

namespace qnvtab {
namespace {

using testing::convertFile;
using testing::DelimitedReader;
using testing::DelimitedRow;
using testing::hexCell;
using testing::readFile;
using testing::runShell;
using testing::TempDir;
using testing::writeFile;

// Each object as a line of KEY=VALUE fields: integers in decimal, null as
// "null", strings as the hex of their code points taken as bytes, which
// fails for a code point above 0xFF. Strict UTF-8 is asked of the file.
constexpr const char* kReader = R"(
import json, sys
for line in open(sys.argv[1], encoding='utf-8', newline='\n'):
    assert line.endswith('\n')
    fields = []
    for key, value in json.loads(line).items():
        if value is None: text = 'null'
        elif isinstance(value, int): text = str(value)
        else: text = value.encode('latin-1').hex()
        fields.append(key + '=' + text)
    print('\t'.join(fields))
)";

using Fields = std::vector<std::pair<std::string, std::string>>;

std::vector<Fields> readObjects(const std::string& reader, const std::string& lines) {
  const testing::RunResult run = runShell("python3 " + reader + " " + lines);
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<Fields> objects;
  size_t at = 0;
  while (at < run.out.size()) {
    const size_t end = run.out.find('\n', at);
    Fields fields;
    for (size_t field = at; field < end;) {
      const size_t tab = std::min(run.out.find('\t', field), end);
      const size_t equals = run.out.find('=', field);
      fields.emplace_back(run.out.substr(field, equals - field),
                          run.out.substr(equals + 1, tab - equals - 1));
      field = tab + 1;
    }
    objects.push_back(std::move(fields));
    at = end + 1;
  }
  return objects;
}

std::string unhex(const std::string& hex) {
  std::string bytes;
  for (size_t at = 0; at + 1 < hex.size(); at += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16)));
  }
  return bytes;
}

std::string upperHexOf(const builder::EventSpec& event) {
  std::string hex;
  for (const char byte : testing::shownBytes(event)) {
    hex += hexCell("%02X", std::to_string(static_cast<uint8_t>(byte)));
  }
  return hex;
}

struct Case {
  unsigned version;
  std::vector<std::string> options;
};

TEST(JsonLines, EveryObjectIsTheTablesRow) {
  const Case cases[] = {
      {8, {}}, {8, {"-dA", "-ferts"}}, {7, {"-dHA", "-th"}}, {6, {"-dA"}}, {5, {"-dHA"}},
  };
  TempDir dir;
  const std::string reader = dir.file("read.py");
  const std::string script = kReader;
  writeFile(reader, std::vector<uint8_t>(script.begin(), script.end()));
  for (const Case& test : cases) {
    SCOPED_TRACE(test.version);
    SCOPED_TRACE(test.options.empty() ? "" : test.options[0]);
    std::vector<builder::EventSpec> events = testing::mixedEvents(test.version);
    builder::EventSpec everyByte;
    everyByte.timeStamp = events.back().timeStamp + 5000;
    for (int byte = 0; byte < 256; ++byte) everyByte.data.push_back(static_cast<uint8_t>(byte));
    everyByte.length = 256;
    events.push_back(everyByte);
    builder::TraceSpec plan;
    plan.header.version = test.version;
    const std::string trace = dir.file("t.qnv");
    writeFile(trace, builder::buildTrace(plan, builder::encodeEvents(events, test.version)).bytes);

    ASSERT_EQ(convertFile(trace, dir.file("t.xls"), test.options).status, 0);
    std::vector<std::string> options = test.options;
    options.push_back("--format=sqlite");
    ASSERT_EQ(convertFile(trace, dir.file("t.db"), options).status, 0);
    options.back() = "--format=jsonl";
    const testing::RunResult run = convertFile(trace, dir.file("t.jsonl"), options);
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");

    const std::vector<Fields> objects = readObjects(reader, dir.file("t.jsonl"));
    const testing::Database db = testing::openDatabase(dir.file("t.db"));
    const auto times =
        testing::query(db.get(), "SELECT timestamp, timestamp_utc FROM events ORDER BY event");
    DelimitedReader table(readFile(dir.file("t.xls")));
    DelimitedRow titles;
    const bool header = test.options.size() > 1 && test.options[1] == "-th";
    for (int line = header ? 5 : 1; line > 0; --line) ASSERT_TRUE(table.next(titles));
    const size_t dumps = titles.size() - 14;
    const char* lsn = test.version == 5 ? "x%02X" : "x%04X";
    const std::vector<const char*> keys = {
        "event",   "time_msec", "date",   "local_time",     "timestamp", "timestamp_utc",
        "cmd",     "s",         "rc",     "po_in",          "lsn_in",    "po_out",
        "lsn_out", "info",      "length", "buffer_address", "data"};
    ASSERT_EQ(objects.size(), events.size());
    for (size_t event = 0; event < objects.size(); ++event) {
      SCOPED_TRACE("event " + std::to_string(event + 1));
      DelimitedRow cells;
      ASSERT_TRUE(table.next(cells));
      const Fields& object = objects[event];
      ASSERT_EQ(object.size(), keys.size() + dumps);
      for (size_t key = 0; key < keys.size(); ++key) EXPECT_EQ(object[key].first, keys[key]);
      auto value = [&](size_t key) { return object[key].second; };
      const std::vector<std::string> shown = {value(0),
                                              value(1),
                                              unhex(value(2)),
                                              unhex(value(3)),
                                              unhex(value(6)),
                                              unhex(value(7)),
                                              hexCell("x%02X", value(8)),
                                              value(9),
                                              hexCell(lsn, value(10)),
                                              value(11),
                                              hexCell(lsn, value(12)),
                                              hexCell("x%02X", value(13)),
                                              value(14),
                                              hexCell("x%08X", value(15))};
      for (size_t column = 0; column < 14; ++column) {
        EXPECT_EQ(shown[column], cells[column].text) << "column " << column;
      }
      EXPECT_EQ(unhex(value(4)), times[event][0]);
      EXPECT_EQ(value(5) == "null" ? "<null>" : unhex(value(5)), times[event][1]);
      EXPECT_EQ(unhex(value(16)), upperHexOf(events[event]));
      for (size_t dump = 0; dump < dumps; ++dump) {
        const std::string cell = cells.size() > 14 + dump ? cells[14 + dump].text : "";
        EXPECT_EQ(unhex(object[keys.size() + dump].second), cell) << titles[14 + dump].text;
        EXPECT_EQ(object[keys.size() + dump].first, dumps == 1  ? "buffer_content"
                                                    : dump == 0 ? "buffer_content_hex"
                                                                : "buffer_content_ascii");
      }
    }
    EXPECT_FALSE(table.next(titles));
  }
}

// On standard output, the same lines; the console text goes to stderr.
TEST(JsonLines, StandardOutputHoldsTheFilesLines) {
  TempDir dir;
  const std::string trace = dir.file("t.qnv");
  writeFile(trace, testing::mixedTrace(8).bytes);
  ASSERT_EQ(convertFile(trace, dir.file("t.jsonl"), {"--format=jsonl", "-dHA"}).status, 0);
  const testing::RunResult run =
      testing::runQnvtab({"-i" + trace, "-o-", "--format=jsonl", "-dHA"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, readFile(dir.file("t.jsonl")));
  EXPECT_NE(run.err.find("done."), std::string::npos) << run.err;
}

// Several traces on standard output: one stream, the traces in the order
// listed, each object led by its trace's path, otherwise the line of the
// trace's own file; a trace that fails writes what it would alone.
TEST(JsonLines, SeveralTracesShareOneStream) {
  TempDir dir;
  const std::vector<std::string> traces = {dir.file("a.qnv"), dir.file("b.qnv"), dir.file("c.qnv")};
  writeFile(traces[0], testing::mixedTrace(5, 40).bytes);
  std::vector<uint8_t> cut = testing::mixedTrace(8, 400).bytes;
  cut.resize(cut.size() / 2);
  writeFile(traces[1], cut);
  writeFile(traces[2], testing::mixedTrace(7, 90).bytes);
  std::string expected;
  for (const std::string& trace : traces) {
    convertFile(trace, trace + ".jsonl", {"--format=jsonl"});
    const std::string lines = readFile(trace + ".jsonl");
    for (size_t at = 0; at < lines.size();) {
      const size_t end = lines.find('\n', at) + 1;
      expected += "{\"trace\":\"" + trace + "\"," + lines.substr(at + 1, end - at - 1);
      at = end;
    }
  }
  const std::string list = traces[0] + "\n" + traces[1] + "\n" + traces[2] + "\n";
  writeFile(dir.file("list"), std::vector<uint8_t>(list.begin(), list.end()));
  const testing::RunResult run =
      testing::runQnvtab({"-o-", "--format=jsonl", "--inputs=" + dir.file("list")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, expected);
  EXPECT_NE(run.err.find("3 traces"), std::string::npos) << run.err;
  // The table of several traces still needs a folder.
  EXPECT_EQ(testing::runQnvtab({"-o-", "--inputs=" + dir.file("list")}).status, 2);
}

}  // namespace
}  // namespace qnvtab
