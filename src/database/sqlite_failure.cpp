#include "database/sqlite_failure.h"

#include <cerrno>
#include <cstring>

namespace qnvtab {

// The library's record of the system's error may be overwritten by its
// clean-up after the failure; errno still holds it then.
void SqliteFailure::fail(sqlite3* db, int result) {
  const int error = errno;
  if (failed_) return;
  failed_ = true;
  result_ = result;
  systemError_ = db != nullptr ? sqlite3_system_errno(db) : 0;
  if (systemError_ == 0 && result != SQLITE_BUSY && result != SQLITE_CONSTRAINT) {
    systemError_ = error;
  }
  libraryMessage_ = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(result);
}

void SqliteFailure::failWithSystemError(int error) {
  if (failed_) return;
  failed_ = true;
  systemError_ = error;
}

std::string SqliteFailure::reason() const {
  return systemError_ != 0 ? std::strerror(systemError_) : libraryMessage_;
}

bool executeSql(sqlite3* db, const std::string& sql, SqliteFailure& failure) {
  if (failure.failed()) return false;
  errno = 0;
  const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  if (result != SQLITE_OK) failure.fail(db, result);
  return result == SQLITE_OK;
}

SqliteStatement prepareSql(sqlite3* db, const std::string& sql, SqliteFailure& failure) {
  sqlite3_stmt* statement = nullptr;
  const int result = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
  if (result != SQLITE_OK) failure.fail(db, result);
  return SqliteStatement(statement);
}

}  // namespace qnvtab
