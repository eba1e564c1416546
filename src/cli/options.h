// The command line: options are examined left to right, case-insensitively,
// and the first decisive one (-? or an invalid option) ends the parse.
#ifndef QNVTAB_CLI_OPTIONS_H_
#define QNVTAB_CLI_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "events/event_selection.h"
#include "events/row_sink.h"
#include "split/split_sink.h"

namespace qnvtab {

// What the output file holds.
enum class OutputFormat { Tsv, Xlsx, Sqlite, Jsonl };

// The summary of --info on standard output, if any; Tsv is a title line
// and a row per trace.
enum class SummaryFormat { None, Text, Json, Tsv };

struct Options {
  std::string inputPath;   // -i
  // Several traces: those after "--", and those listed one per line in the
  // file `inputsList` ("-": standard input). -o then names a folder for
  // the tables and workbooks, or the one database.
  bool severalTraces = false;
  std::vector<std::string> tracePaths;
  std::string inputsList;  // --inputs
  std::string outputPath;  // -o
  bool writesTable = false;  // -o given
  bool outputToStdout = false;  // -o-: the table on standard output
  RowOptions rows;         // -th, -ferts, -d
  bool salvage = false;    // --salvage
  // --threads: 1 converts on the calling thread alone; 0 leaves the count
  // to the cores this process may use.
  unsigned threads = 0;
  // --events, --msec, --begin, --end, --cmd and --errors
  EventSelection selection;
  // --split and --split-interval; neither: one output file
  SplitRule split;
  OutputFormat format = OutputFormat::Tsv;  // --format
  bool testOnly = false;                    // --test: check the trace, write no table
  SummaryFormat summary = SummaryFormat::None;  // --info
  std::string reportPath;                   // --report: an HTML page of the summary
  bool append = false;                      // --append: add to the database at -o
  unsigned busyTimeoutSeconds = 60;         // --busy-timeout: waiting for its lock
  // The selection options as typed, for the summary to name.
  std::vector<std::string> selectionArguments;
};

// The most threads a run may be given.
inline constexpr unsigned kMaxThreads = 1024;
// The longest --busy-timeout, a day.
inline constexpr unsigned kMaxBusyTimeoutSeconds = 86400;

enum class CommandLineOutcome {
  Convert,        // the input and an output or a look given, no -? and no invalid option
  ShowUsage,      // -? met, or a path missing
  ShowHelp,       // --help
  ShowVersion,    // --version
  InvalidOption,  // `invalidArgument` names the argument as typed
};

struct CommandLine {
  CommandLineOutcome outcome = CommandLineOutcome::ShowUsage;
  Options options;
  std::string invalidArgument;
  // Why the argument is refused, or a hint at what was meant: a line for
  // standard error, empty when the argument speaks for itself.
  std::string invalidReason;
};

// Paths are taken in full, whatever their length.
CommandLine parseCommandLine(int argc, const char* const* argv);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_OPTIONS_H_
