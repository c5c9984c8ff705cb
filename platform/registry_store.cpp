// The settings store's SQLite side: choosing and creating the database file (0600, parent
// directories 0700), the schema, WAL with full synchronisation, and statement helpers.
// Thread-safe: RegistryStore's members are guarded by lock_.
#include "platform/registry_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace platform {
namespace {

constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS key_values("
    "  key_id INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key_id, name)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name) VALUES"
    "  (1, 0, 'HKEY_LOCAL_MACHINE'), (2, 0, 'HKEY_CURRENT_USER'), (3, 0, 'HKEY_CLASSES_ROOT');";

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

std::string HomeDir() {
  std::string home = EnvOr("HOME", "");
  if (!home.empty()) return home;
  const passwd* pw = getpwuid(geteuid());
  return (pw != nullptr && pw->pw_dir != nullptr) ? std::string(pw->pw_dir) : std::string(".");
}

// mkdir -p of the directory holding path; new directories get exactly 0700.
bool MakeParentDirs(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string dir = path.substr(0, slash);
    if (mkdir(dir.c_str(), 0700) == 0) {
      if (chmod(dir.c_str(), 0700) != 0) return false;
    } else if (errno != EEXIST) {
      return false;
    }
  }
  return true;
}

// Creates the file with exactly 0600 when it is new, so SQLite (which gives the -wal and -shm
// files the database's mode) never makes a world-readable store whatever the umask.
bool CreateFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    bool ok = fchmod(fd, 0600) == 0;
    close(fd);
    return ok;
  }
  if (errno != EEXIST) return false;
  fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace

Stmt::Stmt(sqlite3* db, const char* sql) {
  Check(sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr));
}

Stmt::~Stmt() { sqlite3_finalize(stmt_); }

void Stmt::Check(int rc) {
  if (rc != SQLITE_OK && error_ == SQLITE_OK) error_ = rc;
}

Stmt& Stmt::Bind(int index, int64_t value) {
  if (error_ == SQLITE_OK) Check(sqlite3_bind_int64(stmt_, index, value));
  return *this;
}

Stmt& Stmt::Bind(int index, std::string_view text) {
  if (error_ == SQLITE_OK) {
    Check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
  }
  return *this;
}

Stmt& Stmt::BindBlob(int index, const void* data, size_t size) {
  // A zero-length blob must still be a blob, not NULL: data NOT NULL.
  static const char kEmpty = 0;
  if (error_ == SQLITE_OK) {
    Check(sqlite3_bind_blob(stmt_, index, size == 0 ? &kEmpty : data, static_cast<int>(size),
                            SQLITE_TRANSIENT));
  }
  return *this;
}

int Stmt::Step() { return error_ != SQLITE_OK ? error_ : sqlite3_step(stmt_); }

int64_t Stmt::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Stmt::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  return text == nullptr ? std::string() : std::string(text, sqlite3_column_bytes(stmt_, column));
}

std::string_view Stmt::Blob(int column) const {
  const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
  int size = sqlite3_column_bytes(stmt_, column);
  return data == nullptr ? std::string_view() : std::string_view(data, size);
}

std::string DefaultStorePath() {
  std::string chosen = EnvOr("WAYFARER_REGISTRY", "");
  if (!chosen.empty()) return chosen;
  if (geteuid() == 0) return "/var/lib/wayfarer/registry.db";
  return EnvOr("XDG_STATE_HOME", HomeDir() + "/.local/state") + "/wayfarer/registry.db";
}

RegistryStore& RegistryStore::Instance() {
  static RegistryStore* store = new RegistryStore();  // never destroyed: used until exit
  return *store;
}

void RegistryStore::Use(const std::string& path) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  Close();
  path_ = path;
  failed_ = false;
  reported_ = false;
}

std::string RegistryStore::Path() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (path_.empty()) path_ = DefaultStorePath();
  return path_;
}

bool RegistryStore::BeginTransaction() {
  lock_.lock();
  if (depth_ > 0 ? Exec("SAVEPOINT nested") : EnsureOpen() && Exec("BEGIN IMMEDIATE")) {
    ++depth_;
    return true;
  }
  lock_.unlock();
  return false;
}

bool RegistryStore::EndTransaction(bool commit) {
  bool done = commit;
  if (--depth_ > 0) {
    if (!commit) Exec("ROLLBACK TO nested");
    Exec("RELEASE nested");
  } else {
    done = commit && Exec("COMMIT");
    if (!done) Exec("ROLLBACK");
  }
  lock_.unlock();
  return done;
}

StoreTransaction::StoreTransaction() : open_(RegistryStore::Instance().BeginTransaction()) {}

StoreTransaction::~StoreTransaction() {
  if (open_) (void)RegistryStore::Instance().EndTransaction(false);
}

bool StoreTransaction::Commit() {
  if (!open_) return false;
  open_ = false;
  return RegistryStore::Instance().EndTransaction(true);
}

void RegistryStore::Close() {
  // A connection inherited across fork() belongs to the parent: closing it here could
  // disturb the parent's locks, so the child only forgets it.
  if (db_ != nullptr && db_pid_ == getpid()) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool RegistryStore::EnsureOpen() {
  if (db_ != nullptr && db_pid_ == getpid()) return true;
  if (db_ != nullptr) Close();
  if (failed_) return false;
  if (path_.empty()) path_ = DefaultStorePath();
  if (OpenDatabase()) return true;
  failed_ = true;
  Close();
  return false;
}

bool RegistryStore::OpenDatabase() {
  if (!MakeParentDirs(path_) || !CreateFile(path_)) {
    ReportFailure(std::strerror(errno));
    return false;
  }
  int rc =
      sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
  db_pid_ = getpid();
  if (rc != SQLITE_OK) {
    ReportFailure(sqlite3_errstr(rc));
    return false;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // Nothing is written to a file that is not a sound store of ours: switching it to WAL or
  // adding our tables would change the very file the administrator has to inspect.
  if (!IsOwnDatabase()) return false;
  if (!ExecWhenFree("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=FULL") ||
      !ExecWhenFree("BEGIN IMMEDIATE")) {
    ReportFailure(sqlite3_errmsg(db_));
    return false;
  }
  if (!Exec(kSchema) || !Exec("COMMIT")) {
    ReportFailure(sqlite3_errmsg(db_));
    Exec("ROLLBACK");
    return false;
  }
  return true;
}

// An empty file is a new store. Otherwise every page must read back sound and the tables must
// be ours (an earlier start may have stopped after creating only some of them).
bool RegistryStore::IsOwnDatabase() {
  {
    Stmt check(db_, "PRAGMA quick_check");
    int rc = check.Step();
    if (rc != SQLITE_ROW || check.Text(0) != "ok") {
      ReportFailure(rc == SQLITE_ROW ? "damaged: " + check.Text(0) : sqlite3_errmsg(db_));
      return false;
    }
  }
  Stmt tables(db_, "SELECT name FROM sqlite_master WHERE type = 'table'");
  int rc;
  while ((rc = tables.Step()) == SQLITE_ROW) {
    const std::string name = tables.Text(0);
    if (name != "keys" && name != "key_values" && name != "sqlite_sequence") {
      ReportFailure("not a settings store (it holds a table \"" + name + "\")");
      return false;
    }
  }
  if (rc != SQLITE_DONE) {
    ReportFailure(sqlite3_errmsg(db_));
    return false;
  }
  return true;
}

bool RegistryStore::Exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Switching a new file to WAL while another process opens it too can answer "busy" at once,
// without the busy handler: such statements are tried again within the same time bound.
bool RegistryStore::ExecWhenFree(const char* sql) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return true;
    if ((rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_LOCKED) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void RegistryStore::ReportFailure(const std::string& what) {
  if (reported_) return;
  reported_ = true;
  std::fprintf(stderr, "wayfarer: cannot open the settings store %s: %s\n", path_.c_str(),
               what.c_str());
}

}  // namespace platform
