// The command line: options are examined left to right, case-insensitively,
// and the first decisive one (-? or an invalid option) ends the parse.
#ifndef QNVTAB_CLI_OPTIONS_H_
#define QNVTAB_CLI_OPTIONS_H_

#include <string>

#include "events/row_sink.h"

namespace qnvtab {

// What the output file holds.
enum class OutputFormat { Tsv, Xlsx, Sqlite };

struct Options {
  std::string inputPath;   // -i
  std::string outputPath;  // -o
  RowOptions rows;         // -th, -ferts, -d
  bool salvage = false;    // --salvage
  OutputFormat format = OutputFormat::Tsv;  // --format
};

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
