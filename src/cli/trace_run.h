// The run of one trace, the same whether it is the run's only trace or one
// of many: its input opened, its output written (its own file, or its
// share of the run's database), its console text and its status, as a
// one-trace run has always shown them.
#ifndef QNVTAB_CLI_TRACE_RUN_H_
#define QNVTAB_CLI_TRACE_RUN_H_

#include <cstdio>
#include <optional>
#include <string>

#include "cli/interruption.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/trace_report.h"
#include "database/sqlite_database.h"
#include "parallel/worker_pool.h"

namespace qnvtab {

// What outlives the traces of a run.
struct RunContext {
  const Options& options;
  WorkerPool* workers = nullptr;
  const InterruptionWatch& interruption;
  ProgressLine* progress = nullptr;  // on a terminal only
  // The run's database, with --format=sqlite and -o; opened by the first
  // trace that is read when not yet open.
  SqliteDatabase* database = nullptr;
  bool databaseOpen = false;
  bool severalTraces = false;
};

// The paths of one trace's run: its input, and its table or workbook file
// or the database's path.
struct TracePaths {
  const std::string& input;
  const std::string& output;
};

// A trace's run: how it ended, and what it says, to be shown in its turn.
struct TraceRun {
  TraceResult result;
  TraceReport report;
};

// Converts the trace at `inputPath`; `outputPath` is the file that its
// table or workbook goes to (empty: none), or the database's path.
TraceRun runTrace(RunContext& run, const std::string& inputPath, const std::string& outputPath);

// Writes `line` and a line feed to standard error after "qnvtab: ".
void diagnose(const std::string& line);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_TRACE_RUN_H_
