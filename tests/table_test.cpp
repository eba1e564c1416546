// The output table of whole conversions through the real binary: the
// informative header and its GMT offsets, the title line, the rows' bytes,
// line ends, records that straddle blocks, and a real TSV reader's view of
// the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"
#include "table_fixtures.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using qnvtab::testing::split;
using qnvtab::testing::workedExampleEvent;

using builder::BlockMode;
using builder::Bytes;
using builder::EventSpec;
using builder::Trace;
using builder::TraceSpec;
using testing::runQnvtab;
using testing::TempDir;

const char kTitleLine[] =
    "\"Event\"\t\"Time (msec)\"\t\"Date\"\t\"Local Time\"\t\"Cmd\"\t\"S\"\t\"RC\"\t\"PoIn\"\t"
    "\"LsnIn\"\t\"PoOut\"\t\"LsnOut\"\t\"Info\"\t\"Length\"\t\"BufferAddress\"\t\"BufferContent\"\r\n";
const char kTitleLineHexAscii[] =
    "\"Event\"\t\"Time (msec)\"\t\"Date\"\t\"Local Time\"\t\"Cmd\"\t\"S\"\t\"RC\"\t\"PoIn\"\t"
    "\"LsnIn\"\t\"PoOut\"\t\"LsnOut\"\t\"Info\"\t\"Length\"\t\"BufferAddress\"\t"
    "\"BufferContent (Hex)\"\t\"BufferContent (Ascii)\"\r\n";
const char kWarning[] =
    "\r\nWarning: switched off options(s) not supported for the input file version.\r\n";

struct Conversion {
  testing::RunResult run;
  std::string table;
  std::string expectedStdout;  // banner and completion message
};

Conversion convert(const Bytes& traceBytes, const std::vector<std::string>& options) {
  testing::BinaryConversion conversion = testing::convertWithBinary(traceBytes, options);
  return {conversion.run, std::move(conversion.table),
          testing::successText(testing::kTraceName, testing::kTableName)};
}


// The lines of a table, without their CR LF; the text after the last line
// end must be empty.
std::vector<std::string> lines(const std::string& table) {
  std::vector<std::string> result = split(table, "\r\n");
  EXPECT_EQ(result.back(), "") << "the table does not end with a line end";
  result.pop_back();
  return result;
}


EventSpec simpleEvent(uint32_t stamp, Bytes data = {}) {
  EventSpec event;
  event.timeStamp = stamp;
  event.cmd = 0x10;
  event.poIn = 1;
  event.lsnIn = 0x0102;
  event.bufferAddress = 0x1000;
  event.length = static_cast<uint16_t>(data.size());
  event.data = std::move(data);
  return event;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes traceOf(unsigned version, const std::vector<EventSpec>& events, TraceSpec plan = {}) {
  plan.header.version = version;
  return builder::buildTrace(plan, builder::encodeEvents(events, version)).bytes;
}

std::vector<EventSpec> someEvents() {
  return {simpleEvent(1000, text("CALL HOST01\r\n")), simpleEvent(1010, {0x00, 0x0D, 0x0A, 0xFF}),
          simpleEvent(1020), simpleEvent(1030, text("\"quoted\""))};
}

TEST(Table, TitleLineComesFirstWithoutInformativeHeader) {
  const Bytes trace = traceOf(8, someEvents());
  for (const auto& [option, title] : {std::pair{"-dH", kTitleLine}, std::pair{"-dA", kTitleLine},
                                      std::pair{"-dHA", kTitleLineHexAscii}}) {
    SCOPED_TRACE(option);
    const Conversion c = convert(trace, {option});
    ASSERT_EQ(c.run.status, 0) << c.run.out;
    EXPECT_EQ(c.table.substr(0, std::string(title).size()), title);
    const std::vector<std::string> all = lines(c.table);
    ASSERT_EQ(all.size(), 1 + someEvents().size());
    EXPECT_EQ(split(all[0], "\t").size(), std::string(option) == "-dHA" ? 16u : 15u);
  }
  // Hex is the default.
  EXPECT_EQ(convert(trace, {}).table, convert(trace, {"-dH"}).table);
}

TEST(Table, InformativeHeaderOfVersion7HasNoGmtOffsets) {
  TraceSpec plan;
  plan.header.startDate = {3, 1, 2009};
  plan.header.startTime = {8, 5, 9};
  plan.header.firstEventDate = {4, 2, 2010};
  plan.header.firstEventTime = {10, 20, 30};
  plan.header.endDate = {31, 12, 2011};
  plan.header.endTime = {23, 59, 58};
  const Conversion c = convert(traceOf(7, someEvents(), plan), {"-th"});
  ASSERT_EQ(c.run.status, 0);
  EXPECT_EQ(c.run.out, c.expectedStdout);
  const std::string expected =
      "Start Date    : 03/01/2009   Start Time    : 08:05:09\r\n"
      "1st Event Date: 04/02/2010   1st Event Time: 10:20:30\r\n"
      "End Date      : 31/12/2011   End Time      : 23:59:58\r\n"
      "\r\n" +
      std::string(kTitleLine);
  EXPECT_EQ(c.table.substr(0, expected.size()), expected);
}

TEST(Table, InformativeHeaderOfVersion8EndsEachLineWithItsGmtOffset) {
  TraceSpec plan;
  plan.header.startGmtOffset = {0x00, 1, 0, 0};
  plan.header.firstEventGmtOffset = {0xFF, 5, 30, 0};
  plan.header.endGmtOffset = {0x01, 12, 45, 0};
  const Conversion c = convert(traceOf(8, someEvents(), plan), {"-th", "-dHA"});
  ASSERT_EQ(c.run.status, 0);
  const std::string expected =
      "Start Date    : 19/05/2008   Start Time    : 10:00:00 (GMT+1.00)\r\n"
      "1st Event Date: 19/05/2008   1st Event Time: 10:20:30 (GMT-5.30)\r\n"
      "End Date      : 19/05/2008   End Time      : 11:00:00 (GMT+12.45)\r\n"
      "\r\n" +
      std::string(kTitleLineHexAscii);
  EXPECT_EQ(c.table.substr(0, expected.size()), expected);
}

TEST(Table, OldVersionsSwitchOffHeaderAndRelativeTimesWithAWarning) {
  for (unsigned version : {5u, 6u}) {
    SCOPED_TRACE(version);
    const Bytes trace = traceOf(version, {simpleEvent(1000), simpleEvent(2500)});
    const Conversion plain = convert(trace, {});
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-th", "-ferts"}, {"-th"}, {"-ferts"}}) {
      const Conversion c = convert(trace, options);
      ASSERT_EQ(c.run.status, 0);
      EXPECT_EQ(c.run.out, c.expectedStdout + kWarning);
      EXPECT_EQ(c.table, plain.table);
    }
    EXPECT_EQ(plain.run.out, plain.expectedStdout);
    EXPECT_EQ(plain.table.substr(0, std::string(kTitleLine).size()), kTitleLine);
    const std::vector<std::string> rows = lines(plain.table);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(split(rows[2], "\t")[1], "2500");
  }
}

TEST(Table, Version7HonoursBothOptionsWithoutWarning) {
  const Conversion c = convert(traceOf(7, {simpleEvent(1000), simpleEvent(2500)}), {"-th", "-ferts"});
  ASSERT_EQ(c.run.status, 0);
  EXPECT_EQ(c.run.out, c.expectedStdout);
  EXPECT_EQ(c.table.rfind("Start Date    : ", 0), 0u);
  const std::vector<std::string> all = lines(c.table);
  ASSERT_EQ(all.size(), 4u + 1 + 2);
  EXPECT_EQ(split(all[5], "\t")[1], "0");
  EXPECT_EQ(split(all[6], "\t")[1], "1500");
}

TEST(Table, EveryLineEndsInCrLfAndNoOtherControlByteAppears) {
  std::vector<EventSpec> events = someEvents();
  Bytes everyByte(256);
  for (size_t i = 0; i < everyByte.size(); ++i) everyByte[i] = static_cast<uint8_t>(i);
  events.push_back(simpleEvent(1040, everyByte));
  events.push_back(simpleEvent(1050, Bytes(40, '\r')));
  events.push_back(simpleEvent(1060, Bytes(40, '\n')));
  TraceSpec plan;
  plan.blockSize = 1024;
  const Bytes trace = traceOf(8, events, plan);
  for (const char* option : {"-dH", "-dA", "-dHA"}) {
    SCOPED_TRACE(option);
    const Conversion c = convert(trace, {"-th", option});
    ASSERT_EQ(c.run.status, 0);
    for (size_t i = 0; i < c.table.size(); ++i) {
      const unsigned char b = static_cast<unsigned char>(c.table[i]);
      if (b == '\r') {
        ASSERT_TRUE(i + 1 < c.table.size() && c.table[i + 1] == '\n') << "lone CR at " << i;
      } else if (b == '\n') {
        ASSERT_TRUE(i > 0 && c.table[i - 1] == '\r') << "LF without CR at " << i;
      } else {
        ASSERT_TRUE(b == '\t' || (b >= 0x20 && b <= 0x7E)) << "byte " << int(b) << " at " << i;
      }
    }
    EXPECT_EQ(lines(c.table).size(), 4 + 1 + events.size());
  }
}

// The worked example: a version-8 trace whose first event is 19 May 2008
// 10:20:30 stamped 1000; its 7th event is the SEND below.
TEST(Table, WorkedExampleRowByteForByte) {
  std::vector<EventSpec> events;
  for (uint32_t i = 0; i < 6; ++i) events.push_back(simpleEvent(1000 + 100 * i, text("xyz")));
  events.push_back(workedExampleEvent());
  events.push_back(simpleEvent(7000));
  const Bytes trace = traceOf(8, events);
  const std::string head = "7\t6000\t190508\t102035\t\"SD\"\t\"P\"\t\"x00\"\t3\t\"x0012\"\t0\t"
                           "\"x0000\"\t\"x01\"\t4\tx00002C00\t";
  const std::string relativeHead = "7\t5000" + head.substr(6);
  struct Case {
    std::vector<std::string> options;
    std::string row;
  };
  const Case cases[] = {
      {{"-dH"}, head + "\"41 42 0D 0A\""},
      {{"-dA"}, head + "\" A  B 0D 0A\""},
      {{"-dHA"}, head + "\"41 42 0D 0A\"\t\"A B . .\""},
      {{"-dH", "-ferts"}, relativeHead + "\"41 42 0D 0A\""},
      {{"-dA", "-ferts"}, relativeHead + "\" A  B 0D 0A\""},
      {{"-dHA", "-ferts"}, relativeHead + "\"41 42 0D 0A\"\t\"A B . .\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.size() == 1 ? c.options[0] : c.options[0] + " " + c.options[1]);
    const Conversion conversion = convert(trace, c.options);
    ASSERT_EQ(conversion.run.status, 0);
    const std::string row = c.row + "\r\n";
    const size_t at = conversion.table.find("\r\n7\t");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(conversion.table.substr(at + 2, row.size()), row);
    EXPECT_EQ(lines(conversion.table).size(), 1 + events.size());
  }
}

TEST(Table, EventWithoutDataHasFourteenCellsEachFollowedByATab) {
  const Bytes trace = traceOf(8, {simpleEvent(1000)});
  for (const char* option : {"-dH", "-dA", "-dHA"}) {
    const Conversion c = convert(trace, {option});
    ASSERT_EQ(c.run.status, 0);
    const std::vector<std::string> all = lines(c.table);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1], "1\t1000\t190508\t102030\t\"CL\"\t\"P\"\t\"x00\"\t1\t\"x0102\"\t0\t\"x0000\"\t"
                      "\"x00\"\t0\tx00001000\t")
        << option;
  }
}

TEST(Table, TimesRelativeToTheFirstEvent) {
  TraceSpec plan;
  plan.header.firstEventStamp = 1000;
  const Conversion c =
      convert(traceOf(8, {simpleEvent(999), simpleEvent(1000), simpleEvent(1001), simpleEvent(0)}, plan),
              {"-ferts"});
  ASSERT_EQ(c.run.status, 0);
  const std::vector<std::string> all = lines(c.table);
  ASSERT_EQ(all.size(), 5u);
  const auto cells = [&](size_t row) { return split(all[row], "\t"); };
  EXPECT_EQ(cells(1)[1], "-1");
  EXPECT_EQ(cells(1)[3], "102029");  // the second before the first event
  EXPECT_EQ(cells(2)[1], "0");
  EXPECT_EQ(cells(2)[3], "102030");
  EXPECT_EQ(cells(3)[1], "1");
  EXPECT_EQ(cells(4)[1], "-1000");
  EXPECT_EQ(cells(4)[3], "102029");
}

TEST(Table, OldVersionsCountFromTheStartOf1980) {
  for (unsigned version : {5u, 6u}) {
    SCOPED_TRACE(version);
    const Conversion c = convert(
        traceOf(version, {simpleEvent(1), simpleEvent(3723000), simpleEvent(0xFFFFFFFFu)}), {});
    ASSERT_EQ(c.run.status, 0);
    const std::vector<std::string> all = lines(c.table);
    ASSERT_EQ(all.size(), 4u);
    const auto dateTime = [&](size_t row) {
      const std::vector<std::string> cells = split(all[row], "\t");
      return cells[2] + " " + cells[3];
    };
    EXPECT_EQ(dateTime(1), "010180 000000");
    EXPECT_EQ(dateTime(2), "010180 010203");
    EXPECT_EQ(dateTime(3), "190280 170247");
    EXPECT_EQ(split(all[3], "\t")[1], "-1");
  }
}

TEST(Table, LsnWidthFollowsTheHeadLayout) {
  EventSpec event = simpleEvent(1000, text("ok"));
  event.lsnIn = 0x12;
  event.lsnOut = 0xAB;
  const std::vector<std::string> narrow = split(lines(convert(traceOf(5, {event}), {}).table)[1], "\t");
  ASSERT_EQ(narrow.size(), 15u);
  EXPECT_EQ(narrow[8], "\"x12\"");
  EXPECT_EQ(narrow[10], "\"xAB\"");
  EXPECT_EQ(narrow[14], "\"6F 6B\"");
  for (unsigned version : {6u, 7u, 8u}) {
    const std::vector<std::string> wide =
        split(lines(convert(traceOf(version, {event}), {}).table)[1], "\t");
    ASSERT_EQ(wide.size(), 15u);
    EXPECT_EQ(wide[8], "\"x0012\"");
    EXPECT_EQ(wide[10], "\"x00AB\"");
    EXPECT_EQ(wide[14], "\"6F 6B\"");
  }
}

// Records longer than a block, split across two, three and more blocks,
// stored and compressed: the table must not depend on where blocks end.
TEST(Table, RecordsSplitAcrossBlocksAreWrittenOnce) {
  std::vector<EventSpec> events;
  for (uint32_t i = 0; i < 30; ++i) {
    Bytes data;
    for (uint32_t k = 0; k < (i * 29) % 110; ++k) data.push_back(static_cast<uint8_t>("ABCD\"\r\n"[k % 7] + (k / 7) % 3));
    events.push_back(simpleEvent(1000 + i * 250, data));
  }
  TraceSpec oneBlock;
  oneBlock.blockSize = 8192;
  const Conversion reference = convert(traceOf(8, events, oneBlock), {"-dHA"});
  ASSERT_EQ(reference.run.status, 0);
  const std::vector<std::string> rows = lines(reference.table);
  ASSERT_EQ(rows.size(), 1 + events.size());
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_EQ(split(rows[i], "\t")[0], std::to_string(i));

  for (BlockMode mode : {BlockMode::Stored, BlockMode::ForcedCompressed, BlockMode::Alternating}) {
    for (size_t chunk : {7u, 40u, 64u, 100u}) {
      SCOPED_TRACE("mode " + std::to_string(int(mode)) + ", " + std::to_string(chunk) + " bytes a block");
      TraceSpec plan;
      plan.blockSize = 160;
      plan.chunkSize = chunk;
      plan.mode = mode;
      const Conversion c = convert(traceOf(8, events, plan), {"-dHA"});
      ASSERT_EQ(c.run.status, 0) << c.run.out;
      EXPECT_EQ(c.run.out, c.expectedStdout);
      EXPECT_EQ(c.table, reference.table);
    }
  }
}

TEST(Table, TruncatedLastRecordGivesNoRow) {
  const std::vector<EventSpec> events = {simpleEvent(1000, text("first")), simpleEvent(1001, text("second")),
                                         simpleEvent(1002, text("third, cut short"))};
  const Bytes stream = builder::encodeEvents(events, 8);
  for (size_t cut : {1u, 10u, 16u, 30u}) {  // inside the data, the whole data, into the head
    SCOPED_TRACE(cut);
    TraceSpec plan;
    plan.blockSize = 32;
    const Bytes trace = builder::buildTrace(plan, Bytes(stream.begin(), stream.end() - static_cast<ptrdiff_t>(cut))).bytes;
    const Conversion c = convert(trace, {});
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, c.expectedStdout);
    const std::vector<std::string> all = lines(c.table);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(split(all[2], "\t")[14], "\"73 65 63 6F 6E 64\"");
  }
}

// A spreadsheet or TSV reader must see one row per event, also when a dump
// ends in a quote byte. Python's csv module is such a reader.
TEST(Table, TsvReaderSeesOneRowPerEvent) {
  if (std::system("python3 -c 'import csv' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  const std::vector<EventSpec> events = {
      simpleEvent(1000, text("say \"hi\"")),  // ends in a quote
      simpleEvent(1001, text("\"")),
      simpleEvent(1002, text("next row")),
      simpleEvent(1003, text("\"\"\t\"")),
      simpleEvent(1004),
      simpleEvent(1005, text("last")),
  };
  const Bytes trace = traceOf(8, events);
  TempDir dir;
  const std::string script = dir.file("read.py");
  {
    std::FILE* f = std::fopen(script.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(
        "import csv, sys\n"
        "with open(sys.argv[1], newline='') as f:\n"
        "    for row in csv.reader(f, delimiter='\\t'):\n"
        "        print(len(row), row[0], repr(row[14:]))\n",
        f);
    std::fclose(f);
  }
  for (const char* option : {"-dH", "-dA", "-dHA"}) {
    SCOPED_TRACE(option);
    const std::string table = dir.file(std::string("table") + option + ".xls");
    const std::string input = dir.file("trace.qnv");
    testing::writeFile(input, trace);
    ASSERT_EQ(runQnvtab({"-i" + input, "-o" + table, option}).status, 0);
    const std::string report = dir.file("report.txt");
    ASSERT_EQ(std::system(("python3 '" + script + "' '" + table + "' > '" + report + "'").c_str()), 0);
    std::vector<std::string> rows = split(testing::readFile(report), "\n");
    ASSERT_EQ(rows.back(), "");
    rows.pop_back();
    ASSERT_EQ(rows.size(), 1 + events.size());
    const bool both = std::string(option) == "-dHA";
    EXPECT_EQ(rows[0].substr(0, 3), both ? "16 " : "15 ");
    for (size_t i = 1; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].substr(0, rows[i].find('[')),
                std::to_string(events[i - 1].data.empty() || !both ? 15 : 16) + " " + std::to_string(i) + " ");
    }
    if (std::string(option) == "-dA") {
      EXPECT_EQ(rows[1], "15 1 [' s  a  y     \"  h  i  \"']");
      EXPECT_EQ(rows[2], "15 2 [' \"']");
      EXPECT_EQ(rows[4], "15 4 [' \"  \" 09  \"']");
    } else if (both) {
      EXPECT_EQ(rows[1], "16 1 ['73 61 79 20 22 68 69 22', 's a y   \" h i \"']");
      EXPECT_EQ(rows[2], "16 2 ['22', '\"']");
      EXPECT_EQ(rows[4], "16 4 ['22 22 09 22', '\" \" . \"']");
    }
    EXPECT_EQ(rows[5], "15 5 ['']");
  }
}

}  // namespace
}  // namespace qnvtab
