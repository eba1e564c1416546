#include "database/database_schema.h"

#include "table/table_columns.h"

namespace qnvtab {
namespace {

constexpr const char* kTracesSql =
    "CREATE TABLE traces (trace_id INTEGER PRIMARY KEY, file TEXT NOT NULL, name TEXT NOT NULL, "
    "size INTEGER NOT NULL, sha256 TEXT NOT NULL UNIQUE, version INTEGER, header_text TEXT, "
    "start_date TEXT, start_time TEXT, start_gmt_offset TEXT, first_event_date TEXT, "
    "first_event_time TEXT, first_event_gmt_offset TEXT, end_date TEXT, end_time TEXT, "
    "end_gmt_offset TEXT, first_event_stamp INTEGER, status TEXT NOT NULL, diagnosis TEXT, "
    "events INTEGER NOT NULL, errors INTEGER NOT NULL, first_time TEXT, last_time TEXT, "
    "blocks INTEGER NOT NULL, blocks_lost INTEGER NOT NULL, bytes_skipped INTEGER NOT NULL, "
    "data_format TEXT NOT NULL, times_relative_to_first_event INTEGER NOT NULL, "
    "informative_header TEXT, row_options TEXT NOT NULL, selection TEXT, "
    "salvage INTEGER NOT NULL, imported_at TEXT NOT NULL, qnvtab_version TEXT NOT NULL);";

// The one-trace database's table `trace`, column for column.
constexpr const char* kTraceViewSql =
    "CREATE VIEW trace AS SELECT version, start_date, start_time, start_gmt_offset, "
    "first_event_date, first_event_time, first_event_gmt_offset, end_date, end_time, "
    "end_gmt_offset, first_event_stamp, data_format, times_relative_to_first_event, "
    "informative_header FROM traces WHERE version IS NOT NULL ORDER BY trace_id;";

// The table `events`: the table's columns in order, with the data bytes
// between the fixed cells and the dumps.
std::string eventsSql(DataFormat format) {
  std::string sql = "CREATE TABLE events (";
  for (const TableColumn& column : tableColumns(format)) {
    if (column.column == Column::Dump) sql += ", data BLOB";
    if (column.column != Column::Event) sql += ", ";
    sql += column.name;
    sql += column.holdsInteger()           ? " INTEGER NOT NULL"
           : column.kind == CellKind::Text ? " TEXT NOT NULL"
                                           : " TEXT";
  }
  return sql;
}

// After the dumps, so that readers of the columns before keep their
// positions: the event's local time and, where the header records GMT
// offsets, its UTC, as SQLite's date functions read them; then the trace.
constexpr const char* kLastColumnsSql =
    ", timestamp TEXT NOT NULL, timestamp_utc TEXT, trace_id INTEGER NOT NULL);";

constexpr const char* kLossesSql =
    "CREATE TABLE losses (trace_id INTEGER NOT NULL, kind TEXT NOT NULL, "
    "file_offset INTEGER NOT NULL, bytes INTEGER NOT NULL, first_block INTEGER, "
    "last_block INTEGER, after_event INTEGER NOT NULL, reason TEXT NOT NULL);";

int32_t pragmaValue(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  int32_t value = 0;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    value = sqlite3_column_int(statement, 0);
  }
  sqlite3_finalize(statement);
  return value;
}

}  // namespace

std::string schemaSql(DataFormat format) {
  return std::string(kTracesSql) + kTraceViewSql + eventsSql(format) + kLastColumnsSql +
         kLossesSql + "PRAGMA application_id = " + std::to_string(kApplicationId) +
         "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
}

const char kIndexesSql[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS events_trace_event ON events (trace_id, event); "
    "CREATE INDEX IF NOT EXISTS events_time ON events (time_msec); "
    "CREATE INDEX IF NOT EXISTS events_cmd ON events (cmd); "
    "CREATE INDEX IF NOT EXISTS events_timestamp ON events (timestamp); "
    "CREATE INDEX IF NOT EXISTS losses_trace ON losses (trace_id);";

const char kInsertTraceSql[] =
    "INSERT INTO traces VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
    "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

const char kInsertLossSql[] = "INSERT INTO losses VALUES (?, ?, ?, ?, ?, ?, ?, ?)";

SchemaState readSchemaState(sqlite3* db) {
  const int32_t tables = pragmaValue(db, "SELECT count(*) FROM sqlite_schema");
  if (tables == 0) return SchemaState::Empty;
  if (pragmaValue(db, "PRAGMA application_id") != kApplicationId) return SchemaState::Foreign;
  const int32_t version = pragmaValue(db, "PRAGMA user_version");
  if (version > kSchemaVersion) return SchemaState::Newer;
  return version == kSchemaVersion ? SchemaState::Ours : SchemaState::Foreign;
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

std::string rowOptionsText(const RowOptions& options) {
  return std::string("-d") + dataFormatName(options.dataFormat) +
         (options.timesRelativeToFirstEvent ? " -ferts" : "");
}

}  // namespace qnvtab
