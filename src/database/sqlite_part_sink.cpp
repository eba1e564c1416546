#include "database/sqlite_part_sink.h"

#include <utility>

namespace qnvtab {

SqlitePartSink::SqlitePartSink(DatabaseSettings settings, const TraceRow& row)
    : database_(std::move(settings)), row_(row) {
  row_.status = "failed";
  row_.diagnosis = "a part written before the conversion ended";
}

void SqlitePartSink::begin(const TraceHeader& header, TraceVersion version,
                           const RowOptions& options) {
  int64_t traceId = 0;
  if (!database_.open(refusal_) ||
      database_.beginTrace(row_.sha256, traceId) != TraceStart::Started) {
    failed_ = true;
    return;
  }
  begun_ = true;
  database_.rows().begin(header, version, options);
}

bool SqlitePartSink::write(const RecordRun& run) {
  return begun_ && !failed() && database_.rows().write(run);
}

bool SqlitePartSink::finish() {
  if (!begun_ || failed()) return false;
  begun_ = false;
  return database_.commitTrace(row_, {}) && database_.close(true);
}

std::string SqlitePartSink::failureReason() const {
  return refusal_.empty() ? database_.failureReason() : refusal_;
}

std::string recordOutcome(const std::string& path, const TraceRow& row) {
  sqlite3* opened = nullptr;
  const int result = sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READWRITE, nullptr);
  const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(opened, &sqlite3_close);
  SqliteFailure failure;
  if (result != SQLITE_OK) {
    failure.fail(opened, result);
    return failure.reason();
  }
  SqliteStatement update =
      prepareSql(opened,
                 "UPDATE traces SET status = ?, diagnosis = ?, blocks = ?, blocks_lost = ?, "
                 "bytes_skipped = ?, imported_at = ?",
                 failure);
  if (update == nullptr) return failure.reason();
  sqlite3_stmt* const values = update.get();
  bindText(values, 1, row.status);
  if (!row.diagnosis.empty()) bindText(values, 2, row.diagnosis);
  sqlite3_bind_int64(values, 3, static_cast<int64_t>(row.blocks));
  sqlite3_bind_int64(values, 4, static_cast<int64_t>(row.blocksLost));
  sqlite3_bind_int64(values, 5, static_cast<int64_t>(row.bytesSkipped));
  bindText(values, 6, row.importedAt);
  const int stepped = sqlite3_step(values);
  if (stepped != SQLITE_DONE) failure.fail(opened, stepped);
  return failure.failed() ? failure.reason() : "";
}

}  // namespace qnvtab
