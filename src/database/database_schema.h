// The database's tables, for one trace or a fleet of them:
//   traces  a row per trace read: the file, its SHA-256, the header's
//           fields, how the conversion ended and the options that shaped
//           the rows;
//   events  a row per event, in the table's column order, then trace_id;
//   losses  a row per salvage incident: where, how many bytes, which blocks;
//   trace   a view of traces with the columns a one-trace database has
//           always had, so that queries written for one still answer.
// Declared types are INTEGER, TEXT and BLOB only, each column holding one
// storage class (or NULL), so that other engines read the file as it is.
#ifndef QNVTAB_DATABASE_DATABASE_SCHEMA_H_
#define QNVTAB_DATABASE_DATABASE_SCHEMA_H_

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "events/row_sink.h"

namespace qnvtab {

// PRAGMA application_id: "QNVT".
inline constexpr int32_t kApplicationId = 0x514E5654;
// PRAGMA user_version: this schema. A database of a later one is refused.
inline constexpr int32_t kSchemaVersion = 1;

// The tables and the view, for rows dumped as `format` shows them.
std::string schemaSql(DataFormat format);

// The indexes on `events`: within a trace by event number, and across
// traces by time, command and timestamp.
extern const char kIndexesSql[];

// The columns of a traces row in the order insertTraceSql binds them.
extern const char kInsertTraceSql[];
extern const char kInsertLossSql[];

enum class SchemaState {
  Empty,   // a new file, or one with no table
  Ours,    // made by qnvtab with this schema
  Newer,   // made by a later qnvtab
  Foreign  // some other database, or one of an older qnvtab without traces
};
SchemaState readSchemaState(sqlite3* db);

// "H", "A" or "HA", as the data_format column holds it.
const char* dataFormatName(DataFormat format);

// The row options as the database records them, e.g. "-dHA -ferts":
// appended traces must have been shaped alike.
std::string rowOptionsText(const RowOptions& options);

}  // namespace qnvtab

#endif  // QNVTAB_DATABASE_DATABASE_SCHEMA_H_
