#include "database/sqlite_database.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "database/database_schema.h"

namespace qnvtab {
namespace {

// A new file that nothing else reads: a journal in memory, so that a trace
// can still be rolled back, no syncs until the end, a lock held throughout,
// a small page cache.
constexpr const char* kNewFileSettingsSql =
    "PRAGMA page_size = 16384; PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF; "
    "PRAGMA locking_mode = EXCLUSIVE; PRAGMA cache_size = -2048;";

// The columns of kInsertTraceSql that the run gives.
enum TraceColumn : int {
  kTraceId = 1,
  kFile,
  kName,
  kSize,
  kSha256,
  kStatus = 18,
  kDiagnosis,
  kEvents,
  kErrors,
  kFirstTime,
  kLastTime,
  kBlocks,
  kBlocksLost,
  kBytesSkipped,
  kDataFormat,
  kTimesRelative,
  kRowOptions = 30,
  kSelection,
  kSalvage,
  kImportedAt,
  kProgramVersion,
};

void bindOptionalText(sqlite3_stmt* statement, int index, const std::string& text) {
  if (!text.empty()) bindText(statement, index, text);
}

std::string isoText(EventTime time) {
  IsoTimeText text;
  return std::string(text.of(time), kIsoTimeSize);
}

// Flushes a closed file to the disk, so that it is whole before its name is.
bool syncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Removes the temporary files in `folder` that a run killed while it made
// a database with this name left: those named after a process gone.
void removeLeftovers(const std::string& folder, const std::string& prefix) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const char* digits = name.c_str() + prefix.size();
    char* end = nullptr;
    const long pid = std::strtol(digits, &end, 10);
    if (end == digits || (*end != '\0' && *end != '-') || pid <= 0) continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::filesystem::remove(entry.path(), error);
    }
  }
}

}  // namespace

SqliteDatabase::SqliteDatabase(DatabaseSettings settings) : settings_(std::move(settings)) {}

SqliteDatabase::~SqliteDatabase() {
  if (db_ != nullptr) close(false);
}

bool SqliteDatabase::open(std::string& refusal) {
  if (settings_.append ? openForAppend(refusal) : openNew()) return true;
  close(false);
  return false;
}

bool SqliteDatabase::openNew() {
  const size_t slash = settings_.path.find_last_of('/');
  const std::string name =
      slash == std::string::npos ? settings_.path : settings_.path.substr(slash + 1);
  // Named after the process, made with the modes a new file gets.
  const std::string folder = folderOf(settings_.path);
  const std::string prefix = "." + name + ".qnvtab-";
  removeLeftovers(folder, prefix);
  const std::string stem = folder + "/" + prefix + std::to_string(::getpid());
  std::string path = stem;
  int fd = -1;
  for (int attempt = 1; fd < 0; ++attempt) {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt == 100)) {
      failure_.failWithSystemError(errno);
      return false;
    }
    if (fd < 0) path = stem + "-" + std::to_string(attempt);
  }
  ::close(fd);
  temporaryPath_ = path;
  sqlite3* db = nullptr;
  const int result = sqlite3_open_v2(temporaryPath_.c_str(), &db,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  db_.reset(db);
  if (result != SQLITE_OK) {
    failure_.fail(db, result);
    return false;
  }
  return execute(kNewFileSettingsSql) &&
         execute("PRAGMA threads = " + std::to_string(settings_.sortThreads)) &&
         execute("BEGIN; " + schemaSql(settings_.rows.dataFormat) + " COMMIT");
}

bool SqliteDatabase::openForAppend(std::string& refusal) {
  sqlite3* db = nullptr;
  const int result =
      sqlite3_open_v2(settings_.path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  db_.reset(db);
  if (result != SQLITE_OK) {
    failure_.fail(db, result);
    return false;
  }
  sqlite3_busy_timeout(db, static_cast<int>(settings_.busyTimeoutSeconds * 1000));
  // The schema is read and made under the write lock: two runs that start
  // on a new file at once make it once.
  if (!execute("BEGIN IMMEDIATE")) {
    if (failure_.result() == SQLITE_NOTADB) refusal = "not a database";
    return false;
  }
  switch (readSchemaState(db)) {
    case SchemaState::Empty:
      if (!execute(schemaSql(settings_.rows.dataFormat) + kIndexesSql)) return false;
      break;
    case SchemaState::Foreign:
      refusal = "not a database of traces that this qnvtab adds to";
      break;
    case SchemaState::Newer:
      refusal =
          "made by a newer qnvtab (schema version above " + std::to_string(kSchemaVersion) + ")";
      break;
    case SchemaState::Ours: {
      SqliteStatement options = prepareSql(
          db, "SELECT DISTINCT row_options FROM traces WHERE row_options <> ?", failure_);
      if (options == nullptr) return false;
      const std::string asked = rowOptionsText(settings_.rows);
      bindText(options.get(), 1, asked);
      if (sqlite3_step(options.get()) == SQLITE_ROW) {
        refusal =
            "its rows are shaped by " +
            std::string(reinterpret_cast<const char*>(sqlite3_column_text(options.get(), 0))) +
            ", not " + asked;
      }
      break;
    }
  }
  if (!refusal.empty()) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  return execute("COMMIT");
}

TraceStart SqliteDatabase::beginTrace(const std::string& sha256, int64_t& traceId) {
  if (failed() || !execute(settings_.append ? "BEGIN IMMEDIATE" : "BEGIN")) {
    return TraceStart::Failed;
  }
  SqliteStatement held =
      prepareSql(db_.get(), "SELECT trace_id FROM traces WHERE sha256 = ?", failure_);
  SqliteStatement next =
      prepareSql(db_.get(), "SELECT coalesce(max(trace_id), 0) + 1 FROM traces", failure_);
  if (held == nullptr || next == nullptr) return TraceStart::Failed;
  bindText(held.get(), 1, sha256);
  if (sqlite3_step(held.get()) == SQLITE_ROW) {
    traceId = sqlite3_column_int64(held.get(), 0);
    held.reset();
    next.reset();
    return execute("ROLLBACK") ? TraceStart::Duplicate : TraceStart::Failed;
  }
  const int stepped = sqlite3_step(next.get());
  if (stepped != SQLITE_ROW) {
    failure_.fail(db_.get(), stepped);
    return TraceStart::Failed;
  }
  traceId_ = traceId = sqlite3_column_int64(next.get(), 0);
  sink_.emplace(db_.get(), traceId_);
  return TraceStart::Started;
}

bool SqliteDatabase::commitTrace(const TraceRow& row, const std::vector<LossRow>& losses) {
  if (!sink_->finish()) return false;
  SqliteStatement trace = prepareSql(db_.get(), kInsertTraceSql, failure_);
  SqliteStatement loss = prepareSql(db_.get(), kInsertLossSql, failure_);
  if (trace == nullptr || loss == nullptr) return false;
  sqlite3_stmt* const values = trace.get();
  sqlite3_bind_int64(values, kTraceId, traceId_);
  bindText(values, kFile, row.file);
  bindText(values, kName, row.name);
  sqlite3_bind_int64(values, kSize, static_cast<int64_t>(row.size));
  bindText(values, kSha256, row.sha256);
  // The options asked for; a trace whose header was read says which of
  // them its version kept.
  bindText(values, kDataFormat, dataFormatName(settings_.rows.dataFormat));
  sqlite3_bind_int(values, kTimesRelative, settings_.rows.timesRelativeToFirstEvent ? 1 : 0);
  sink_->bindHeader(values);
  bindText(values, kStatus, row.status);
  bindOptionalText(values, kDiagnosis, row.diagnosis);
  sqlite3_bind_int64(values, kEvents, static_cast<int64_t>(row.events.events));
  sqlite3_bind_int64(values, kErrors, static_cast<int64_t>(row.events.errors));
  if (row.events.first) bindText(values, kFirstTime, isoText(*row.events.first));
  if (row.events.last) bindText(values, kLastTime, isoText(*row.events.last));
  sqlite3_bind_int64(values, kBlocks, static_cast<int64_t>(row.blocks));
  sqlite3_bind_int64(values, kBlocksLost, static_cast<int64_t>(row.blocksLost));
  sqlite3_bind_int64(values, kBytesSkipped, static_cast<int64_t>(row.bytesSkipped));
  bindText(values, kRowOptions, rowOptionsText(settings_.rows));
  bindOptionalText(values, kSelection, row.selection);
  sqlite3_bind_int(values, kSalvage, row.salvage ? 1 : 0);
  bindText(values, kImportedAt, row.importedAt);
  bindText(values, kProgramVersion, row.programVersion);
  errno = 0;
  int result = sqlite3_step(values);
  for (const LossRow& lost : losses) {
    if (result != SQLITE_DONE) break;
    sqlite3_stmt* const place = loss.get();
    sqlite3_reset(place);
    sqlite3_bind_int64(place, 1, traceId_);
    bindText(place, 2, lost.kind);
    sqlite3_bind_int64(place, 3, static_cast<int64_t>(lost.offset));
    sqlite3_bind_int64(place, 4, static_cast<int64_t>(lost.bytes));
    if (lost.firstBlock != 0) sqlite3_bind_int64(place, 5, lost.firstBlock);
    if (lost.lastBlock != 0) sqlite3_bind_int64(place, 6, lost.lastBlock);
    sqlite3_bind_int(place, 7, lost.afterEvent);
    bindText(place, 8, lost.reason);
    result = sqlite3_step(place);
  }
  if (result != SQLITE_DONE) {
    failure_.fail(db_.get(), result);
    return false;
  }
  trace.reset();
  loss.reset();
  sink_.reset();
  return execute("COMMIT");
}

void SqliteDatabase::rollbackTrace() {
  sink_.reset();
  if (db_ != nullptr) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqliteDatabase::close(bool keep) {
  sink_.reset();
  if (db_ == nullptr) return !failed();
  const bool fresh = !temporaryPath_.empty();
  // The indexes of a new file are built once the rows are in: one sort
  // each instead of a tree updated per row.
  if (fresh && keep) execute(std::string("BEGIN; ") + kIndexesSql + " COMMIT");
  const int result = sqlite3_close(db_.get());
  if (result == SQLITE_OK) {
    db_.release();
  } else {
    failure_.fail(db_.get(), result);
    db_.reset();
  }
  if (!fresh) return !failed();
  keep = keep && !failed();
  if (keep && (!syncFile(temporaryPath_) ||
               std::rename(temporaryPath_.c_str(), settings_.path.c_str()) != 0)) {
    failure_.failWithSystemError(errno);
    keep = false;
  }
  if (!keep) std::remove(temporaryPath_.c_str());
  temporaryPath_.clear();
  return keep;
}

std::string SqliteDatabase::failureReason() const {
  if (failure_.failed()) return failure_.reason();
  return sink_ ? sink_->failureReason() : "";
}

}  // namespace qnvtab
