#include "table/table_columns.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

namespace qnvtab {
namespace {

// Each column stands at its own place, so an output that walks the list
// and asks the cells by Column fills the column it names; names are
// unique lower-case identifiers, usable unquoted in SQL and as JSON keys.
TEST(TableColumns, PlacesNamesAndTitles) {
  for (const DataFormat format : {DataFormat::Hex, DataFormat::Ascii, DataFormat::HexAscii}) {
    const std::vector<TableColumn> columns = tableColumns(format);
    ASSERT_EQ(columns.size(), format == DataFormat::HexAscii ? 16u : 15u);
    std::set<std::string> names;
    std::set<std::string> titles;
    for (size_t place = 0; place < columns.size(); ++place) {
      const TableColumn& column = columns[place];
      EXPECT_EQ(static_cast<size_t>(column.column), place) << column.name;
      EXPECT_EQ(column.kind == CellKind::Dump, place >= kFixedColumns) << column.name;
      for (const char c : std::string(column.name)) {
        EXPECT_TRUE(std::islower(static_cast<unsigned char>(c)) || c == '_') << column.name;
      }
      EXPECT_TRUE(names.insert(column.name).second) << column.name;
      EXPECT_TRUE(titles.insert(column.title).second) << column.title;
    }
  }
}

}  // namespace
}  // namespace qnvtab
