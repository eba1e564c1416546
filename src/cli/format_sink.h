// The row sink of the output format chosen with --format: the one place
// that names the sink types. Everything else speaks to the sink through
// its interface, which says why it failed and what its reader should know.
#ifndef QNVTAB_CLI_FORMAT_SINK_H_
#define QNVTAB_CLI_FORMAT_SINK_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "cli/output_file.h"
#include "database/sqlite_database.h"
#include "events/row_sink.h"
#include "parallel/worker_pool.h"

namespace qnvtab {

// What each database part of a split trace is made with: its settings but
// the path, and the trace's row as known before the conversion.
struct DatabasePart {
  DatabaseSettings settings;
  TraceRow row;
};

class FormatSink {
 public:
  // `file` is the output, already opened at `path` (so checked against the
  // input and emptied): the table is written through it, the workbook and
  // a database part by their libraries at the same path. The table formats
  // its rows on `workers` when given. A database part needs `part`.
  // JSON Lines objects carry `trace` when it is not empty: several traces
  // then share one stream.
  FormatSink(OutputFormat format, const std::string& path, OutputFile& file, WorkerPool* workers,
             const DatabasePart* part = nullptr, std::string_view trace = {});

  // Null when the sink's buffers could not be allocated: bufferBytes().
  RowSink* sink() { return sink_.get(); }
  size_t bufferBytes() const;

 private:
  std::unique_ptr<RowSink> sink_;
};

// Whether outputs of `format` may be written for several traces at once,
// on several threads: the table's and JSON Lines may; a database takes one trace at a
// time, and the workbook's library makes no promise for several at once.
bool writesSideBySide(OutputFormat format);

// Adds `more` to `warnings`, counting the same warning once.
void mergeWarnings(std::vector<OutputWarning>& warnings, const std::vector<OutputWarning>& more);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_FORMAT_SINK_H_
