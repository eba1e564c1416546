#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnvtab {
namespace {

CommandLine parse(std::vector<std::string> arguments) {
  std::vector<const char*> argv{"qnvtab"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(ParseCommandLine, BothPathsNeeded) {
  EXPECT_EQ(parse({}).outcome, CommandLineOutcome::ShowUsage);
  EXPECT_EQ(parse({"-iA"}).outcome, CommandLineOutcome::ShowUsage);
  EXPECT_EQ(parse({"-oB", "-th", "-dA"}).outcome, CommandLineOutcome::ShowUsage);

  const CommandLine both = parse({"-iIN", "-oOUT"});
  ASSERT_EQ(both.outcome, CommandLineOutcome::Convert);
  EXPECT_EQ(both.options.inputPath, "IN");
  EXPECT_EQ(both.options.outputPath, "OUT");
  EXPECT_FALSE(both.options.rows.informativeHeader);
  EXPECT_FALSE(both.options.rows.timesRelativeToFirstEvent);
  EXPECT_EQ(both.options.rows.dataFormat, DataFormat::Hex);

  // An empty rest is a given, empty path.
  const CommandLine empty = parse({"-i", "-o"});
  EXPECT_EQ(empty.outcome, CommandLineOutcome::Convert);
  EXPECT_EQ(empty.options.inputPath, "");
}

// -? and an invalid option end the parse where they are met.
TEST(ParseCommandLine, FirstDecisiveArgumentWins) {
  EXPECT_EQ(parse({"-iA", "-oB", "-?"}).outcome, CommandLineOutcome::ShowUsage);
  EXPECT_EQ(parse({"-?", "-x"}).outcome, CommandLineOutcome::ShowUsage);
  const CommandLine invalid = parse({"-iA", "-x", "-?", "-y"});
  EXPECT_EQ(invalid.outcome, CommandLineOutcome::InvalidOption);
  EXPECT_EQ(invalid.invalidArgument, "-x");
}

TEST(ParseCommandLine, OptionsIgnoreCase) {
  const CommandLine line = parse({"-TH", "-Ferts", "-IFILE", "-OuT", "-DhexAscii"});
  ASSERT_EQ(line.outcome, CommandLineOutcome::Convert);
  EXPECT_TRUE(line.options.rows.informativeHeader);
  EXPECT_TRUE(line.options.rows.timesRelativeToFirstEvent);
  EXPECT_EQ(line.options.inputPath, "FILE");  // the path keeps its case
  EXPECT_EQ(line.options.outputPath, "uT");
  EXPECT_EQ(line.options.rows.dataFormat, DataFormat::HexAscii);
}

TEST(ParseCommandLine, DataFormats) {
  const std::pair<const char*, DataFormat> valid[] = {
      {"-dH", DataFormat::Hex},
      {"-dhex", DataFormat::Hex},
      {"-dA", DataFormat::Ascii},
      {"-dAscii", DataFormat::Ascii},
      {"-dha", DataFormat::HexAscii},
      {"-dAh", DataFormat::HexAscii},
      {"-dHEXASCII", DataFormat::HexAscii},
      {"-dasciihex", DataFormat::HexAscii},
  };
  for (const auto& [argument, format] : valid) {
    // Starting from another format, so that a value left at the default
    // does not pass by chance.
    const std::string before = format == DataFormat::Ascii ? "-dH" : "-dA";
    const CommandLine line = parse({before, argument, "-iA", "-oB"});
    ASSERT_EQ(line.outcome, CommandLineOutcome::Convert) << argument;
    EXPECT_EQ(line.options.rows.dataFormat, format) << argument;
  }
  for (const char* argument : {"-d", "-D", "-dHX", "-dHEXA", "-dhex ", "-dAA", "-dx", "-dir"}) {
    const CommandLine line = parse({"-iA", "-oB", argument});
    EXPECT_EQ(line.outcome, CommandLineOutcome::InvalidOption) << argument;
    EXPECT_EQ(line.invalidArgument, argument);
  }
}

// -th and -ferts must be the whole argument; -d, -i and -o take the rest,
// tested in that order.
TEST(ParseCommandLine, RuleOrder) {
  for (const char* argument :
       {"-thx", "-t", "-fert", "-fertss", "-?x", "-", "", "x", "-x", "TRACE.QNV", "--i"}) {
    const CommandLine line = parse({"-iA", "-oB", argument});
    EXPECT_EQ(line.outcome, CommandLineOutcome::InvalidOption) << argument;
    EXPECT_EQ(line.invalidArgument, argument);
  }
  const CommandLine line = parse({"-i-th", "-o-?"});
  ASSERT_EQ(line.outcome, CommandLineOutcome::Convert);
  EXPECT_EQ(line.options.inputPath, "-th");
  EXPECT_EQ(line.options.outputPath, "-?");
  EXPECT_FALSE(line.options.rows.informativeHeader);

  const CommandLine twoWords = parse({"-i", "TRACE.QNV", "-oB"});
  EXPECT_EQ(twoWords.outcome, CommandLineOutcome::InvalidOption);
  EXPECT_EQ(twoWords.invalidArgument, "TRACE.QNV");
}

TEST(ParseCommandLine, LaterValuesReplaceEarlierOnes) {
  const CommandLine line =
      parse({"-iA", "-oB", "-dA", "-th", "-th", "-ferts", "-ferts", "-iC", "-oD", "-dHA"});
  ASSERT_EQ(line.outcome, CommandLineOutcome::Convert);
  EXPECT_EQ(line.options.inputPath, "C");
  EXPECT_EQ(line.options.outputPath, "D");
  EXPECT_EQ(line.options.rows.dataFormat, DataFormat::HexAscii);
  EXPECT_TRUE(line.options.rows.informativeHeader);
  EXPECT_TRUE(line.options.rows.timesRelativeToFirstEvent);
}

// The selection and split options ignore the case of their names; their
// values are read in events/event_selection.
TEST(ParseCommandLine, SelectionAndSplit) {
  const CommandLine line = parse({"-iA", "-oB", "--EVENTS=5-", "--Msec=--3", "--begin=10:00:00",
                                  "--End=10:00:00", "--cmd=sd", "--Errors", "--SPLIT=1048575"});
  ASSERT_EQ(line.outcome, CommandLineOutcome::Convert);
  const EventSelection& selection = line.options.selection;
  EXPECT_TRUE(selection.events && selection.msec && selection.begin && selection.end &&
              selection.commands && selection.errorsOnly);
  EXPECT_EQ(line.options.split.rowsPerPart, 1048575u);
  EXPECT_EQ(line.options.split.intervalSeconds, 0u);
  EXPECT_TRUE(parse({"-iA", "-oB"}).options.selection.keepsAll());
  for (const char* argument : {"--events", "--split=-1", "--split=1e3", "--errors=1", "--split"}) {
    EXPECT_EQ(parse({"-iA", "-oB", argument}).invalidArgument, argument);
  }
  EXPECT_EQ(parse({"--begin=10:00:01", "--end=10:00:00"}).invalidArgument, "--end=10:00:00");
}

// Seconds without a unit; a day at most.
TEST(ParseCommandLine, SplitIntervals) {
  const std::pair<const char*, uint32_t> valid[] = {
      {"--split-interval=1", 1},         {"--split-interval=90s", 90},
      {"--SPLIT-INTERVAL=15M", 900},     {"--split-interval=1h", 3600},
      {"--split-interval=24h", 86400},   {"--split-interval=1440m", 86400},
      {"--split-interval=86400", 86400}, {"--split-interval=007s", 7},
  };
  for (const auto& [argument, seconds] : valid) {
    SCOPED_TRACE(argument);
    const CommandLine line = parse({"-iA", "-oB", "--split=10", argument});
    ASSERT_EQ(line.outcome, CommandLineOutcome::Convert);
    EXPECT_EQ(line.options.split.intervalSeconds, seconds);
    EXPECT_EQ(line.options.split.rowsPerPart, 10u);
  }
  for (const char* argument :
       {"--split-interval=0", "--split-interval=0h", "--split-interval=", "--split-interval=h",
        "--split-interval=-1", "--split-interval=+1", "--split-interval=1d", "--split-interval=1 h",
        "--split-interval=25h", "--split-interval=86401", "--split-interval=1441m",
        "--split-interval=4294967296", "--split-interval=99999999999h", "--split-interval=1.5h",
        "--split-interval", "--split-intervals=1h"}) {
    SCOPED_TRACE(argument);
    EXPECT_EQ(parse({"-iA", "-oB", argument}).invalidArgument, argument);
  }
}

TEST(ParseCommandLine, OutputFormats) {
  EXPECT_EQ(parse({"-iA", "-oB"}).options.format, OutputFormat::Tsv);
  const std::pair<const char*, OutputFormat> valid[] = {
      {"--format=tsv", OutputFormat::Tsv},
      {"--FORMAT=XLSX", OutputFormat::Xlsx},
      {"--Format=SQLite", OutputFormat::Sqlite},
  };
  for (const auto& [argument, format] : valid) {
    SCOPED_TRACE(argument);
    const CommandLine line = parse({"-iA", "-oB", "--format=sqlite", argument});
    ASSERT_EQ(line.outcome, CommandLineOutcome::Convert);
    EXPECT_EQ(line.options.format, format);
  }
  for (const char* argument : {"--format", "--format=", "--format=xls", "--format=csv",
                               "--formats=tsv", "-format=tsv", "--format=tsv "}) {
    SCOPED_TRACE(argument);
    const CommandLine line = parse({"-iA", "-oB", argument});
    EXPECT_EQ(line.outcome, CommandLineOutcome::InvalidOption);
    EXPECT_EQ(line.invalidArgument, argument);
  }
}

TEST(ParseCommandLine, PathsAreKeptInFull) {
  const std::string longPath(300, 'p');
  const std::string odd = "dir with blanks/%s%n\t\xC3\xA9.qnv";
  const CommandLine line = parse({"-i" + longPath, "-o" + odd});
  ASSERT_EQ(line.outcome, CommandLineOutcome::Convert);
  EXPECT_EQ(line.options.inputPath, longPath);
  EXPECT_EQ(line.options.outputPath, odd);
}

}  // namespace
}  // namespace qnvtab
