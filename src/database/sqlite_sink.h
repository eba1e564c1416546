// The rows of one trace into the `events` table of an open database, each
// with the trace's id: typed columns, the data bytes as a BLOB beside their
// dump texts, the event's time as ISO 8601 text in local time and UTC. The
// rows go in through one prepared statement inside the transaction that the
// database holds for the trace; the sink keeps what the trace's row in
// `traces` takes from them.
#ifndef QNVTAB_DATABASE_SQLITE_SINK_H_
#define QNVTAB_DATABASE_SQLITE_SINK_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database/sqlite_failure.h"
#include "events/event_tally.h"
#include "events/row_sink.h"
#include "events/time_text.h"
#include "table/event_cells.h"

namespace qnvtab {

class SqliteSink : public RowSink {
 public:
  SqliteSink(sqlite3* db, int64_t traceId);

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  bool write(const RecordRun& run) override;
  bool failed() const override { return failure_.failed(); }
  // Ends the statement; the rows stay in the open transaction.
  bool finish() override;
  std::string failureReason() const override { return failure_.reason(); }

  // The header's columns of the trace's row, bound into `row` (the
  // statement of kInsertTraceSql); NULL when begin() never came.
  void bindHeader(sqlite3_stmt* row) const;
  // The rows written, their errors and times.
  const EventTally& tally() const { return tally_; }

 private:
  void insertEvent(EventCells& cells);

  sqlite3* db_;
  int64_t traceId_;
  SqliteStatement insert_;
  EventCells cells_;
  std::vector<TableColumn> columns_;
  IsoTimeText localText_;
  IsoTimeText utcText_;
  // Seconds east of Greenwich of the first event, on traces that record it.
  std::optional<int32_t> utcOffset_;
  std::optional<TraceHeader> header_;
  TraceVersion version_{};
  RowOptions options_;
  EventTally tally_;
  SqliteFailure failure_;
};

}  // namespace qnvtab

#endif  // QNVTAB_DATABASE_SQLITE_SINK_H_
