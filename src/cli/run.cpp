#include "cli/run.h"

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/database_trace.h"
#include "cli/format_sink.h"
#include "cli/diagnosis.h"
#include "cli/interruption.h"
#include "cli/options.h"
#include "cli/printable_name.h"
#include "cli/progress.h"
#include "cli/trace_list.h"
#include "cli/trace_run.h"
#include "database/sqlite_database.h"
#include "parallel/ordered_jobs.h"
#include "parallel/worker_pool.h"
#include "summary/summary_tsv.h"

namespace qnvtab {
namespace {

void print(std::FILE* console, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), console);
}

// Without --threads, as many threads as the cores this process may run on.
unsigned threadCount(const Options& options) {
  if (options.threads != 0) return options.threads;
  cpu_set_t cores;
  if (::sched_getaffinity(0, sizeof cores, &cores) != 0) return 1;
  return static_cast<unsigned>(CPU_COUNT(&cores));
}

// What the traces of a run of several came to.
struct FleetCount {
  size_t sound = 0;
  size_t salvaged = 0;
  size_t failed = 0;
  size_t duplicates = 0;
  int status = kExitSuccess;  // 1 if any failed, else the highest salvage status

  size_t done() const { return sound + salvaged + failed + duplicates; }
  void add(const TraceResult& result) {
    switch (result.end) {
      case TraceEnd::Sound:
        ++sound;
        break;
      case TraceEnd::Salvaged:
        ++salvaged;
        break;
      case TraceEnd::Duplicate:
        ++duplicates;
        return;
      case TraceEnd::Failed:
      case TraceEnd::OutputFailed:
        ++failed;
        break;
      case TraceEnd::Interrupted:
        return;
    }
    if (status == kExitFailure || result.status == kExitSuccess) return;
    if (result.status == kExitFailure || result.status > status) status = result.status;
  }
  // E.g. "340 traces: 331 sound, 6 salvaged, 3 failed".
  std::string text(size_t traces) const {
    std::string line = std::to_string(traces) + (traces == 1 ? " trace: " : " traces: ") +
                       std::to_string(sound) + " sound, " + std::to_string(salvaged) +
                       " salvaged, " + std::to_string(failed) + " failed";
    if (duplicates > 0) line += ", " + std::to_string(duplicates) + " already in the database";
    return line;
  }
};

// The most traces converted side by side, and the largest file that is
// one of them: a larger trace is converted alone, its blocks on every
// thread, which is where a large trace finds its speed.
constexpr size_t kMaxLanes = 8;
constexpr int64_t kLaneTraceBytes = int64_t{16} << 20;

// A trace converted on the serial path, on a worker beside others; its
// text waits for its turn.
struct TraceJob : PoolJob {
  RunContext* context = nullptr;
  const std::string* input = nullptr;
  const std::string* output = nullptr;
  std::optional<TraceRun> trace;
  void run() override { trace = runTrace(*context, *input, *output); }
};

bool smallFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) != 0 || info.st_size <= kLaneTraceBytes;
}

// The traces of a run of several, each converted as a run of it alone
// would convert it. Small traces are converted side by side when there
// are workers and their outputs may be written so; their results are
// taken back in the order given (parallel/ordered_jobs.h), so the console
// and the outputs are the same for every thread count. The run goes on
// past a trace that fails and stops where the output fails or a signal
// comes.
int runSeveral(RunContext& run, const TraceList& traces) {
  const Options& options = run.options;
  // The database is opened before any work, also for no trace at all.
  if (run.database != nullptr) {
    if (const std::optional<std::string> refused = openDatabase(run)) {
      diagnose(*refused);
      std::fputs(kCannotOpenOutputText, stdout);
      return kExitFailure;
    }
  }
  std::FILE* const console = options.testOnly ? stderr : stdout;
  if (options.summary == SummaryFormat::Tsv) print(console, summaryTsvTitle());
  ConsoleState shown{true};
  FleetCount count;
  // One progress line for the whole run, erased before each trace speaks.
  ProgressLine* const progress = run.progress;
  run.progress = nullptr;
  uint64_t events = 0;
  std::optional<int> stop;
  std::string stopLine;
  const auto finish = [&](TraceRun& trace, size_t index) {
    if (progress != nullptr) progress->clear();
    trace.report.show(shown);
    count.add(trace.result);
    events += trace.result.events;
    if (progress != nullptr) progress->tracesDone(index + 1, traces.inputs.size(), events);
    if (stop) return;
    const std::string done = std::to_string(count.done()) + " of " +
                             std::to_string(traces.inputs.size()) + " traces done";
    const int signal = run.interruption.received();
    if (trace.result.end == TraceEnd::Interrupted) {
      stopLine = "interrupted in " + printableName(traces.inputs[index]) + ", " + done + " (" +
                 signalName(signal) + ")";
      stop = trace.result.status;
    } else if (trace.result.end == TraceEnd::OutputFailed) {
      stopLine = "stopped: the output failed, " + done;
      stop = kExitFailure;
    } else if (signal != 0) {
      stopLine = "interrupted after " + printableName(traces.inputs[index]) + ", " + done + " (" +
                 signalName(signal) + ")";
      stop = 128 + signal;
    }
  };

  RunContext lane{options, nullptr, run.interruption};
  lane.severalTraces = true;
  // One stream on standard output takes the traces in turn.
  const bool sideBySide =
      run.workers != nullptr &&
      (!options.writesTable || (writesSideBySide(options.format) && !options.outputToStdout));
  const size_t lanes = sideBySide ? std::min<size_t>(run.workers->size() + 1, kMaxLanes) : 1;
  std::optional<JobRing<TraceJob>> ring;
  if (sideBySide) ring.emplace(*run.workers, lanes);
  std::vector<size_t> indexOf(lanes);  // the trace of each job of the ring
  const auto takeOldest = [&](TraceJob& job) {
    finish(*job.trace, indexOf[static_cast<size_t>(&job - ring->jobs().data())]);
    job.trace.reset();
  };
  for (size_t i = 0; i < traces.inputs.size() && !stop; ++i) {
    if (ring && smallFile(traces.inputs[i])) {
      if (ring->full()) {
        takeOldest(ring->waitOldest());
        ring->releaseOldest();
        if (stop) break;
      }
      TraceJob& job = ring->next();
      job.context = &lane;
      job.input = &traces.inputs[i];
      job.output = &traces.outputs[i];
      indexOf[static_cast<size_t>(&job - ring->jobs().data())] = i;
      ring->submitNext();
      continue;
    }
    if (ring) ring->drain(takeOldest);
    if (stop) break;
    TraceRun trace = runTrace(run, traces.inputs[i], traces.outputs[i]);
    finish(trace, i);
  }
  if (ring) ring->drain(takeOldest);
  if (options.summary == SummaryFormat::Json) print(console, shown.documents > 0 ? "]\n" : "[]\n");
  // A run stopped by its output leaves no new database behind.
  const bool keep = !stop || *stop != kExitFailure;
  if (run.database != nullptr && run.database->isOpen() && !run.database->close(keep) && keep) {
    diagnose(printableName(options.outputPath) + ": cannot write: " +
             run.database->failureReason());
    stop = kExitFailure;
  }
  if (!stopLine.empty()) diagnose(stopLine);
  diagnose(count.text(traces.inputs.size()));
  return stop ? *stop : count.status;
}

int convertTraces(const Options& options) {
  TraceList traces;
  if (options.severalTraces) {
    const std::optional<std::string> refused = listTraces(options, traces);
    if (refused) {
      diagnose(*refused);
      return kExitFailure;
    }
  }
  InterruptionWatch interruption;
  // One thread alone runs the serial path; more start workers for it. The
  // converting thread runs the workers' jobs while it waits for them, so
  // it counts as one of the threads.
  const unsigned threads = threadCount(options);
  std::optional<WorkerPool> workers;
  if (threads > 1) workers.emplace(threads - 1);
  WorkerPool* pool = workers ? &*workers : nullptr;
  ProgressLine progress(stderr);
  std::optional<SqliteDatabase> database;
  if (options.writesTable && options.format == OutputFormat::Sqlite) {
    database.emplace(databaseSettings(options, pool));
  }
  RunContext run{options, pool, interruption, ::isatty(STDERR_FILENO) ? &progress : nullptr,
                 database ? &*database : nullptr};
  run.severalTraces = options.severalTraces;
  if (options.severalTraces) return runSeveral(run, traces);

  // The only trace closes the database itself, before it says it is done;
  // one that was not added (a duplicate, an unreadable file) leaves it open.
  TraceRun trace = runTrace(run, options.inputPath, options.outputPath);
  ConsoleState shown;
  trace.report.show(shown);
  if (database && database->isOpen() && !database->close(true)) {
    diagnose(printableName(options.outputPath) + ": cannot write: " + database->failureReason());
    std::fputs(kCannotWriteOutputText, stdout);
    return kExitFailure;
  }
  return trace.result.status;
}

int runCommandLine(int argc, const char* const* argv) {
  const CommandLine commandLine = parseCommandLine(argc, argv);
  switch (commandLine.outcome) {
    case CommandLineOutcome::ShowUsage:
      print(stdout, bannerText());
      print(stdout, usageText());
      return kExitFailure;
    case CommandLineOutcome::ShowHelp:
      print(stdout, bannerText());
      print(stdout, helpText());
      return kExitSuccess;
    case CommandLineOutcome::ShowVersion:
      print(stdout, versionText());
      return kExitSuccess;
    case CommandLineOutcome::InvalidOption:
      print(stdout, invalidOptionText(commandLine.invalidArgument));
      if (!commandLine.invalidReason.empty()) diagnose(commandLine.invalidReason);
      return kExitInvalidOption;
    case CommandLineOutcome::Convert:
      break;
  }
  return convertTraces(commandLine.options);
}

}  // namespace

int runQnvtab(int argc, const char* const* argv) {
  // A reader that goes away or a file-size limit is a write failure like
  // any other, reported and not a silent death.
  ignoreWriteSignals();
  const int status = runCommandLine(argc, argv);
  // The console text is part of the result: a run whose text cannot be
  // written has failed, whatever it did.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    diagnose("cannot write to standard output: " + systemReason(errno));
    return status == kExitSuccess ? kExitFailure : status;
  }
  return status;
}

}  // namespace qnvtab
