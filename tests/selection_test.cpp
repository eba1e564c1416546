// Selection and splitting end to end: a selected run holds exactly the rows
// of the full table that its criteria pick, and a split run the same rows
// spread over files that each begin like the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "event_mix.h"
#include "harness.h"
#include "table_fixtures.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using testing::BinaryConversion;
using testing::convertWithBinary;
using testing::split;
using Cells = std::vector<std::string>;

constexpr char kCannotWrite[] = "Cannot write output file!\n";

// 700 events over about four minutes around the first event (stamp
// 120000, 19/05/2008 10:20:30), in many blocks.
builder::Trace mixTrace(unsigned version) {
  builder::EventMixOptions mix;
  mix.maxStampStep = 700;
  builder::TraceSpec plan;
  plan.header.version = version;
  plan.header.firstEventStamp = 120000;
  plan.blockSize = 1024;
  return builder::buildTrace(plan,
                             builder::encodeEvents(builder::makeEventMix(13, 700, mix), version));
}

// The lines of a table: the header lines up to the titles, then the rows.
struct Table {
  std::string top;
  std::vector<std::string> rows;
};

Table tableOf(const std::string& text) {
  Table table;
  const size_t titlesEnd = text.find("\r\n", text.find("\"Event\""));
  table.top = text.substr(0, titlesEnd + 2);
  table.rows = split(text.substr(table.top.size()), "\r\n");
  table.rows.pop_back();  // after the last line end
  return table;
}

struct SplitRun {
  testing::RunResult run;
  std::vector<std::string> names;  // of the files, as the console names them
  std::vector<std::string> files;
};

// Converts T.QNV in a fresh folder; the files named on the console must be
// all that the folder holds besides the trace.
SplitRun splitRun(const builder::Trace& trace, const std::string& output,
                  const std::vector<std::string>& options) {
  testing::TempDir work;
  testing::writeFile(work.file("T.QNV"), trace.bytes);
  std::filesystem::create_directory(work.file("d.x"));
  std::vector<std::string> arguments{"-iT.QNV", "-o" + output};
  arguments.insert(arguments.end(), options.begin(), options.end());
  SplitRun result{testing::runQnvtab(arguments, work.path()), {}, {}};
  // After the banner's four lines: the completion line, then one per part.
  const std::vector<std::string> lines = split(result.run.out, "\r\n");
  for (size_t i = 4; i + 1 < lines.size(); ++i) {
    const std::string name = i == 4 ? output : lines[i].substr(14, lines[i].size() - 16);
    EXPECT_EQ(lines[i], i == 4 ? "Conversion from 'T.QNV' to '" + output + "' done."
                               : "Continued in '" + name + "'.");
    result.names.push_back(name);
    result.files.push_back(testing::readFile(work.file(name)));
  }
  size_t entries = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(work.path())) {
    entries += entry.is_regular_file();
  }
  EXPECT_EQ(entries, result.files.size() + 1);
  return result;
}

using Keep = std::function<bool(const Cells&)>;
constexpr long kMin = LONG_MIN;  // for the open ends of ranges
constexpr long kMax = LONG_MAX;

// The rows whose cell `column` (read as a number) lies in [low, high].
Keep numberIn(size_t column, long low, long high) {
  return
      [=](const Cells& c) { return std::stol(c[column]) >= low && std::stol(c[column]) <= high; };
}
// The rows whose Date and Local Time, as "YYMMDDhhmmss", lie in [low, high].
Keep timeIn(const std::string& low, const std::string& high) {
  return [=](const Cells& c) {
    const std::string at = c[2].substr(4, 2) + c[2].substr(2, 2) + c[2].substr(0, 2) + c[3];
    return at >= low && at <= high;
  };
}
Keep both(Keep first, Keep second) {
  return [=](const Cells& c) { return first(c) && second(c); };
}
const Keep all = [](const Cells&) { return true; };
const Keep errors = [](const Cells& c) { return c[5] == "\"I\""; };
const Keep listed = [](const Cells& c) {
  return c[4] == "\"SD\"" || c[4] == "\"RV\"" || c[4] == "\"33\"" || c[4] == "\"DB\"";
};

struct Selection {
  unsigned version;
  std::vector<std::string> rowOptions;  // also given to the full table
  std::vector<std::string> selection;
  Keep keeps;
  uint64_t split;        // 0: none
  std::string output;    // "": S.XLS
  std::string lastName;  // of the last file; "": the output
};

// A selected run holds the rows of the full table that the criteria keep,
// cell for cell, spread over files of `split` rows that each begin like
// the table; the console and the salvage report are those of the full run.
TEST(Selection, SelectedRunIsTheFilteredFullTable) {
  const Selection selections[] = {
      {8, {}, {"--events=100-250"}, numberIn(0, 100, 250), 0, "", ""},
      {8, {}, {"--EVENTS=650-"}, numberIn(0, 650, kMax), 0, "", ""},
      {8, {}, {"--events=-3"}, numberIn(0, kMin, 3), 0, "", ""},
      {8, {}, {"--msec=30000-90000"}, numberIn(1, 30000, 90000), 0, "", ""},
      {8, {"-ferts"}, {"--msec=-40000-5000"}, numberIn(1, -40000, 5000), 0, "", ""},
      {7, {"-ferts"}, {"--msec=--100000"}, numberIn(1, kMin, -100000), 0, "", ""},
      {8,
       {},
       {"--begin=19/05/2008 10:20:00", "--end=10:21:30"},
       timeIn("080519102000", "080519102130"),
       0,
       "",
       ""},
      {8, {}, {"--begin=10:22:00"}, timeIn("080519102200", "99"), 0, "", ""},
      // Without a recorded first event, the day is that of the first event.
      {6, {}, {"--end=00:01:00"}, timeIn("", "800101000100"), 0, "", ""},
      {8, {}, {"--cmd=SD,rv,33,Db"}, listed, 0, "", ""},
      {5, {}, {"--errors"}, errors, 0, "", ""},
      {8,
       {"-dHA", "-th"},
       {"--events=50-600", "--cmd=SD,RV,33,DB", "--errors", "--msec=-60000-"},
       both(numberIn(0, 50, 600), both(listed, errors)),
       0,
       "",
       ""},
      // Splitting: names, titles, rows per file, no empty last file.
      {8, {}, {}, all, 300, "OUT.XLS", "OUT_3.XLS"},
      {8, {"-th"}, {}, all, 350, "OUT.XLS", "OUT_2.XLS"},
      {8, {}, {}, all, 700, "out", ""},
      {8, {}, {"--events=3-8"}, numberIn(0, 3, 8), 2, "d.x/t", "d.x/t_3"},
      {8,
       {"-dHA", "-th"},
       {"--events=699-"},
       numberIn(0, 699, kMax),
       1,
       "d.x/t.b.xls",
       "d.x/t.b_2.xls"},
      // Salvage numbers the rows it recovers; selection works on those.
      {8,
       {"--salvage"},
       {"--events=40-", "--cmd=SD,RV,33,DB"},
       both(numberIn(0, 40, kMax), listed),
       30,
       "",
       "S_3.XLS"},
  };
  for (const Selection& s : selections) {
    SCOPED_TRACE(::testing::PrintToString(s.selection) + " split " + std::to_string(s.split));
    builder::Trace trace = mixTrace(s.version);
    std::vector<std::string> options = s.rowOptions;
    if (!options.empty() && options[0] == "--salvage")
      builder::flipBit(trace.bytes, (trace.blockOffsets[12] + 9) * 8);
    const SplitRun full = splitRun(trace, "F.XLS", options);
    options.insert(options.end(), s.selection.begin(), s.selection.end());
    if (s.split > 0) options.push_back("--Split=" + std::to_string(s.split));
    const std::string output = s.output.empty() ? "S.XLS" : s.output;
    const SplitRun selected = splitRun(trace, output, options);
    EXPECT_EQ(selected.run.status, full.run.status);
    ASSERT_FALSE(selected.names.empty());
    EXPECT_EQ(selected.names.back(), s.lastName.empty() ? output : s.lastName);

    const Table whole = tableOf(full.files[0]);
    std::vector<std::string> expected;
    for (const std::string& row : whole.rows) {
      if (s.keeps(split(row, "\t"))) expected.push_back(row);
    }
    ASSERT_GT(expected.size(), 0u);
    EXPECT_EQ(selected.files.size(), s.split == 0 ? 1 : (expected.size() + s.split - 1) / s.split);
    std::vector<std::string> rows;
    for (size_t i = 0; i < selected.files.size(); ++i) {
      const Table part = tableOf(selected.files[i]);
      EXPECT_EQ(part.top, whole.top);
      if (i + 1 < selected.files.size()) {
        EXPECT_EQ(part.rows.size(), s.split);
      }
      rows.insert(rows.end(), part.rows.begin(), part.rows.end());
    }
    EXPECT_EQ(rows, expected);
    // The salvage summary counts the rows written beside the events read.
    std::string err = full.run.err;
    const size_t written = err.find(" events written");
    if (written != std::string::npos) {
      err.replace(written, 15, " events read, " + std::to_string(rows.size()) + " rows written");
    }
    EXPECT_EQ(selected.run.err, err);
  }
}

// Reading ends after the last event asked for: damage behind it is never met.
TEST(Selection, ReadingStopsAfterTheLastEvent) {
  builder::Trace trace = mixTrace(8);
  builder::flipBit(trace.bytes, (trace.blockOffsets[20] + 9) * 8);
  EXPECT_EQ(convertWithBinary(trace.bytes).run.status, 1);
  const BinaryConversion run = convertWithBinary(trace.bytes, {"--events=2-10", "--cmd=SD"});
  EXPECT_EQ(run.run.status, 0);
  EXPECT_EQ(run.run.err, "");
  EXPECT_EQ(run.run.out, testing::successText(testing::kTraceName, testing::kTableName));
}

// A sheet holds 1,048,576 rows: the titles and 1,048,575 events.
TEST(Split, AtTheSheetLimit) {
  constexpr uint32_t kRows = 1048575;
  builder::TraceSpec plan;
  plan.blockSize = 32768;
  plan.mode = builder::BlockMode::Stored;
  builder::TraceWriter writer(plan);
  builder::EventSpec event;
  for (uint32_t i = 0; i < kRows + 3; ++i) {
    event.timeStamp = 1000 + i / 8;
    writer.append(builder::encodeEvent(event, 8));
  }
  const SplitRun run = splitRun(writer.finish(), "BIG.XLS", {"--split=1048575", "-th"});
  EXPECT_EQ(run.run.status, 0);
  ASSERT_EQ(run.files.size(), 2u);
  // The big part is checked without cutting it into a million strings.
  const std::string& first = run.files[0];
  const Table second = tableOf(run.files[1]);
  EXPECT_EQ(first.substr(0, second.top.size()), second.top);
  EXPECT_EQ(std::count(first.begin(), first.end(), '\n'),
            std::count(second.top.begin(), second.top.end(), '\n') + kRows);
  EXPECT_EQ(first.substr(first.rfind("\r\n", first.size() - 3) + 2, 8), "1048575\t");
  ASSERT_EQ(second.rows.size(), 3u);
  EXPECT_EQ(second.rows[0].substr(0, 8), "1048576\t");
  EXPECT_EQ(second.rows[2].substr(0, 8), "1048578\t");
}

// A part that cannot be opened or written fails the run like the output
// itself; the rows before it stay.
TEST(Split, PartThatFails) {
  struct Case {
    std::string output;
    std::function<void(const testing::TempDir&)> prepare;
    std::string diagnosis;
  };
  const Case cases[] = {
      {"OUT.XLS",
       [](const testing::TempDir& w) { std::filesystem::create_directory(w.file("OUT_2.XLS")); },
       "qnvtab: OUT_2.XLS: cannot open: Is a directory\n"},
      {"T", [](const testing::TempDir&) {},
       "qnvtab: T_2.QNV: cannot open: the output is the input file\n"},
      {"OUT.XLS",
       [](const testing::TempDir& w) {
         std::filesystem::create_symlink("/dev/full", w.file("OUT_2.XLS"));
       },
       "qnvtab: OUT_2.XLS: cannot write: No space left on device\n"},
  };
  const builder::Trace trace = mixTrace(8);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.diagnosis);
    testing::TempDir work;
    testing::writeFile(work.file("T_2.QNV"), trace.bytes);
    c.prepare(work);
    const std::string output = c.output == "T" ? "T.QNV" : c.output;
    const testing::RunResult run =
        testing::runQnvtab({"-iT_2.QNV", "-o" + output, "--split=400"}, work.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kCannotWrite);
    EXPECT_EQ(run.err, c.diagnosis);
    EXPECT_EQ(tableOf(testing::readFile(work.file(output))).rows.size(), 400u);
    EXPECT_EQ(testing::readFile(work.file("T_2.QNV")).size(), trace.bytes.size());
  }
}

}  // namespace
}  // namespace qnvtab
