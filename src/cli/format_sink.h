// The row sink of the output format chosen with --format: the one place
// that names the sink types. Everything else speaks to the sink through
// its interface, which says why it failed and what its reader should know.
#ifndef QNVTAB_CLI_FORMAT_SINK_H_
#define QNVTAB_CLI_FORMAT_SINK_H_

#include <cstddef>
#include <memory>
#include <string>

#include "cli/options.h"
#include "cli/output_file.h"
#include "events/row_sink.h"
#include "parallel/worker_pool.h"

namespace qnvtab {

class FormatSink {
 public:
  // `file` is the output, already opened at `path` (so checked against the
  // input and emptied): the table is written through it, the workbook and
  // the database by their libraries at the same path. The table formats
  // its rows on `workers` when given.
  FormatSink(OutputFormat format, const std::string& path, OutputFile& file,
             WorkerPool* workers);

  // Null when the sink's buffers could not be allocated: bufferBytes().
  RowSink* sink() { return sink_.get(); }
  size_t bufferBytes() const;

 private:
  std::unique_ptr<RowSink> sink_;
};

// Adds `more` to `warnings`, counting the same warning once.
void mergeWarnings(std::vector<OutputWarning>& warnings, const std::vector<OutputWarning>& more);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_FORMAT_SINK_H_
