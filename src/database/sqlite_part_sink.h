// A database of its own for each part of a split trace after the first:
// the part's rows and the trace's row, with `traces` filled from a row
// given before the conversion. The trace's outcome is not known when a part
// is closed, so the row says the conversion had not ended, until
// recordOutcome() writes the run's figures into each part.
#ifndef QNVTAB_DATABASE_SQLITE_PART_SINK_H_
#define QNVTAB_DATABASE_SQLITE_PART_SINK_H_

#include <string>

#include "database/sqlite_database.h"

namespace qnvtab {

class SqlitePartSink : public RowSink {
 public:
  // `settings.path` names the part; `row` is the trace's, as known so far.
  SqlitePartSink(DatabaseSettings settings, const TraceRow& row);

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  bool write(const RecordRun& run) override;
  bool failed() const override { return failed_ || database_.failed(); }
  bool finish() override;
  std::string failureReason() const override;

 private:
  SqliteDatabase database_;
  TraceRow row_;
  bool begun_ = false;
  bool failed_ = false;
  std::string refusal_;
};

// Writes the outcome columns of `row` (status, diagnosis, blocks, losses
// counted, import time) into the one trace of the part database at `path`;
// the failure's reason, or empty.
std::string recordOutcome(const std::string& path, const TraceRow& row);

}  // namespace qnvtab

#endif  // QNVTAB_DATABASE_SQLITE_PART_SINK_H_
