// Workbooks read back by a real spreadsheet, LibreOffice Calc headless: every
// cell is the table's, numbers are numbers and the rest text, each sheet has
// a bold frozen title row and an autofilter, a full sheet continues on the
// next, and a dump too long for a cell is cut and counted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calc.h"
#include "delimited_cells.h"
#include "format_fixtures.h"
#include "harness.h"

namespace qnvtab {
namespace {

using testing::convertFile;
using testing::DelimitedCell;
using testing::DelimitedReader;
using testing::DelimitedRow;
using testing::haveCalc;
using testing::readFile;
using testing::readWithCalc;
using testing::runShell;
using testing::sheetCsv;
using testing::successText;
using testing::TempDir;
using testing::writeFile;

constexpr size_t kSheetRows = 1048575;

// The columns that hold numbers: Event, Time (msec), PoIn, PoOut, Length.
bool isNumberColumn(size_t column) {
  return column == 0 || column == 1 || column == 7 || column == 9 || column == 12;
}

// Each sheet in turn holds the table's title row and its next rows (at most
// `rowsPerSheet`), every cell the table's text, quoted (text) or not (a
// number) by its column, then the Timestamp column, whose second is the
// Date and Local Time cells'; the table's first `headerLines` lines are the
// informative header.
void expectSheetsHoldTable(const std::string& table, size_t headerLines,
                           const std::vector<std::string>& sheets,
                           size_t rowsPerSheet = kSheetRows) {
  DelimitedReader rows(table);
  DelimitedRow title;
  for (size_t line = 0; line <= headerLines; ++line) ASSERT_TRUE(rows.next(title));
  DelimitedRow sheetTitle = title;
  sheetTitle.push_back({"Timestamp", true});
  DelimitedRow expected;
  DelimitedRow got;
  bool more = rows.next(expected);
  size_t event = 0;
  for (size_t index = 0; index < sheets.size(); ++index) {
    SCOPED_TRACE("sheet " + std::to_string(index + 1));
    DelimitedReader sheet(sheets[index]);
    ASSERT_TRUE(sheet.next(got));
    ASSERT_EQ(got, sheetTitle);
    for (size_t row = 0; row < rowsPerSheet && more; ++row, more = rows.next(expected)) {
      ++event;
      ASSERT_TRUE(sheet.next(got)) << "event row " << event;
      expected.resize(title.size());
      ASSERT_EQ(got.size(), sheetTitle.size()) << "event row " << event;
      for (size_t column = 0; column < title.size(); ++column) {
        const DelimitedCell cell{expected[column].text,
                                 !isNumberColumn(column) && !expected[column].text.empty()};
        ASSERT_EQ(got[column], cell) << "event row " << event << ", column " << column;
      }
      const std::string& date = expected[2].text;
      const std::string& time = expected[3].text;
      const std::string second = (date.substr(4) >= "80" ? "19" : "20") + date.substr(4) + "-" +
                                 date.substr(2, 2) + "-" + date.substr(0, 2) + " " +
                                 time.substr(0, 2) + ":" + time.substr(2, 2) + ":" +
                                 time.substr(4) + ".";
      ASSERT_EQ(got.back().text.substr(0, second.size()), second) << "event row " << event;
      ASSERT_FALSE(got.back().quoted) << "event row " << event;
    }
    EXPECT_FALSE(sheet.next(got)) << "more rows than the table";
  }
  EXPECT_FALSE(more) << "the table has rows past the last sheet";
}

// The start and the end of sheet part `number`, of a workbook of any size.
std::string sheetXml(const std::string& workbook, int number, const char* part) {
  return runShell("unzip -p '" + workbook + "' xl/worksheets/sheet" + std::to_string(number) +
                  ".xml | " + part)
      .out;
}

// Bold titles (the workbook's only other format), a frozen title row and an
// autofilter over the title and `rows` rows of `columns` columns.
void expectTitleFrozenAndFiltered(const std::string& workbook, int sheet, size_t rows,
                                  size_t columns) {
  SCOPED_TRACE("sheet part " + std::to_string(sheet));
  const std::string head = sheetXml(workbook, sheet, "head -c 4096");
  EXPECT_NE(head.find("<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" "
                      "state=\"frozen\"/>"),
            std::string::npos);
  EXPECT_NE(head.find("<c r=\"A1\" s=\"1\" t=\"inlineStr\">"), std::string::npos);
  const std::string lastColumn(1, static_cast<char>('A' + columns - 1));
  const std::string filter = "<autoFilter ref=\"A1:" + lastColumn + std::to_string(rows + 1) + "\"/>";
  EXPECT_NE(sheetXml(workbook, sheet, "tail -c 512").find(filter), std::string::npos) << filter;
}

struct Case {
  unsigned version;
  std::vector<std::string> options;
  bool headerSheet;
  size_t columns;
};

TEST(Workbook, EveryCellIsTheTablesTextOrNumber) {
  if (!haveCalc()) GTEST_SKIP() << "no LibreOffice Calc (scripts/setup installs it)";
  const Case cases[] = {
      {8, {}, false, 16},
      {8, {"-dA"}, false, 16},
      {8, {"-dHA", "-th", "-ferts"}, true, 17},
      {7, {"-dA", "-th"}, true, 16},
      {6, {"-dHA", "-th"}, false, 17},  // -th switched off
      {5, {"-dH"}, false, 16},
  };
  TempDir dir;
  std::vector<std::string> names;
  for (const Case& test : cases) {
    const std::string name = "case" + std::to_string(names.size() + 1);
    SCOPED_TRACE(name);
    const std::string trace = dir.file(name + ".qnv");
    writeFile(trace, testing::mixedTrace(test.version).bytes);
    ASSERT_EQ(convertFile(trace, dir.file(name + ".xls"), test.options).status, 0);
    std::vector<std::string> options = test.options;
    options.push_back("--format=xlsx");
    const std::string workbook = dir.file(name + ".xlsx");
    const testing::RunResult run = convertFile(trace, workbook, options);
    EXPECT_EQ(run.status, 0);
    const std::string warning =
        test.version < 7 && test.options.size() > 1
            ? "\r\nWarning: switched off options(s) not supported for the input file version.\r\n"
            : "";
    EXPECT_EQ(run.out, successText(trace, workbook) + warning);
    EXPECT_EQ(run.err, "");
    names.push_back(name);
  }
  readWithCalc(dir, names);
  for (size_t index = 0; index < names.size(); ++index) {
    const Case& test = cases[index];
    const std::string& name = names[index];
    SCOPED_TRACE(name);
    const std::string table = readFile(dir.file(name + ".xls"));
    const size_t headerLines = test.headerSheet ? 4 : 0;
    expectSheetsHoldTable(table, headerLines, {sheetCsv(dir, name, "Events")});
    expectTitleFrozenAndFiltered(dir.file(name + ".xlsx"), test.headerSheet ? 2 : 1,
                                 300 + testing::kSpecialEvents, test.columns);
    if (test.headerSheet) {
      // The informative header's lines, one text cell each.
      std::string lines;
      DelimitedReader header(sheetCsv(dir, name, "Trace"));
      for (DelimitedRow row; header.next(row);) {
        ASSERT_EQ(row.size(), 1u);
        EXPECT_TRUE(row[0].quoted);
        lines += row[0].text + "\r\n";
      }
      EXPECT_EQ(lines + "\r\n", table.substr(0, lines.size() + 2));
    } else {
      EXPECT_FALSE(testing::fileExists(dir.file(name + "-Trace.csv")));
    }
  }
}

// A dump cut for a cell ends after a whole byte with " ...", the warning
// counts the cut cells.
TEST(Workbook, DumpsLongerThanACellAreCutAndCounted) {
  if (!haveCalc()) GTEST_SKIP() << "no LibreOffice Calc (scripts/setup installs it)";
  std::vector<builder::EventSpec> events(3);
  events[0].data.assign(65535, '"');
  events[0].length = 65535;
  events[1].data.assign(10921, 0x41);  // 32,762 characters in hexadecimal: fits
  events[1].length = 10921;
  events[2].data.assign(20000, 0x0D);
  events[2].length = 30000;  // already shown with " ..."
  builder::TraceSpec plan;
  plan.blockSize = 65535;
  TempDir dir;
  const std::string trace = dir.file("long.qnv");
  writeFile(trace, builder::buildTrace(plan, builder::encodeEvents(events, 8)).bytes);
  ASSERT_EQ(convertFile(trace, dir.file("long.xls"), {"-dHA"}).status, 0);
  const std::string workbook = dir.file("long.xlsx");
  const testing::RunResult run = convertFile(trace, workbook, {"-dHA", "--format=xlsx"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "qnvtab: warning: " + workbook +
                         ": 4 dumps longer than a cell's 32767 characters cut after a whole byte "
                         "and marked with ' ...'\n");
  readWithCalc(dir, {"long"});
  DelimitedReader table(readFile(dir.file("long.xls")));
  DelimitedReader sheet(sheetCsv(dir, "long", "Events"));
  DelimitedRow expected;
  DelimitedRow got;
  ASSERT_TRUE(table.next(expected) && sheet.next(got));  // the titles
  for (size_t event = 0; event < events.size(); ++event) {
    SCOPED_TRACE(event);
    ASSERT_TRUE(table.next(expected) && sheet.next(got));
    for (const auto& [column, stride] : {std::pair<size_t, size_t>{14, 3}, {15, 2}}) {
      const std::string& full = expected[column].text;
      const std::string& cell = got[column].text;
      EXPECT_LE(cell.size(), 32767u);
      if (full.size() <= 32767) {
        EXPECT_EQ(cell, full);
        continue;
      }
      // `stride` characters per byte, the last without its blank.
      const size_t bytes = (32767 - 3) / stride;
      EXPECT_EQ(cell, full.substr(0, stride * bytes - 1) + " ...");
    }
  }
}

// 1,048,575 rows fill a sheet under the title; the next go to a new one with
// the title repeated.
TEST(Workbook, RowsPastAFullSheetGoToTheNext) {
  if (!haveCalc()) GTEST_SKIP() << "no LibreOffice Calc (scripts/setup installs it)";
  builder::TraceSpec plan;
  plan.blockSize = 32768;
  builder::TraceWriter writer(plan);
  builder::EventSpec event;
  for (uint32_t number = 1; number <= kSheetRows + 3; ++number) {
    event.timeStamp = number;
    event.cmd = static_cast<uint8_t>(number);
    writer.append(builder::encodeEvent(event, 8));
  }
  TempDir dir;
  const std::string trace = dir.file("full.qnv");
  writeFile(trace, writer.finish().bytes);
  ASSERT_EQ(convertFile(trace, dir.file("full.xls")).status, 0);
  ASSERT_EQ(convertFile(trace, dir.file("full.xlsx"), {"--format=xlsx"}).status, 0);
  readWithCalc(dir, {"full"});
  expectSheetsHoldTable(readFile(dir.file("full.xls")), 0,
                        {sheetCsv(dir, "full", "Events"), sheetCsv(dir, "full", "Events 2")});
  expectTitleFrozenAndFiltered(dir.file("full.xlsx"), 1, kSheetRows, 16);
  expectTitleFrozenAndFiltered(dir.file("full.xlsx"), 2, 3, 16);
}

}  // namespace
}  // namespace qnvtab
