// The table's columns, told once: the title that the table and the workbook
// show, the name that a database column and a JSON key take, and what kind
// of value the cell holds. Every output that lists the columns takes them
// from here, so a new column changes this file and the cell that fills it.
#ifndef QNVTAB_TABLE_TABLE_COLUMNS_H_
#define QNVTAB_TABLE_TABLE_COLUMNS_H_

#include <vector>

#include "table/cell_format.h"

namespace qnvtab {

// The table's columns in order; SecondDump exists with -dHA only.
enum class Column : int {
  Event,
  TimeMsec,
  Date,
  LocalTime,
  Cmd,
  S,
  RC,
  PoIn,
  LsnIn,
  PoOut,
  LsnOut,
  Info,
  Length,
  BufferAddress,
  Dump,
  SecondDump,
};
constexpr int kFixedColumns = static_cast<int>(Column::Dump);

enum class CellKind {
  Number,  // an integer that the table shows in decimal
  Code,    // an integer that the table shows in its own notation
  Text,    // a text: a date, a time, a command's name
  Dump,    // the data bytes as the table shows them; empty without data
};

struct TableColumn {
  Column column;
  const char* title;  // the table's and the workbook's, unquoted
  const char* name;   // the database column's and the JSON key
  CellKind kind;

  // Whether the cell's value is an integer: a database INTEGER, a JSON number.
  bool holdsInteger() const { return kind == CellKind::Number || kind == CellKind::Code; }
};

// The columns of a table of `dataFormat`, in order: 15, or 16 with two dumps.
std::vector<TableColumn> tableColumns(DataFormat dataFormat);

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_TABLE_COLUMNS_H_
