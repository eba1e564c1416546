// The database of a run: opened once, a transaction per trace, closed at
// the end. A new database is built in a temporary file beside its path,
// without a journal on disk, its indexes sorted once at the end, and
// renamed into place only when it is whole; a failure leaves no
// half-written file, and what a killed run left is removed by the next.
// --append adds to the file in place, each trace one transaction under a
// rollback journal, taken with the write lock so that two runs appending
// at once take turns.
#ifndef QNVTAB_DATABASE_SQLITE_DATABASE_H_
#define QNVTAB_DATABASE_SQLITE_DATABASE_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database/sqlite_failure.h"
#include "database/sqlite_sink.h"
#include "events/event_tally.h"
#include "events/row_sink.h"

namespace qnvtab {

struct DatabaseSettings {
  std::string path;
  bool append = false;
  unsigned busyTimeoutSeconds = 60;
  RowOptions rows;  // as asked for: appended traces must match
  // Threads besides the calling one that sort the indexes: the run's
  // workers, idle by then.
  unsigned sortThreads = 0;
};

// What the trace's row in `traces` takes from the run rather than the rows.
struct TraceRow {
  std::string file;  // the path as given
  std::string name;  // its last component
  uint64_t size = 0;
  std::string sha256;
  std::string status;     // "sound", "damaged-end", "damaged-inside", "failed"
  std::string diagnosis;  // the fault's lines as standard error shows them
  EventTally events;      // of the rows written
  uint64_t blocks = 0;
  uint64_t blocksLost = 0;
  uint64_t bytesSkipped = 0;
  std::string selection;  // the selection options as typed
  bool salvage = false;
  std::string importedAt;  // UTC, ISO 8601
  std::string programVersion;
};

// One row of `losses`: an incident of the salvage report.
struct LossRow {
  std::string kind;  // "bytes-skipped", "blocks-lost", ...
  uint64_t offset = 0;
  uint64_t bytes = 0;
  uint32_t firstBlock = 0;  // 0: none known
  uint32_t lastBlock = 0;
  int32_t afterEvent = 0;
  std::string reason;
};

enum class TraceStart { Started, Duplicate, Failed };

class SqliteDatabase {
 public:
  explicit SqliteDatabase(DatabaseSettings settings);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Opens or makes the database and its tables; false with failureReason(),
  // or with `refusal` set when the file is not one to add to, and closed.
  bool open(std::string& refusal);

  // Starts the trace whose file has `sha256`: Duplicate with `traceId` the
  // trace already held, else a new id and the rows sink ready.
  TraceStart beginTrace(const std::string& sha256, int64_t& traceId);
  RowSink& rows() { return *sink_; }
  // What the trace begun has written so far.
  const EventTally& tally() const { return sink_->tally(); }
  // Adds the trace's row and its losses and commits.
  bool commitTrace(const TraceRow& row, const std::vector<LossRow>& losses);
  // Drops the trace's rows; the database is as before beginTrace().
  void rollbackTrace();

  // Writes out and closes; a new database is then in place at its path.
  // Without `keep` (a failed run), a new database is removed instead.
  bool close(bool keep);

  bool isOpen() const { return db_ != nullptr; }
  bool failed() const { return failure_.failed() || (sink_ && sink_->failed()); }
  std::string failureReason() const;
  // The failure was the lock held by another run past the busy timeout.
  bool busy() const { return failure_.busy(); }

 private:
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };

  bool openNew();
  bool openForAppend(std::string& refusal);
  bool execute(const std::string& sql) { return executeSql(db_.get(), sql, failure_); }

  DatabaseSettings settings_;
  std::string temporaryPath_;  // a new database until it is renamed
  std::unique_ptr<sqlite3, Close> db_;
  std::optional<SqliteSink> sink_;
  int64_t traceId_ = 0;
  SqliteFailure failure_;
};

}  // namespace qnvtab

#endif  // QNVTAB_DATABASE_SQLITE_DATABASE_H_
