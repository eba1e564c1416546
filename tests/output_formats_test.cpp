// The workbook and the database take the table's output path: checked
// against the input, written up to an input fault midway, replacing an
// existing file, and their write failures reported like the table's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format_fixtures.h"
#include "harness.h"

namespace qnvtab {
namespace {

using testing::convertFile;
using testing::readFile;
using testing::runShell;
using testing::TempDir;
using testing::writeFile;

const char* const kFormats[] = {"xlsx", "sqlite"};

// The event rows of a workbook's first sheet or of a database.
size_t rowsIn(const std::string& format, const std::string& path) {
  const std::string count =
      format == "xlsx"
          ? runShell("unzip -p '" + path + "' xl/worksheets/sheet1.xml | grep -o '<row ' | wc -l")
                    .out
          : runShell("sqlite3 '" + path + "' 'SELECT count(*) + 1 FROM events'").out;
  return std::stoul(count) - 1;  // the title row
}

// Lines of the table after its title line.
size_t rowsInTable(const std::string& table) {
  size_t lines = 0;
  for (size_t at = 0; (at = table.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  return lines - 1;
}

TEST(OutputFormats, FileSizeLimitIsAWriteFailure) {
  TempDir dir;
  const std::string trace = dir.file("t.qnv");
  writeFile(trace, testing::mixedTrace(8, 3000).bytes);
  for (const std::string format : kFormats) {
    SCOPED_TRACE(format);
    const std::string output = dir.file("limited." + format);
    // 100 KiB, in the shell's 512-byte blocks.
    const testing::RunResult run = runShell("ulimit -f 200; exec \"$QNVTAB\" '-i" + trace +
                                            "' '-o" + output + "' --format=" + format);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Cannot write output file!\n");
    EXPECT_EQ(run.err, "qnvtab: " + output + ": cannot write: File too large\n");
  }
}

TEST(OutputFormats, RowsBeforeAnInputFaultStay) {
  TempDir dir;
  const std::string trace = dir.file("t.qnv");
  builder::Trace damaged = testing::mixedTrace(8, 3000);
  builder::flipBit(damaged.bytes, (damaged.blockOffsets[40] + 8) * 8);
  writeFile(trace, damaged.bytes);
  ASSERT_EQ(convertFile(trace, dir.file("t.xls")).status, 1);
  const size_t rows = rowsInTable(readFile(dir.file("t.xls")));
  ASSERT_GT(rows, 0u);
  for (const std::string format : kFormats) {
    SCOPED_TRACE(format);
    const std::string output = dir.file("t." + format);
    const testing::RunResult run = convertFile(trace, output, {"--format=" + format});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Invalid input file format or bad input file version!\n");
    EXPECT_EQ(rowsIn(format, output), rows);
  }
}

TEST(OutputFormats, AnExistingFileIsReplaced) {
  TempDir dir;
  const std::string large = dir.file("large.qnv");
  const std::string small = dir.file("small.qnv");
  writeFile(large, testing::mixedTrace(8, 500).bytes);
  writeFile(small, testing::mixedTrace(8, 20).bytes);
  for (const std::string format : kFormats) {
    SCOPED_TRACE(format);
    const std::string output = dir.file("out." + format);
    ASSERT_EQ(convertFile(large, output, {"--format=" + format}).status, 0);
    ASSERT_EQ(convertFile(small, output, {"--format=" + format}).status, 0);
    EXPECT_EQ(rowsIn(format, output), 20 + testing::kSpecialEvents);
  }
}

TEST(OutputFormats, TheInputIsNeverTheOutput) {
  TempDir dir;
  const std::string trace = dir.file("t.qnv");
  const builder::Trace bytes = testing::mixedTrace(8, 20);
  writeFile(trace, bytes.bytes);
  for (const std::string format : kFormats) {
    SCOPED_TRACE(format);
    const testing::RunResult run = convertFile(trace, trace, {"--format=" + format});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Cannot open output file!\n");
    EXPECT_EQ(run.err, "qnvtab: " + trace + ": cannot open: the output is the input file\n");
    EXPECT_EQ(readFile(trace), std::string(bytes.bytes.begin(), bytes.bytes.end()));
  }
  // Nor is standard output, when the shell appends it to the input: the
  // console text goes to standard error then.
  const testing::RunResult appended =
      testing::runShell("\"$QNVTAB\" -i'" + trace + "' -o- >>'" + trace + "'");
  EXPECT_EQ(appended.status, 1);
  EXPECT_EQ(appended.err,
            "qnvtab: -: cannot open: the output is the input file\n"
            "Cannot open output file!\n");
  EXPECT_EQ(readFile(trace), std::string(bytes.bytes.begin(), bytes.bytes.end()));
}

}  // namespace
}  // namespace qnvtab
