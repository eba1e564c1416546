// Databases read back for the tests: the rows of a query, each value as
// SQLite's text of it and NULL as "<null>", so that rows compare as
// strings; and a check of the storage classes of every column.
#ifndef QNVTAB_TESTS_SUPPORT_SQLITE_ROWS_H_
#define QNVTAB_TESTS_SUPPORT_SQLITE_ROWS_H_

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qnvtab::testing {

using Rows = std::vector<std::vector<std::string>>;

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

// Read-write, so that a hot journal left by a killed run is rolled back.
inline Database openDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  return Database(db);
}

// Every value as its text, NULL as "<null>".
inline Rows query(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
      << sql << ": " << sqlite3_errmsg(db);
  Rows rows;
  while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
    std::vector<std::string>& row = rows.emplace_back();
    for (int column = 0; column < sqlite3_column_count(statement); ++column) {
      if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
        row.push_back("<null>");
        continue;
      }
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      const auto size = static_cast<size_t>(sqlite3_column_bytes(statement, column));
      row.push_back(text == nullptr ? "" : std::string(text, size));
    }
  }
  sqlite3_finalize(statement);
  return rows;
}

// The value of a query of one row and one column.
inline std::string queryValue(sqlite3* db, const std::string& sql) {
  const Rows rows = query(db, sql);
  return rows.size() == 1 && rows[0].size() == 1 ? rows[0][0] : "<not one value>";
}

// The names of the columns of `table` but those `left`, joined for a SELECT.
inline std::string columnsOf(sqlite3* db, const std::string& table,
                             const std::set<std::string>& left) {
  std::string names;
  for (const std::vector<std::string>& column : query(db, "PRAGMA table_info(" + table + ")")) {
    if (left.count(column[1]) == 0) names += (names.empty() ? "" : ", ") + column[1];
  }
  return names;
}

// Every column declared one of SQLite's four types, and holding values of
// that storage class alone.
inline void expectDeclaredTypes(sqlite3* db) {
  const std::map<std::string, std::string> classes = {
      {"INTEGER", "integer"}, {"TEXT", "text"}, {"REAL", "real"}, {"BLOB", "blob"}};
  for (const std::vector<std::string>& table :
       query(db, "SELECT name FROM sqlite_master WHERE type = 'table'")) {
    for (const std::vector<std::string>& column :
         query(db, "PRAGMA table_info(" + table[0] + ")")) {
      SCOPED_TRACE(table[0] + "." + column[1]);
      ASSERT_EQ(classes.count(column[2]), 1u) << column[2];
      const Rows seen = query(db, "SELECT DISTINCT typeof(" + column[1] + ") FROM " + table[0] +
                                      " WHERE " + column[1] + " IS NOT NULL");
      EXPECT_TRUE(seen.empty() || seen == Rows{{classes.at(column[2])}}) << seen.size();
    }
  }
}

}  // namespace qnvtab::testing

#endif  // QNVTAB_TESTS_SUPPORT_SQLITE_ROWS_H_
