// The row sink of the output format chosen with --format, and what the run
// reports of it: why it failed, and the dumps it had to cut.
#ifndef QNVTAB_CLI_FORMAT_SINK_H_
#define QNVTAB_CLI_FORMAT_SINK_H_

#include <cstdint>
#include <string>
#include <variant>

#include "cli/options.h"
#include "cli/output_file.h"
#include "database/sqlite_sink.h"
#include "parallel/worker_pool.h"
#include "table/tsv_sink.h"
#include "workbook/xlsx_sink.h"

namespace qnvtab {

class FormatSink {
 public:
  // `file` is the output, already opened at `path` (so checked against the
  // input and emptied): the table is written through it, the workbook and
  // the database by their libraries at the same path. The table formats
  // its rows on `workers` when given.
  FormatSink(OutputFormat format, const std::string& path, OutputFile& file,
             WorkerPool* workers);
  FormatSink(const FormatSink&) = delete;
  FormatSink& operator=(const FormatSink&) = delete;

  // Null when the table's buffer could not be allocated.
  RowSink* sink();
  // The reason of a failed write, from the sink's library or from `file`.
  std::string failureReason(const OutputFile& file) const;
  // Dumps cut to fit a workbook cell.
  uint64_t cutDumps() const;

 private:
  std::variant<std::monostate, TsvSink, XlsxSink, SqliteSink> sink_;
};

}  // namespace qnvtab

#endif  // QNVTAB_CLI_FORMAT_SINK_H_
