#include "database/sqlite_sink.h"

#include <cerrno>

#include "database/database_schema.h"
#include "events/time_text.h"
#include "table/table_header.h"

namespace qnvtab {
namespace {

// The traces row's columns that the header gives, by their place in
// kInsertTraceSql.
enum TraceColumn : int {
  kVersion = 6,
  kHeaderText,
  kStartDate,
  kStartTime,
  kStartGmtOffset,
  kFirstEventDate,
  kFirstEventTime,
  kFirstEventGmtOffset,
  kEndDate,
  kEndTime,
  kEndGmtOffset,
  kFirstEventStamp,
  kDataFormat = 27,
  kTimesRelative,
  kInformativeHeader,
};

}  // namespace

SqliteSink::SqliteSink(sqlite3* db, int64_t traceId) : db_(db), traceId_(traceId) {
  if (!cells_.allocated()) failure_.failWithSystemError(ENOMEM);
}

void SqliteSink::begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) {
  if (failed()) return;
  header_ = header;
  version_ = version;
  options_ = options;
  cells_.begin(header, version, options);
  columns_ = tableColumns(options.dataFormat);
  if (version.hasGmtOffsets()) utcOffset_ = secondsEast(header.firstEventGmtOffset());
  std::string parameters = "?";
  // The cells, the data bytes, the two timestamps and the trace.
  for (int column = 1; column < cells_.columnCount() + 4; ++column) parameters += ", ?";
  insert_ = prepareSql(db_, "INSERT INTO events VALUES (" + parameters + ")", failure_);
}

void SqliteSink::bindHeader(sqlite3_stmt* row) const {
  if (!header_) return;
  const TraceHeader& header = *header_;
  const bool firstEvent = version_.recordsFirstEvent();
  const bool offsets = version_.hasGmtOffsets();
  sqlite3_bind_int(row, kVersion, version_.number);
  bindText(row, kHeaderText, std::string(header.text()));
  bindText(row, kStartDate, isoDate(header.startDate()));
  bindText(row, kStartTime, isoTime(header.startTime()));
  if (offsets) bindText(row, kStartGmtOffset, isoOffset(header.startGmtOffset()));
  if (firstEvent) {
    bindText(row, kFirstEventDate, isoDate(header.firstEventDate()));
    bindText(row, kFirstEventTime, isoTime(header.firstEventTime()));
    sqlite3_bind_int64(row, kFirstEventStamp, header.firstEventStamp());
  }
  if (offsets) bindText(row, kFirstEventGmtOffset, isoOffset(header.firstEventGmtOffset()));
  bindText(row, kEndDate, isoDate(header.endDate()));
  bindText(row, kEndTime, isoTime(header.endTime()));
  if (offsets) bindText(row, kEndGmtOffset, isoOffset(header.endGmtOffset()));
  bindText(row, kDataFormat, dataFormatName(options_.dataFormat));
  sqlite3_bind_int(row, kTimesRelative, options_.timesRelativeToFirstEvent ? 1 : 0);
  if (options_.informativeHeader) {
    std::string lines;
    for (const std::string& line : informativeHeaderLines(header, offsets)) lines += line + "\n";
    bindText(row, kInformativeHeader, lines);
  }
}

bool SqliteSink::write(const RecordRun& run) {
  if (failed()) return false;
  cells_.forEachEvent(run, [this](EventCells& cells) {
    if (!failed()) insertEvent(cells);
  });
  return !failed();
}

// Texts are bound without a copy: they stay in place until the step.
void SqliteSink::insertEvent(EventCells& cells) {
  sqlite3_stmt* const row = insert_.get();
  int index = 1;
  for (const TableColumn& column : columns_) {
    // The data bytes come before their dumps.
    if (column.column == Column::Dump) {
      const std::span<const uint8_t> bytes = cells.shownBytes();
      if (cells.hasDump()) {
        sqlite3_bind_blob(row, index++, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_STATIC);
      } else {
        sqlite3_bind_null(row, index++);
      }
    }
    if (column.holdsInteger()) {
      sqlite3_bind_int64(row, index++, cells.integer(column.column));
    } else if (column.kind == CellKind::Dump && !cells.hasDump()) {
      sqlite3_bind_null(row, index++);  // no data, no dump
    } else {
      const std::string_view text = cells.text(column.column);
      sqlite3_bind_text(row, index++, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    }
  }
  const EventTime local = cells.time();
  sqlite3_bind_text(row, index++, localText_.of(local), kIsoTimeSize, SQLITE_STATIC);
  const std::optional<EventTime> utc = utcOffset_ ? utcOf(local, *utcOffset_) : std::nullopt;
  if (utc) {
    sqlite3_bind_text(row, index++, utcText_.of(*utc), kIsoTimeSize, SQLITE_STATIC);
  } else {
    sqlite3_bind_null(row, index++);
  }
  sqlite3_bind_int64(row, index, traceId_);
  errno = 0;
  const int result = sqlite3_step(row);
  sqlite3_reset(row);
  if (result != SQLITE_DONE) return failure_.fail(db_, result);
  tally_.add(local, cells.integer(Column::RC) == 0xFF);
}

bool SqliteSink::finish() {
  insert_.reset();
  return !failed();
}

}  // namespace qnvtab
