// The settings store's SQLite side, private to registry.cpp: the one process-wide connection,
// the choice of the database file, the schema and the transactions every call runs in.
// Thread-safe: RegistryStore guards the connection with lock_ (held by a StoreTransaction for
// its whole life); Stmt objects live only inside a Read/Write callback, i.e. under that lock.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace platform {

// One prepared statement. Errors are sticky: after a failed prepare or bind, Step() returns
// the failure code, so callers check only the result of Step().
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql);
  ~Stmt();
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  Stmt& Bind(int index, int64_t value);
  Stmt& Bind(int index, std::string_view text);
  Stmt& BindBlob(int index, const void* data, size_t size);
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  [[nodiscard]] int64_t Int(int column) const;
  [[nodiscard]] std::string Text(int column) const;
  [[nodiscard]] std::string_view Blob(int column) const;

 private:
  void Check(int rc);
  sqlite3_stmt* stmt_ = nullptr;
  int error_ = SQLITE_OK;
};

// Row ids of the hive roots: fixed rows with parent 0.
inline constexpr int64_t kRootIdFirst = 1;
inline constexpr int64_t kRootIdLast = 3;

class RegistryStore {
 public:
  static RegistryStore& Instance();

  void Use(const std::string& path);
  std::string Path();

  // Runs fn(sqlite3*) in a read transaction; fn returns a Win32 code. When the database
  // cannot be opened, returns kErrorAccessDenied without calling fn.
  // Inside a StoreTransaction of this thread fn runs in that transaction.
  template <class Fn>
  long Read(Fn fn) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (depth_ > 0) return fn(db_);
    if (!EnsureOpen() || !Exec("BEGIN")) return kErrorAccessDenied;
    long rc = fn(db_);
    Exec("COMMIT");
    return rc;
  }
  // Runs fn(sqlite3*) in one write transaction (taken up front, so concurrent writers wait
  // on busy_timeout instead of failing an upgrade). Commits when fn returns kErrorSuccess,
  // rolls back otherwise; a failed commit is kErrorAccessDenied. Inside a StoreTransaction of
  // this thread fn's changes are a savepoint of it: undone alone when fn fails, made durable
  // only with the whole transaction.
  template <class Fn>
  long Write(Fn fn) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (depth_ > 0) {
      if (!Exec("SAVEPOINT one_write")) return kErrorAccessDenied;
      long rc = fn(db_);
      if (rc != kErrorSuccess) Exec("ROLLBACK TO one_write");
      Exec("RELEASE one_write");
      return rc;
    }
    if (!EnsureOpen() || !Exec("BEGIN IMMEDIATE")) return kErrorAccessDenied;
    long rc = fn(db_);
    if (rc != kErrorSuccess) {
      Exec("ROLLBACK");
      return rc;
    }
    if (!Exec("COMMIT")) {
      Exec("ROLLBACK");
      return kErrorAccessDenied;
    }
    return kErrorSuccess;
  }

  // The store side of StoreTransaction: Begin takes the lock and keeps it until End.
  bool BeginTransaction();
  bool EndTransaction(bool commit);

  static RegKey MakeKey(int64_t id) { return RegKey(id); }

 private:
  RegistryStore() = default;
  bool EnsureOpen();     // requires lock_
  bool OpenDatabase();   // requires lock_
  void Close();          // requires lock_
  bool IsOwnDatabase();  // requires lock_
  bool Exec(const char* sql);
  bool ExecWhenFree(const char* sql);
  void ReportFailure(const std::string& what);

  std::recursive_mutex lock_;  // held across a StoreTransaction by its thread
  sqlite3* db_ = nullptr;      // guarded by lock_
  pid_t db_pid_ = 0;           // guarded by lock_: the process that opened db_
  std::string path_;           // guarded by lock_: empty until chosen
  bool failed_ = false;        // guarded by lock_: opening path_ failed; not retried
  bool reported_ = false;      // guarded by lock_: the failure line was written
  int depth_ = 0;  // guarded by lock_: StoreTransactions open (nested ones are savepoints)
};

// The default database path from the environment and the effective user (see StorePath).
std::string DefaultStorePath();

}  // namespace platform
