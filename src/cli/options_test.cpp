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
      {"--format=JSONL", OutputFormat::Jsonl},
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

// -o- is standard output, for the table of one trace alone or JSON Lines
// of any number; ./- a file.
TEST(ParseCommandLine, StandardOutput) {
  const std::pair<std::vector<std::string>, bool> valid[] = {
      {{"-iA", "-o-"}, true},
      {{"-iA", "-O-", "--threads=2", "--salvage", "--info=json", "--errors"}, true},
      {{"-iA", "-o-", "-oB"}, false},
      {{"-iA", "-o./-"}, false},
      {{"-iA", "-o--"}, false},
      {{"-o-", "--format=jsonl", "--", "A", "B"}, true},
  };
  for (const auto& [arguments, toStdout] : valid) {
    SCOPED_TRACE(arguments[1] + " " + arguments.back());
    const CommandLine line = parse(arguments);
    ASSERT_EQ(line.outcome, CommandLineOutcome::Convert);
    EXPECT_EQ(line.options.outputToStdout, toStdout);
  }
  const std::vector<std::string> refused[] = {
      {"-o-", "-iA", "--format=xlsx"},
      {"-O-", "--format=sqlite", "-iA"},
      {"-o-", "-iA", "--split=100"},
      {"-o-", "--split-interval=60", "-iA"},
      {"-o-", "--", "A", "B"},
      {"-o-", "--inputs=L"},
      {"-o-", "--format=jsonl", "-iA", "--split=100"},
  };
  for (const std::vector<std::string>& arguments : refused) {
    SCOPED_TRACE(arguments[1]);
    const CommandLine line = parse(arguments);
    EXPECT_EQ(line.outcome, CommandLineOutcome::InvalidOption);
    EXPECT_EQ(line.invalidArgument, arguments[0]);
    EXPECT_EQ(line.invalidReason.rfind("-o- ", 0), 0u) << line.invalidReason;
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

// Every argument after -- is a trace, whatever it looks like; --inputs
// names a list. -i with either, --report with several and --append
// without a database are refused, with the reason for standard error.
TEST(ParseCommandLine, SeveralTraces) {
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::string> traces;
    std::string inputsList;
  };
  const Case valid[] = {
      {{"-oD", "--", "A", "B"}, {"A", "B"}, ""},
      {{"-oD", "--", "-x", "--threads=2", "-iA", "--", "-?"},
       {"-x", "--threads=2", "-iA", "--", "-?"},
       ""},
      {{"--info", "--"}, {}, ""},
      {{"--INPUTS=L", "-oD"}, {}, "L"},
      {{"--inputs=-", "--test", "--", "A"}, {"A"}, "-"},
      {{"--append", "--format=sqlite", "-oD.db", "--inputs=L"}, {}, "L"},
  };
  for (const Case& test : valid) {
    SCOPED_TRACE(test.arguments[0] + " " + test.arguments[1]);
    const CommandLine line = parse(test.arguments);
    ASSERT_EQ(line.outcome, CommandLineOutcome::Convert) << line.invalidArgument;
    EXPECT_TRUE(line.options.severalTraces);
    EXPECT_EQ(line.options.tracePaths, test.traces);
    EXPECT_EQ(line.options.inputsList, test.inputsList);
    EXPECT_EQ(line.options.inputPath, "");
  }
  EXPECT_FALSE(parse({"-iA", "-oB"}).options.severalTraces);
  EXPECT_FALSE(parse({"-iA", "-oB", "--format=sqlite", "--append"}).options.severalTraces);
  EXPECT_EQ(parse({"--", "A"}).outcome, CommandLineOutcome::ShowUsage);  // no output, no look

  const std::string onlyOne =
      "-i names the one trace of a run; with -- or --inputs the traces are listed there";
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"-iA", "-oD", "--", "B"}, "-iA"},
      {{"-oD", "--inputs=L", "-ia"}, "-ia"},
      {{"-IA", "--inputs=L", "-iB", "-oD"}, "-iB"},
      {{"-oD", "--inputs=", "--", "A"}, "--inputs="},
      {{"--report=r.html", "--", "A", "B"}, "--report=r.html"},
      {{"--inputs=L", "--report=r.html"}, "--report=r.html"},
      {{"-iA", "-oD", "--append"}, "--append"},
      {{"--append", "--format=xlsx", "-oD", "--", "A"}, "--append"},
      {{"--append", "--format=sqlite", "--format=tsv", "-oD", "--inputs=L"}, "--append"},
  };
  for (const auto& [arguments, argument] : refused) {
    SCOPED_TRACE(arguments[0] + " " + arguments[1]);
    const CommandLine line = parse(arguments);
    EXPECT_EQ(line.outcome, CommandLineOutcome::InvalidOption);
    EXPECT_EQ(line.invalidArgument, argument);
    if (argument.rfind("-i", 0) == 0) {
      EXPECT_EQ(line.invalidReason, onlyOne);
    } else if (argument != "--inputs=") {
      EXPECT_NE(line.invalidReason, "");
    }
  }
  // A bare name gets a hint at what was probably meant; an option does not.
  EXPECT_EQ(parse({"-oD", "A.QNV"}).invalidReason,
            "hint: -iFILE takes the path without a blank; several traces follow --, e.g. "
            "qnvtab -oOUT -- A.QNV B.QNV");
  EXPECT_EQ(parse({"-oD", "-x"}).invalidReason, "");
}

// --busy-timeout: whole seconds from 0 to a day; --info=tsv.
TEST(ParseCommandLine, BusyTimeoutAndSummaryFormats) {
  EXPECT_EQ(parse({"-iA", "-oB"}).options.busyTimeoutSeconds, 60u);
  const std::pair<const char*, unsigned> valid[] = {
      {"--busy-timeout=0", 0},         {"--busy-timeout=1", 1},   {"--BUSY-TIMEOUT=600", 600},
      {"--busy-timeout=86400", 86400}, {"--busy-timeout=007", 7},
  };
  for (const auto& [argument, seconds] : valid) {
    SCOPED_TRACE(argument);
    const CommandLine line = parse({"-iA", "-oB", "--format=sqlite", "--append", argument});
    ASSERT_EQ(line.outcome, CommandLineOutcome::Convert);
    EXPECT_EQ(line.options.busyTimeoutSeconds, seconds);
    EXPECT_TRUE(line.options.append);
  }
  for (const char* argument :
       {"--busy-timeout=86401", "--busy-timeout=-1", "--busy-timeout=+5",
        "--busy-timeout=", "--busy-timeout=1.5", "--busy-timeout=1e3", "--busy-timeout=5s",
        "--busy-timeout= 5", "--busy-timeout=4294967296", "--busy-timeout", "--busy-timeouts=5"}) {
    SCOPED_TRACE(argument);
    EXPECT_EQ(parse({"-iA", "-oB", "--format=sqlite", argument}).invalidArgument, argument);
  }
  const std::pair<const char*, SummaryFormat> formats[] = {
      {"--info", SummaryFormat::Text},      {"--info=text", SummaryFormat::Text},
      {"--info=json", SummaryFormat::Json}, {"--info=tsv", SummaryFormat::Tsv},
      {"--INFO=TSV", SummaryFormat::Tsv},
  };
  for (const auto& [argument, format] : formats) {
    SCOPED_TRACE(argument);
    const CommandLine line = parse({"-iA", argument});
    ASSERT_EQ(line.outcome, CommandLineOutcome::Convert);
    EXPECT_EQ(line.options.summary, format);
  }
  for (const char* argument : {"--info=", "--info=csv", "--info=tsv ", "--info=tsvx"}) {
    EXPECT_EQ(parse({"-iA", argument}).invalidArgument, argument);
  }
}

}  // namespace
}  // namespace qnvtab
