// The command line: options are examined left to right, case-insensitively,
// and the first decisive one (-? or an invalid option) ends the parse.
#ifndef QNVTAB_DRIVER_OPTIONS_H_
#define QNVTAB_DRIVER_OPTIONS_H_

#include <string>

#include "table/cell_format.h"

namespace qnvtab {

struct Options {
  std::string inputPath;
  std::string outputPath;
  bool printInformativeHeader = false;  // -th
  bool timesRelativeToFirstEvent = false;  // -ferts
  DataFormat dataFormat = DataFormat::Hex;  // -d
};

enum class CommandLineOutcome {
  Convert,        // both paths given, no -? and no invalid option
  ShowUsage,      // -? met, or a path missing
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

#endif  // QNVTAB_DRIVER_OPTIONS_H_
