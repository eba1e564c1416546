// The command line: options are examined left to right, case-insensitively,
// and the first decisive one (-? or an invalid option) ends the parse.
#ifndef QNVTAB_CLI_OPTIONS_H_
#define QNVTAB_CLI_OPTIONS_H_

#include <cstdint>
#include <string>

#include "events/event_selection.h"
#include "events/row_sink.h"
#include "split/split_sink.h"

namespace qnvtab {

// What the output file holds.
enum class OutputFormat { Tsv, Xlsx, Sqlite };

struct Options {
  std::string inputPath;   // -i
  std::string outputPath;  // -o
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
};

// The most threads a run may be given.
inline constexpr unsigned kMaxThreads = 1024;

enum class CommandLineOutcome {
  Convert,        // both paths given, no -? and no invalid option
  ShowUsage,      // -? met, or a path missing
  ShowHelp,       // --help
  ShowVersion,    // --version
  InvalidOption,  // `invalidArgument` names the argument as typed
};

struct CommandLine {
  CommandLineOutcome outcome = CommandLineOutcome::ShowUsage;
  Options options;
  std::string invalidArgument;
};

// Paths are taken in full, whatever their length.
CommandLine parseCommandLine(int argc, const char* const* argv);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_OPTIONS_H_
