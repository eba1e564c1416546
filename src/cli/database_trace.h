// The database's share of a trace's run: the trace begun before its
// conversion (the file's digest taken, a trace already held skipped), and
// committed with its row in `traces` and its losses, or dropped, after it.
#ifndef QNVTAB_CLI_DATABASE_TRACE_H_
#define QNVTAB_CLI_DATABASE_TRACE_H_

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/format_sink.h"
#include "cli/trace_report.h"
#include "cli/trace_run.h"
#include "convert/convert_trace.h"
#include "database/sqlite_database.h"
#include "summary/trace_figures.h"
#include "trace/byte_source.h"

namespace qnvtab {

// Opens the run's database unless it is open; the line that says why it
// cannot be, or none.
std::optional<std::string> openDatabase(RunContext& run);

// The database at -o as the options ask for it.
DatabaseSettings databaseSettings(const Options& options, WorkerPool* workers);

// Incidents kept as the rows of `losses`, and passed on.
class LossRecorder : public IncidentReporter {
 public:
  explicit LossRecorder(IncidentReporter& next) : next_(next) {}
  void report(const Incident& incident) override;
  const std::vector<LossRow>& losses() const { return losses_; }

 private:
  IncidentReporter& next_;
  std::vector<LossRow> losses_;
};

class DatabaseTrace {
 public:
  DatabaseTrace(RunContext& run, TraceReport& console, const TracePaths& paths)
      : run_(run), console_(console), paths_(paths) {}

  // The result that ends the trace's run before its conversion, if any.
  std::optional<TraceResult> begin(ByteSource& input, const struct stat& inputStat);

  RowSink* rows() { return &run_.database->rows(); }

  // What the parts of a split trace are made with.
  const DatabasePart& part() const { return part_; }

  // Commits the trace unless it was interrupted or its output failed, and
  // writes its outcome into the parts; closes the database after the only
  // trace of a run. On a failure, what the report held gives way to it.
  std::optional<TraceResult> end(TraceResult result, const TraceEnding& ending,
                                 const std::vector<LossRow>& losses,
                                 const std::vector<std::string>& partPaths);

 private:
  TraceResult writeFailure(std::string reason, const std::string& path = "");

  RunContext& run_;
  TraceReport& console_;
  TracePaths paths_;
  DatabasePart part_;
};

}  // namespace qnvtab

#endif  // QNVTAB_CLI_DATABASE_TRACE_H_
