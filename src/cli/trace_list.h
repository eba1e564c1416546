// The traces of a run of several, and where each one's output goes: the
// paths after "--" and those listed in the --inputs file, checked before
// any work against each other and against the output.
#ifndef QNVTAB_CLI_TRACE_LIST_H_
#define QNVTAB_CLI_TRACE_LIST_H_

#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"

namespace qnvtab {

struct TraceList {
  std::vector<std::string> inputs;
  // For each input: its table or workbook in the folder at -o
  // (NAME.xls, NAME.xlsx), or the database at -o, or empty without -o.
  std::vector<std::string> outputs;
};

// The output file of the trace at `input` in `folder`: the trace's file
// name without its extension, then the format's extension.
std::string folderOutputPath(const std::string& folder, const std::string& input,
                             OutputFormat format);

// Fills `traces`; a line that says why the run cannot start, or none. The
// --inputs list gives one path per line (a CR before the line feed is not
// part of it), blank lines skipped. The folder for tables and workbooks is
// made when missing.
std::optional<std::string> listTraces(const Options& options, TraceList& traces);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_TRACE_LIST_H_
