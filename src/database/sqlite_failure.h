// What the database code shares of the SQLite library: statements owned
// by RAII, and the first failure kept with its reason.
#ifndef QNVTAB_DATABASE_SQLITE_FAILURE_H_
#define QNVTAB_DATABASE_SQLITE_FAILURE_H_

#include <sqlite3.h>

#include <memory>
#include <string>

namespace qnvtab {

struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using SqliteStatement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// The first failure of a connection's calls.
class SqliteFailure {
 public:
  bool failed() const { return failed_; }
  // Records the failure of a call that returned `result` on `db` (null
  // when the connection could not be made); a later one is not kept.
  void fail(sqlite3* db, int result);
  // A failure with only the system's reason, e.g. ENOMEM.
  void failWithSystemError(int error);
  // The system's reason when one is known, else the library's message.
  std::string reason() const;
  // Whether the failure was a lock held too long by another connection.
  bool busy() const { return result_ == SQLITE_BUSY || result_ == SQLITE_LOCKED; }
  int result() const { return result_; }

 private:
  bool failed_ = false;
  int result_ = SQLITE_OK;
  int systemError_ = 0;
  std::string libraryMessage_;
};

// Runs `sql` (several statements) on `db`; false with `failure` set on an error.
bool executeSql(sqlite3* db, const std::string& sql, SqliteFailure& failure);
// Prepares one statement; null with `failure` set on an error.
SqliteStatement prepareSql(sqlite3* db, const std::string& sql, SqliteFailure& failure);

inline void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace qnvtab

#endif  // QNVTAB_DATABASE_SQLITE_FAILURE_H_
