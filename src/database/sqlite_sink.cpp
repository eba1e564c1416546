#include "database/sqlite_sink.h"

#include <cerrno>
#include <cstring>

#include "table/table_header.h"

namespace qnvtab {
namespace {

// The columns of `events` after the event number, in table order, with the
// data bytes between the fixed cells and the dumps.
constexpr const char* kFixedColumnsSql =
    "event INTEGER PRIMARY KEY, time_msec INTEGER NOT NULL, date TEXT NOT NULL, "
    "local_time TEXT NOT NULL, cmd TEXT NOT NULL, s TEXT NOT NULL, rc INTEGER NOT NULL, "
    "po_in INTEGER NOT NULL, lsn_in INTEGER NOT NULL, po_out INTEGER NOT NULL, "
    "lsn_out INTEGER NOT NULL, info INTEGER NOT NULL, length INTEGER NOT NULL, "
    "buffer_address INTEGER NOT NULL, data BLOB";

// The columns after the dumps, so that readers of the columns before keep
// their positions: the event's local time and, where the header records
// GMT offsets, its UTC, as SQLite's date functions read them.
constexpr const char* kTimestampColumnsSql = ", timestamp TEXT NOT NULL, timestamp_utc TEXT";

// The loading is one transaction into a new file that nothing else reads:
// no journal, no syncs, a lock held throughout, a small page cache.
constexpr const char* kLoadSettingsSql =
    "PRAGMA page_size = 16384; PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; "
    "PRAGMA locking_mode = EXCLUSIVE; PRAGMA cache_size = -2048;";

constexpr const char* kTraceTableSql =
    "CREATE TABLE trace (version INTEGER NOT NULL, start_date TEXT, start_time TEXT, "
    "start_gmt_offset TEXT, first_event_date TEXT, first_event_time TEXT, "
    "first_event_gmt_offset TEXT, end_date TEXT, end_time TEXT, end_gmt_offset TEXT, "
    "first_event_stamp INTEGER, data_format TEXT NOT NULL, "
    "times_relative_to_first_event INTEGER NOT NULL, informative_header TEXT)";

// Seconds east of Greenwich.
int32_t secondsEast(GmtOffset offset) {
  const int32_t seconds = offset.hours * 3600 + offset.minutes * 60;
  return offset.sign == 0xFF ? -seconds : seconds;
}

const char* dataFormatName(DataFormat format) {
  switch (format) {
    case DataFormat::Ascii:
      return "A";
    case DataFormat::HexAscii:
      return "HA";
    default:
      return "H";
  }
}

void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
}

}  // namespace

SqliteSink::SqliteSink(const std::string& path, unsigned sortThreads) : sortThreads_(sortThreads) {
  if (!cells_.allocated()) {
    failed_ = true;
    systemError_ = ENOMEM;
    return;
  }
  sqlite3* db = nullptr;
  const int result =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  db_.reset(db);
  if (result != SQLITE_OK) fail(result);
}

void SqliteSink::begin(const TraceHeader& header, TraceVersion version,
                       const RowOptions& options) {
  if (failed_) return;
  cells_.begin(header, version, options);
  if (version.hasGmtOffsets()) utcOffset_ = secondsEast(header.firstEventGmtOffset());
  const bool twoDumps = options.dataFormat == DataFormat::HexAscii;
  const std::string dumps = twoDumps ? ", buffer_content_hex TEXT, buffer_content_ascii TEXT"
                                     : ", buffer_content TEXT";
  std::string parameters = "?";
  for (int column = 1; column < cells_.columnCount() + 3; ++column) parameters += ", ?";
  if (!execute(kLoadSettingsSql) || !execute("PRAGMA threads = " + std::to_string(sortThreads_)) ||
      !execute(kTraceTableSql) || !insertTrace(header, version, options) ||
      !execute(std::string("CREATE TABLE events (") + kFixedColumnsSql + dumps +
               kTimestampColumnsSql + ")") ||
      !execute("BEGIN")) {
    return;
  }
  insert_ = prepare("INSERT INTO events VALUES (" + parameters + ")");
}

bool SqliteSink::insertTrace(const TraceHeader& header, TraceVersion version,
                             const RowOptions& options) {
  const Statement statement = prepare("INSERT INTO trace VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                      "?, ?, ?, ?)");
  if (statement == nullptr) return false;
  sqlite3_stmt* const row = statement.get();
  const bool firstEvent = version.recordsFirstEvent();
  const bool offsets = version.hasGmtOffsets();
  sqlite3_bind_int(row, 1, version.number);
  bindText(row, 2, isoDate(header.startDate()));
  bindText(row, 3, isoTime(header.startTime()));
  if (offsets) bindText(row, 4, isoOffset(header.startGmtOffset()));
  if (firstEvent) {
    bindText(row, 5, isoDate(header.firstEventDate()));
    bindText(row, 6, isoTime(header.firstEventTime()));
    sqlite3_bind_int64(row, 11, header.firstEventStamp());
  }
  if (offsets) bindText(row, 7, isoOffset(header.firstEventGmtOffset()));
  bindText(row, 8, isoDate(header.endDate()));
  bindText(row, 9, isoTime(header.endTime()));
  if (offsets) bindText(row, 10, isoOffset(header.endGmtOffset()));
  bindText(row, 12, dataFormatName(options.dataFormat));
  sqlite3_bind_int(row, 13, options.timesRelativeToFirstEvent ? 1 : 0);
  if (options.informativeHeader) {
    std::string lines;
    for (const std::string& line : informativeHeaderLines(header, offsets)) {
      lines += line + "\n";
    }
    bindText(row, 14, lines);
  }
  const int result = sqlite3_step(row);
  if (result != SQLITE_DONE) fail(result);
  return result == SQLITE_DONE;
}

void SqliteSink::write(const RecordRun& run) {
  if (failed_) return;
  cells_.forEachEvent(run, [this](EventCells& cells) {
    if (!failed_) insertEvent(cells);
  });
}

// Texts are bound without a copy: they stay in place until the step.
void SqliteSink::insertEvent(EventCells& cells) {
  sqlite3_stmt* const row = insert_.get();
  int index = 1;
  for (const Column column : {Column::Event, Column::TimeMsec}) {
    sqlite3_bind_int64(row, index++, cells.integer(column));
  }
  for (const Column column : {Column::Date, Column::LocalTime, Column::Cmd, Column::S}) {
    const std::string_view text = cells.text(column);
    sqlite3_bind_text(row, index++, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }
  for (const Column column : {Column::RC, Column::PoIn, Column::LsnIn, Column::PoOut,
                              Column::LsnOut, Column::Info, Column::Length,
                              Column::BufferAddress}) {
    sqlite3_bind_int64(row, index++, cells.integer(column));
  }
  // The data bytes, then their dumps: all empty for an event without data.
  if (!cells.hasDump()) {
    for (; index <= cells.columnCount() + 1; ++index) sqlite3_bind_null(row, index);
  } else {
    const std::span<const uint8_t> bytes = cells.shownBytes();
    sqlite3_bind_blob(row, index++, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    for (int dump = kFixedColumns; dump < cells.columnCount(); ++dump) {
      const std::string_view text = cells.text(static_cast<Column>(dump));
      sqlite3_bind_text(row, index++, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    }
  }
  const EventTime local = cells.time();
  sqlite3_bind_text(row, index++, localText_.of(local), kIsoTimeSize, SQLITE_STATIC);
  // Within hours of the clock's ends (1980, 2116) the UTC may fall outside
  // the range it can show; it stays NULL then.
  const int64_t utcSeconds = int64_t{local.seconds} - utcOffset_.value_or(0);
  if (!utcOffset_ || utcSeconds < 0 || utcSeconds > UINT32_MAX) {
    sqlite3_bind_null(row, index);
  } else {
    const EventTime utc{static_cast<uint32_t>(utcSeconds), local.millisecond};
    sqlite3_bind_text(row, index, utcText_.of(utc), kIsoTimeSize, SQLITE_STATIC);
  }
  errno = 0;
  const int result = sqlite3_step(row);
  if (result != SQLITE_DONE) fail(result);
  sqlite3_reset(row);
}

bool SqliteSink::finish() {
  if (failed_ || db_ == nullptr) return !failed_;
  insert_.reset();
  // The indexes are built once the rows are in: one sort each instead of a
  // tree updated per row, the sorting shared with the sort threads.
  if (execute("CREATE INDEX events_time ON events (time_msec); "
              "CREATE INDEX events_cmd ON events (cmd); "
              "CREATE INDEX events_timestamp ON events (timestamp); COMMIT")) {
    const int result = sqlite3_close(db_.get());
    if (result == SQLITE_OK) {
      db_.release();
    } else {
      fail(result);
    }
  }
  return !failed_;
}

bool SqliteSink::execute(const std::string& sql) {
  if (failed_) return false;
  errno = 0;
  const int result = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr);
  if (result != SQLITE_OK) fail(result);
  return !failed_;
}

SqliteSink::Statement SqliteSink::prepare(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  const int result = sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &statement, nullptr);
  if (result != SQLITE_OK) fail(result);
  return Statement(statement);
}

// The library's record of the system's error may be overwritten by its
// clean-up after the failure; errno still holds it then.
void SqliteSink::fail(int result) {
  const int error = errno;
  failed_ = true;
  systemError_ = db_ != nullptr ? sqlite3_system_errno(db_.get()) : 0;
  if (systemError_ == 0) systemError_ = error;
  libraryMessage_ = db_ != nullptr ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(result);
}

std::string SqliteSink::failureReason() const {
  return systemError_ != 0 ? std::strerror(systemError_) : libraryMessage_;
}

}  // namespace qnvtab
