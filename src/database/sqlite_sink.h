// The table as one SQLite database: a table `events` with a row per event,
// typed columns, the data bytes as a BLOB beside their dump texts, the
// event's time as ISO 8601 text in local time and UTC, and indexes on
// time, command and timestamp; a table `trace` with the header's fields and
// the conversion's options. The rows go in through one prepared statement
// in one transaction, which is committed also when the input fails midway,
// so that the rows before the fault stay.
#ifndef QNVTAB_DATABASE_SQLITE_SINK_H_
#define QNVTAB_DATABASE_SQLITE_SINK_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "events/row_sink.h"
#include "table/event_cells.h"

namespace qnvtab {

class SqliteSink : public RowSink {
 public:
  // Writes into the database file `path`, which must be empty or new. The
  // indexes are sorted on `sortThreads` threads besides the calling one:
  // the run's workers, idle by then.
  explicit SqliteSink(const std::string& path, unsigned sortThreads = 0);

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  void write(const RecordRun& run) override;
  bool failed() const override { return failed_; }
  bool finish() override;

  // The system's reason when one is known, else the library's message.
  std::string failureReason() const override;

 private:
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
  };
  using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

  // Each runs `sql` and is false (the sink failed) on an error.
  bool execute(const std::string& sql);
  Statement prepare(const std::string& sql);
  bool insertTrace(const TraceHeader& header, TraceVersion version, const RowOptions& options);
  void insertEvent(EventCells& cells);
  void fail(int result);

  std::unique_ptr<sqlite3, Close> db_;
  Statement insert_;
  EventCells cells_;
  IsoTimeText localText_;
  IsoTimeText utcText_;
  // Seconds east of Greenwich of the first event, on traces that record it.
  std::optional<int32_t> utcOffset_;
  unsigned sortThreads_;
  bool failed_ = false;
  int systemError_ = 0;
  std::string libraryMessage_;
};

}  // namespace qnvtab

#endif  // QNVTAB_DATABASE_SQLITE_SINK_H_
