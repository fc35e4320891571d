// The store's connection: opened lazily at <root>/registry.db (created with
// its schema by the first writer, read-only where the user may not write),
// and its transactions: writes nested as savepoints, and reads.
#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdlib>

#include "platform/posix/errno_status.h"
#include "platform/posix/fault.h"
#include "platform/posix/registry_store.h"
#include "platform/posix/root_dir.h"
#include "platform/posix/store_sqlite.h"

StoreConnection g_store;

namespace {

constexpr int kBusyTimeoutMs = 10000;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " folded TEXT NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, folded);"
    "CREATE TABLE IF NOT EXISTS vals("
    " key INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " folded TEXT NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, folded)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name, folded)"
    " VALUES(1, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');";

// Creates dir and its missing parents.
StatusCode make_dirs(const std::string& dir) {
  for (size_t pos = 1; pos <= dir.size(); pos++) {
    if (pos < dir.size() && dir[pos] != '/') continue;
    std::string part = dir.substr(0, pos);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
      // A folder of the path that is missing is a missing path, as for
      // CreateDirectory.
      return errno == ENOENT ? W32_ERROR_PATH_NOT_FOUND
                             : win32_error_from_errno(errno);
    }
  }
  return W32_ERROR_SUCCESS;
}

void close_connection() {
  sql_finalize_statements();
  // Closing with a transaction open rolls it back.
  if (g_store.db != nullptr) sqlite3_close(g_store.db);
  g_store.db = nullptr;
  g_store.read_only = false;
  g_store.depth = 0;
  g_store.snapshots = 0;
  g_store.snapshot_reads = false;
  g_store.wrote = false;
  forget_caches();
}

StatusCode has_schema(bool* present) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(g_store.db,
                              "SELECT 1 FROM sqlite_master WHERE name = 'keys'",
                              -1, &stmt, nullptr);
  if (rc != SQLITE_OK) return sql_status(rc);
  rc = sqlite3_step(stmt);
  sqlite3_finalize(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return sql_status(rc);
  *present = rc == SQLITE_ROW;
  return W32_ERROR_SUCCESS;
}

// Begins a write transaction on the open connection, or a savepoint inside
// the open one.
StatusCode begin_level() {
  if (g_store.depth > 0 && !write_transaction_alive()) {
    return W32_ERROR_REGISTRY_IO_FAILED;
  }
  const char* sql = g_store.depth == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT nested";
  StatusCode status = fault_hit(FaultPoint::kStoreBegin, sql);
  if (status == W32_ERROR_SUCCESS) status = sql_exec(sql);
  if (status != W32_ERROR_SUCCESS) return status;
  if (g_store.depth++ == 0) g_store.transactions++;
  return W32_ERROR_SUCCESS;
}

StatusCode create_schema() {
  StatusCode status = begin_level();
  if (status != W32_ERROR_SUCCESS) return status;
  status = sql_exec(kSchema);
  if (status != W32_ERROR_SUCCESS) {
    store_rollback();
    return status;
  }
  return store_commit();
}

// A writer's journal: write-ahead logging, so that a reader never has to
// undo what a writer killed in mid-transaction left behind (with a rollback
// journal it must, and a reader without write rights cannot). The log and
// its index stay on disk when the last writer closes, so that such a reader
// always finds them (it may not create them); they take the store's
// permissions. Every commit is synced to disk before it returns, so that
// what a command reported done survives a power cut.
StatusCode choose_journal() {
  int persist = 1;
  sqlite3_file_control(g_store.db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  StatusCode status = sql_exec("PRAGMA journal_mode=WAL");
  if (status == W32_ERROR_SUCCESS) status = sql_exec("PRAGMA synchronous=FULL");
  return status;
}

// At the end of a process that wrote to the store: copies the log into the
// store and empties it, unless another process is reading or writing at
// that moment (it never waits). The first process to open a store reads
// the whole log back before it can read anything; an empty log spares
// every later command that cost.
void empty_log_at_exit() {
  if (g_store.db != nullptr && g_store.wrote && g_store.depth == 0) {
    sqlite3_busy_timeout(g_store.db, 0);
    sqlite3_wal_checkpoint_v2(g_store.db, nullptr, SQLITE_CHECKPOINT_TRUNCATE,
                              nullptr, nullptr);
  }
  close_connection();
}

StatusCode connect(const std::string& path, bool exists) {
  // One thread uses SQLite: it need not lock the connection, nor count its
  // memory under a lock, on every call. (Setting this fails, harmlessly, once
  // SQLite has been initialized.)
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX |
              (exists ? 0 : SQLITE_OPEN_CREATE);
  int rc = sqlite3_open_v2(path.c_str(), &g_store.db, flags, nullptr);
  if (rc != SQLITE_OK && exists) {
    sqlite3_close(g_store.db);
    rc = sqlite3_open_v2(path.c_str(), &g_store.db,
                         SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  }
  if (rc != SQLITE_OK) {
    StatusCode status = sql_status(rc);
    sqlite3_close(g_store.db);
    g_store.db = nullptr;
    return status;
  }
  g_store.read_only = sqlite3_db_readonly(g_store.db, "main") == 1;
  sqlite3_busy_timeout(g_store.db, kBusyTimeoutMs);
  static bool registered = false;
  if (!registered) registered = std::atexit(empty_log_at_exit) == 0;
  return g_store.read_only ? W32_ERROR_SUCCESS : choose_journal();
}

// Makes sure the opened store has its tables; *absent when it has none and
// cannot be given any.
StatusCode ensure_schema(bool* absent) {
  bool present = false;
  StatusCode status = has_schema(&present);
  if (status != W32_ERROR_SUCCESS || present) return status;
  if (g_store.read_only) {
    *absent = true;
    return W32_ERROR_SUCCESS;
  }
  return create_schema();
}

}  // namespace

bool write_transaction_alive() {
  return g_store.depth > 0 && !sqlite3_get_autocommit(g_store.db);
}

StatusCode require_write_transaction() {
  return write_transaction_alive() ? W32_ERROR_SUCCESS
                                   : W32_ERROR_REGISTRY_IO_FAILED;
}

bool transaction_open() {
  return g_store.db != nullptr && !sqlite3_get_autocommit(g_store.db);
}

// The statements are prepared once: a listing may begin thousands.
StatusCode begin_read(bool* own) {
  static StoreStatement begin{"BEGIN", nullptr};
  *own = false;
  if (transaction_open()) return W32_ERROR_SUCCESS;
  StatusCode status = sql_run(&begin);
  if (status != W32_ERROR_SUCCESS) return status;
  *own = true;
  g_store.transactions++;
  return W32_ERROR_SUCCESS;
}

void end_read(bool own) {
  static StoreStatement commit{"COMMIT", nullptr};
  // Left open, a read transaction would hold an old snapshot for every
  // later read and refuse every later write.
  if (own && sql_run(&commit) != W32_ERROR_SUCCESS) sql_exec("ROLLBACK");
}

void registry_store_reset() { close_connection(); }

bool registry_store_transaction_open() {
  return g_store.depth > 0 || g_store.snapshots > 0 || transaction_open();
}

StatusCode store_open(StoreMode mode, bool* absent) {
  *absent = false;
  if (g_store.db == nullptr) {
    std::string path = posix_root_path("registry.db");
    struct stat info;
    bool exists = stat(path.c_str(), &info) == 0;
    if (!exists && mode == StoreMode::kRead) {
      *absent = true;
      return W32_ERROR_SUCCESS;
    }
    if (!exists) {
      StatusCode status = make_dirs(platform_root_dir());
      if (status != W32_ERROR_SUCCESS) return status;
    }
    StatusCode status = connect(path, exists);
    if (status == W32_ERROR_SUCCESS) status = ensure_schema(absent);
    if (status != W32_ERROR_SUCCESS || *absent) {
      close_connection();
      if (status == W32_ERROR_SUCCESS && mode == StoreMode::kWrite) {
        return W32_ERROR_ACCESS_DENIED;
      }
      return status;
    }
  }
  if (mode == StoreMode::kWrite && g_store.read_only) {
    return W32_ERROR_ACCESS_DENIED;
  }
  return W32_ERROR_SUCCESS;
}

StatusCode store_begin_write() {
  if (g_store.snapshots > 0) return W32_ERROR_REGISTRY_IO_FAILED;
  bool absent = false;
  StatusCode status = store_open(StoreMode::kWrite, &absent);
  if (status != W32_ERROR_SUCCESS) return status;
  return begin_level();
}

StatusCode store_commit() {
  if (g_store.depth == 0) return W32_ERROR_REGISTRY_IO_FAILED;
  if (!write_transaction_alive()) {
    store_rollback();
    return W32_ERROR_REGISTRY_IO_FAILED;
  }
  const char* sql = g_store.depth > 1 ? "RELEASE nested" : "COMMIT";
  StatusCode status = fault_hit(FaultPoint::kStoreCommit, sql);
  if (status == W32_ERROR_SUCCESS && g_store.depth > 1) {
    status = sql_exec(sql);
  } else if (status == W32_ERROR_SUCCESS) {
    sql_reset_statements();
    status = sql_exec(sql);
    forget_caches();
    g_store.wrote = g_store.wrote || status == W32_ERROR_SUCCESS;
  }
  if (status != W32_ERROR_SUCCESS) {
    store_rollback();
    return status;
  }
  g_store.depth--;
  return W32_ERROR_SUCCESS;
}

void store_rollback() {
  if (g_store.depth == 0) return;
  sql_reset_statements();
  if (write_transaction_alive()) {
    if (g_store.depth > 1) {
      sql_exec("ROLLBACK TO nested");
      sql_exec("RELEASE nested");
    } else {
      sql_exec("ROLLBACK");
    }
  }
  g_store.depth--;
  forget_caches();
}

// The snapshot's read transaction begins at once, not at its first read, and
// the caches are checked in it, so that its lookups need not check again.
StatusCode store_begin_snapshot() {
  if (g_store.snapshots > 0 || g_store.depth > 0) {
    g_store.snapshots++;
    return W32_ERROR_SUCCESS;
  }
  bool absent = false;
  StatusCode status = store_open(StoreMode::kRead, &absent);
  bool own = false;
  if (status == W32_ERROR_SUCCESS && !absent) status = begin_read(&own);
  if (status == W32_ERROR_SUCCESS && own) status = check_caches();
  if (status != W32_ERROR_SUCCESS) {
    end_read(own);
    return status;
  }
  g_store.snapshot_reads = own;
  g_store.snapshots = 1;
  return W32_ERROR_SUCCESS;
}

void store_end_snapshot() {
  if (g_store.snapshots == 0 || --g_store.snapshots > 0) return;
  // A failed read may have ended the transaction already, as SQLite may.
  end_read(g_store.snapshot_reads && transaction_open());
  g_store.snapshot_reads = false;
}
