#include "cli/database_trace.h"

#include <ctime>

#include "cli/console.h"
#include "cli/diagnosis.h"
#include "cli/printable_name.h"
#include "cli/run.h"
#include "cli/salvage_report.h"
#include "database/sqlite_part_sink.h"
#include "trace/file_digest.h"

namespace qnvtab {
namespace {

// After the reason a lock held too long gives.
std::string busyNote(const Options& options) {
  return " (another run held it past --busy-timeout=" + std::to_string(options.busyTimeoutSeconds) +
         ")";
}

std::string baseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

}  // namespace

std::optional<std::string> openDatabase(RunContext& run) {
  if (run.databaseOpen) return std::nullopt;
  std::string refusal;
  run.databaseOpen = run.database->open(refusal);
  if (run.databaseOpen) return std::nullopt;
  const std::string path = printableName(run.options.outputPath);
  if (!refusal.empty()) return path + ": cannot add to it: " + refusal + "; left as it is";
  std::string reason = run.database->failureReason();
  if (run.database->busy()) reason += busyNote(run.options);
  return path + ": cannot open: " + reason;
}

DatabaseSettings databaseSettings(const Options& options, WorkerPool* workers) {
  DatabaseSettings settings;
  settings.path = options.outputPath;
  settings.append = options.append;
  settings.busyTimeoutSeconds = options.busyTimeoutSeconds;
  settings.rows = options.rows;
  settings.sortThreads = workers != nullptr ? workers->size() : 0;
  return settings;
}

void LossRecorder::report(const Incident& incident) {
  next_.report(incident);
  static constexpr const char* kKinds[] = {"header-unverified", "footer-ignored", "number-repaired",
                                           "bytes-skipped",     "blocks-lost",    "torn-tail"};
  LossRow& loss = losses_.emplace_back();
  loss.kind = kKinds[static_cast<int>(incident.kind)];
  const bool span = incident.to > incident.from;
  loss.offset = span ? incident.from : incident.cause.offset;
  loss.bytes = span ? incident.to - incident.from : 0;
  loss.firstBlock = incident.firstLostBlock;
  loss.lastBlock = incident.lastLostBlock;
  loss.afterEvent = incident.afterEvent;
  loss.reason = describeIncident(incident);
}

std::optional<TraceResult> DatabaseTrace::begin(ByteSource& input, const struct stat& inputStat) {
  SqliteDatabase& database = *run_.database;
  struct stat output;
  if (::stat(paths_.output.c_str(), &output) == 0 && output.st_dev == inputStat.st_dev &&
      output.st_ino == inputStat.st_ino) {
    return console_.refuse(paths_.output, "the output is the input file", kCannotOpenOutputText,
                           TraceEnd::OutputFailed);
  }
  if (const std::optional<std::string> refused = openDatabase(run_)) {
    console_.diagnose(*refused);
    return console_.fail(kCannotOpenOutputText, TraceEnd::OutputFailed);
  }
  const FileDigest digest = sha256Of(input);
  if (digest.sha256.empty()) {
    return console_.refuse(paths_.input, systemReason(digest.error), kCannotOpenInputText,
                           TraceEnd::Failed);
  }
  const Options& options = run_.options;
  part_.settings = databaseSettings(options, run_.workers);
  TraceRow& row = part_.row;
  row.file = paths_.input;
  row.name = baseName(paths_.input);
  row.size = static_cast<uint64_t>(input.size());
  row.sha256 = digest.sha256;
  row.selection = joined(options.selectionArguments);
  row.salvage = options.salvage;
  row.importedAt = utcNow();
  row.programVersion = programVersion();
  int64_t traceId = 0;
  switch (database.beginTrace(row.sha256, traceId)) {
    case TraceStart::Started:
      return std::nullopt;
    case TraceStart::Duplicate:
      console_.hint("note: " + printableName(paths_.input) + ": already in the database as trace " +
                    std::to_string(traceId) + "; not added again");
      return TraceResult{kExitSuccess, TraceEnd::Duplicate};
    case TraceStart::Failed:
      break;
  }
  return writeFailure(database.failureReason());
}

std::optional<TraceResult> DatabaseTrace::end(TraceResult result, const TraceEnding& ending,
                                              const std::vector<LossRow>& losses,
                                              const std::vector<std::string>& partPaths) {
  SqliteDatabase& database = *run_.database;
  const bool lastTrace = !run_.severalTraces;
  if (result.end == TraceEnd::Interrupted || result.end == TraceEnd::OutputFailed) {
    database.rollbackTrace();
    if (lastTrace) database.close(result.end == TraceEnd::Interrupted);
    return std::nullopt;
  }
  const TraceFigures figures = traceFigures(ending, database.tally());
  TraceRow row = part_.row;
  row.status = figures.status;
  row.diagnosis = console_.diagnosis();
  row.events = figures.events;
  row.blocks = figures.blocks;
  row.blocksLost = figures.blocksLost;
  row.bytesSkipped = figures.bytesSkipped;
  if (!database.commitTrace(row, losses)) {
    database.rollbackTrace();
    if (lastTrace) database.close(false);
    return writeFailure(database.failureReason());
  }
  for (const std::string& path : partPaths) {
    const std::string failure = recordOutcome(path, row);
    if (!failure.empty()) return writeFailure(failure, path);
  }
  if (lastTrace && !database.close(true)) return writeFailure(database.failureReason());
  return std::nullopt;
}

TraceResult DatabaseTrace::writeFailure(std::string reason, const std::string& path) {
  if (run_.database->busy()) reason += busyNote(run_.options);
  console_.discard();
  console_.diagnose(printableName(path.empty() ? paths_.output : path) +
                    ": cannot write: " + reason);
  return console_.fail(kCannotWriteOutputText, TraceEnd::OutputFailed);
}

}  // namespace qnvtab
