// The store over SQLite. In order: the connection (schema, read-only
// fallback, busy timeout), statements (prepared once, bound in order, stepped),
// transactions, the listing caches, and the typed operations, each with its
// SQL text, its bindings and its columns together.
//
// Tables: keys(id, parent, name, folded) with a unique index on
// (parent, folded); vals(key, name, folded, type, data) keyed by
// (key, folded). The key HKEY_LOCAL_MACHINE is row 1; "folded" is the name
// with A-Z turned into a-z.
#include <errno.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <map>

#include "platform/fold.h"
#include "platform/posix/errno_status.h"
#include "platform/posix/fault.h"
#include "platform/posix/registry_store.h"
#include "platform/posix/root_dir.h"
#include "platform/posix/store.h"

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

// A statement prepared on first use and kept while the connection lasts.
struct Statement {
  const char* sql;     // parameters ?1, ?2, ... in the order they are bound
  sqlite3_stmt* stmt;  // null until prepared
};

// One run of a statement.
struct Query {
  sqlite3_stmt* stmt;  // the prepared statement
  int bound;           // parameters bound so far
  int rc;              // first failed binding, SQLITE_OK until then
};

struct StoreState {
  sqlite3* db;                       // null until first use
  bool read_only;                    // opened without write access
  std::vector<Statement*> prepared;  // those holding a statement of db
  int depth;                         // open write transactions, nested too
  int64_t data_version;              // when the caches were filled
  std::map<int64_t, std::vector<std::string>> children;  // by key id
  std::map<int64_t, std::vector<StoreValue>> values;     // by key id
};

StoreState g_store;

// The Win32 code for a SQLite result code.
StatusCode status_from_sqlite(int rc) {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return W32_ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
      return W32_ERROR_ACCESS_DENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return W32_ERROR_BUSY;
    case SQLITE_NOMEM:
      return W32_ERROR_OUTOFMEMORY;
    case SQLITE_FULL:
      return W32_ERROR_DISK_FULL;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return W32_ERROR_REGISTRY_CORRUPT;
    default:
      return W32_ERROR_REGISTRY_IO_FAILED;
  }
}

StatusCode exec(const char* sql) {
  return status_from_sqlite(
      sqlite3_exec(g_store.db, sql, nullptr, nullptr, nullptr));
}

void forget_caches() {
  g_store.children.clear();
  g_store.values.clear();
}

// ---- Connection ----

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
  for (Statement* statement : g_store.prepared) {
    sqlite3_finalize(statement->stmt);
    statement->stmt = nullptr;
  }
  g_store.prepared.clear();
  // Closing with a transaction open rolls it back.
  if (g_store.db != nullptr) sqlite3_close(g_store.db);
  g_store.db = nullptr;
  g_store.read_only = false;
  g_store.depth = 0;
  g_store.data_version = -1;
  forget_caches();
}

StatusCode has_schema(bool* present) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(g_store.db,
                              "SELECT 1 FROM sqlite_master WHERE name = 'keys'",
                              -1, &stmt, nullptr);
  if (rc != SQLITE_OK) return status_from_sqlite(rc);
  rc = sqlite3_step(stmt);
  sqlite3_finalize(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return status_from_sqlite(rc);
  *present = rc == SQLITE_ROW;
  return W32_ERROR_SUCCESS;
}

StatusCode begin_level();

StatusCode create_schema() {
  StatusCode status = begin_level();
  if (status != W32_ERROR_SUCCESS) return status;
  status = exec(kSchema);
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
  StatusCode status = exec("PRAGMA journal_mode=WAL");
  if (status == W32_ERROR_SUCCESS) status = exec("PRAGMA synchronous=FULL");
  return status;
}

StatusCode connect(const std::string& path, bool exists) {
  // One thread uses the connection: SQLite need not lock it on every call.
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX |
              (exists ? 0 : SQLITE_OPEN_CREATE);
  int rc = sqlite3_open_v2(path.c_str(), &g_store.db, flags, nullptr);
  if (rc != SQLITE_OK && exists) {
    sqlite3_close(g_store.db);
    rc = sqlite3_open_v2(path.c_str(), &g_store.db,
                         SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  }
  if (rc != SQLITE_OK) {
    StatusCode status = status_from_sqlite(rc);
    sqlite3_close(g_store.db);
    g_store.db = nullptr;
    return status;
  }
  g_store.read_only = sqlite3_db_readonly(g_store.db, "main") == 1;
  sqlite3_busy_timeout(g_store.db, kBusyTimeoutMs);
  g_store.data_version = -1;
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

// ---- Statements ----

// Starts a run of statement: prepared on first use, reset, bindings cleared;
// 1016 when the store is not open.
StatusCode query_start(Statement* statement, Query* query) {
  *query = Query{nullptr, 0, SQLITE_OK};
  if (g_store.db == nullptr) return W32_ERROR_REGISTRY_IO_FAILED;
  if (statement->stmt == nullptr) {
    int rc = sqlite3_prepare_v3(g_store.db, statement->sql, -1,
                                SQLITE_PREPARE_PERSISTENT, &statement->stmt,
                                nullptr);
    if (rc != SQLITE_OK) return status_from_sqlite(rc);
    g_store.prepared.push_back(statement);
  }
  sqlite3_reset(statement->stmt);
  sqlite3_clear_bindings(statement->stmt);
  query->stmt = statement->stmt;
  return W32_ERROR_SUCCESS;
}

void note_binding(Query* query, int rc) {
  if (query->rc == SQLITE_OK) query->rc = rc;
}

// Binds value to the next parameter.
void bind_int(Query* query, int64_t value) {
  note_binding(query, sqlite3_bind_int64(query->stmt, ++query->bound, value));
}

// Binds a copy of text, so that a temporary may be passed.
void bind_text(Query* query, const std::string& text) {
  note_binding(query,
               sqlite3_bind_text64(query->stmt, ++query->bound, text.data(),
                                   text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
}

// Binds size bytes at data, which must stay in place until query_end; zero
// bytes bind as an empty blob, never as NULL.
void bind_blob(Query* query, const void* data, uint32_t size) {
  note_binding(query,
               sqlite3_bind_blob64(query->stmt, ++query->bound,
                                   size == 0 ? "" : data, size, SQLITE_STATIC));
}

void reset_statements();

// An injected failure of a step. SQLite may answer an I/O error, a full disk
// or a lack of memory by abandoning the open transaction; an injected one of
// these codes does so, so that the callers' handling of it is tested.
StatusCode injected_step_fault(sqlite3_stmt* stmt) {
  StatusCode code = fault_hit(FaultPoint::kStoreStep, sqlite3_sql(stmt));
  bool abandons = code == W32_ERROR_REGISTRY_IO_FAILED ||
                  code == W32_ERROR_DISK_FULL || code == W32_ERROR_OUTOFMEMORY;
  if (abandons && !sqlite3_get_autocommit(g_store.db)) {
    reset_statements();
    exec("ROLLBACK");
  }
  return code;
}

// Steps the query once; *row tells whether a row came. Fails, without running
// the statement, when a binding failed or not every parameter was bound.
StatusCode query_step(Query* query, bool* row) {
  *row = false;
  if (query->rc == SQLITE_OK &&
      query->bound != sqlite3_bind_parameter_count(query->stmt)) {
    query->rc = SQLITE_RANGE;
  }
  if (query->rc != SQLITE_OK) return status_from_sqlite(query->rc);
  StatusCode fault = injected_step_fault(query->stmt);
  if (fault != W32_ERROR_SUCCESS) return fault;
  int rc = sqlite3_step(query->stmt);
  *row = rc == SQLITE_ROW;
  return status_from_sqlite(rc);
}

// Ends a run, releasing what the statement holds.
void query_end(Query* query) {
  if (query->stmt != nullptr) sqlite3_reset(query->stmt);
}

int64_t column_int(const Query& query, int column) {
  return sqlite3_column_int64(query.stmt, column);
}

std::string column_text(const Query& query, int column) {
  const unsigned char* text = sqlite3_column_text(query.stmt, column);
  if (text == nullptr) return std::string();
  return std::string(
      reinterpret_cast<const char*>(text),
      static_cast<size_t>(sqlite3_column_bytes(query.stmt, column)));
}

std::vector<uint8_t> column_blob(const Query& query, int column) {
  const uint8_t* bytes =
      static_cast<const uint8_t*>(sqlite3_column_blob(query.stmt, column));
  if (bytes == nullptr) return std::vector<uint8_t>();
  return std::vector<uint8_t>(bytes,
                              bytes + sqlite3_column_bytes(query.stmt, column));
}

// Runs a statement that gives at most the one row it is asked for.
StatusCode query_once(Query* query, bool* row) {
  StatusCode status = query_step(query, row);
  query_end(query);
  return status;
}

// ---- Transactions ----

// Whether the write transaction this connection began is still open; SQLite
// abandons a transaction by itself after some failures (a full disk, an I/O
// error).
bool transaction_alive() {
  return g_store.depth > 0 && !sqlite3_get_autocommit(g_store.db);
}

void reset_statements() {
  for (Statement* statement : g_store.prepared) sqlite3_reset(statement->stmt);
}

// Begins a write transaction on the open connection, or a savepoint inside
// the open one.
StatusCode begin_level() {
  if (g_store.depth > 0 && !transaction_alive()) {
    return W32_ERROR_REGISTRY_IO_FAILED;
  }
  const char* sql = g_store.depth == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT nested";
  StatusCode status = fault_hit(FaultPoint::kStoreBegin, sql);
  if (status == W32_ERROR_SUCCESS) status = exec(sql);
  if (status == W32_ERROR_SUCCESS) g_store.depth++;
  return status;
}

// Write operations refuse to run outside a write transaction.
StatusCode require_transaction() {
  return transaction_alive() ? W32_ERROR_SUCCESS : W32_ERROR_REGISTRY_IO_FAILED;
}

// ---- Listing caches ----

// Drops the caches when another connection has changed the store since they
// were filled (this connection's own writes drop them as they are made).
StatusCode check_caches() {
  static Statement statement{"PRAGMA data_version", nullptr};
  Query query;
  StatusCode status = query_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bool row = false;
  status = query_step(&query, &row);
  int64_t version = row ? column_int(query, 0) : -1;
  query_end(&query);
  if (status != W32_ERROR_SUCCESS) return status;
  if (version != g_store.data_version) {
    forget_caches();
    g_store.data_version = version;
  }
  return W32_ERROR_SUCCESS;
}

// The child names of key id.
StatusCode read_children(int64_t id, std::vector<std::string>* names) {
  static Statement statement{
      "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded", nullptr};
  Query query;
  StatusCode status = query_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bind_int(&query, id);
  bool row = false;
  while ((status = query_step(&query, &row)) == W32_ERROR_SUCCESS && row) {
    names->push_back(column_text(query, 0));
  }
  query_end(&query);
  return status;
}

StatusCode read_values(int64_t id, std::vector<StoreValue>* values) {
  static Statement statement{
      "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded",
      nullptr};
  Query query;
  StatusCode status = query_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bind_int(&query, id);
  bool row = false;
  while ((status = query_step(&query, &row)) == W32_ERROR_SUCCESS && row) {
    values->push_back(StoreValue{column_text(query, 0),
                                 static_cast<uint32_t>(column_int(query, 1)),
                                 column_blob(query, 2)});
  }
  query_end(&query);
  return status;
}

// Runs a statement that takes no parameters and gives no rows.
StatusCode run_statement(Statement* statement) {
  Query query;
  StatusCode status = query_start(statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bool row = false;
  return query_once(&query, &row);
}

// Begins a read transaction unless a transaction is open already; *own
// tells whether one was begun, to be ended by end_read. The statements are
// prepared once: a listing begins thousands.
StatusCode begin_read(bool* own) {
  static Statement begin{"BEGIN", nullptr};
  *own = sqlite3_get_autocommit(g_store.db) != 0;
  return *own ? run_statement(&begin) : W32_ERROR_SUCCESS;
}

void end_read(bool own) {
  static Statement commit{"COMMIT", nullptr};
  // Left open, a read transaction would hold an old snapshot for every
  // later read and refuse every later write.
  if (own && run_statement(&commit) != W32_ERROR_SUCCESS) exec("ROLLBACK");
}

// The list of key id from cache, or read by fill after checking that the key
// still exists, in one read transaction. What is read there is at least as
// new as the state the caches were checked against, which is all the check
// needs.
template <typename List, typename Fill>
StatusCode cached_list(std::map<int64_t, List>* cache, int64_t id, Fill fill,
                       const List** out) {
  *out = nullptr;
  StatusCode status = check_caches();
  if (status != W32_ERROR_SUCCESS) return status;
  auto entry = cache->find(id);
  if (entry != cache->end()) {
    *out = &entry->second;
    return W32_ERROR_SUCCESS;
  }
  bool own_read = false;
  status = begin_read(&own_read);
  if (status != W32_ERROR_SUCCESS) return status;
  bool exists = false;
  List list;
  status = store_key_exists(id, &exists);
  if (status == W32_ERROR_SUCCESS && !exists) status = W32_ERROR_KEY_DELETED;
  if (status == W32_ERROR_SUCCESS) status = fill(id, &list);
  end_read(own_read);
  if (status != W32_ERROR_SUCCESS) return status;
  *out = &((*cache)[id] = std::move(list));
  return W32_ERROR_SUCCESS;
}

// The child of parent whose folded name is folded: *id, or 0.
StatusCode find_folded_child(int64_t parent, const std::string& folded,
                             int64_t* id) {
  *id = 0;
  static Statement statement{
      "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2", nullptr};
  Query query;
  StatusCode status = query_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bind_int(&query, parent);
  bind_text(&query, folded);
  bool row = false;
  status = query_step(&query, &row);
  if (status == W32_ERROR_SUCCESS && row) *id = column_int(query, 0);
  query_end(&query);
  return status;
}

// The key reached from start through names: *id, or 0.
StatusCode read_path(int64_t start, const std::vector<std::string>& names,
                     int64_t* id) {
  *id = start;
  for (const std::string& name : names) {
    StatusCode status = find_folded_child(*id, fold_text(name), id);
    if (status != W32_ERROR_SUCCESS || *id == 0) return status;
  }
  return W32_ERROR_SUCCESS;
}

// Whether key id has a child.
StatusCode has_children(int64_t id, bool* has) {
  static Statement statement{"SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
                             nullptr};
  Query query;
  StatusCode status = query_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bind_int(&query, id);
  return query_once(&query, has);
}

// Runs a statement that deletes what is bound to ?1 = id.
StatusCode delete_by_id(Statement* statement, int64_t id) {
  Query query;
  StatusCode status = query_start(statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bind_int(&query, id);
  bool row = false;
  return query_once(&query, &row);
}

}  // namespace

void registry_store_reset() { close_connection(); }

bool registry_store_transaction_open() {
  return g_store.depth > 0 ||
         (g_store.db != nullptr && !sqlite3_get_autocommit(g_store.db));
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
      StatusCode status = make_dirs(posix_root_dir());
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
  bool absent = false;
  StatusCode status = store_open(StoreMode::kWrite, &absent);
  if (status != W32_ERROR_SUCCESS) return status;
  return begin_level();
}

StatusCode store_commit() {
  if (g_store.depth == 0) return W32_ERROR_REGISTRY_IO_FAILED;
  if (!transaction_alive()) {
    store_rollback();
    return W32_ERROR_REGISTRY_IO_FAILED;
  }
  const char* sql = g_store.depth > 1 ? "RELEASE nested" : "COMMIT";
  StatusCode status = fault_hit(FaultPoint::kStoreCommit, sql);
  if (status == W32_ERROR_SUCCESS && g_store.depth > 1) {
    status = exec(sql);
  } else if (status == W32_ERROR_SUCCESS) {
    reset_statements();
    status = exec(sql);
    forget_caches();
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
  reset_statements();
  if (transaction_alive()) {
    if (g_store.depth > 1) {
      exec("ROLLBACK TO nested");
      exec("RELEASE nested");
    } else {
      exec("ROLLBACK");
    }
  }
  g_store.depth--;
  forget_caches();
}

StatusCode store_key_exists(int64_t id, bool* exists) {
  *exists = id == kStoreRootKeyId;
  if (*exists) return W32_ERROR_SUCCESS;
  static Statement statement{"SELECT 1 FROM keys WHERE id = ?1", nullptr};
  Query query;
  StatusCode status = query_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bind_int(&query, id);
  return query_once(&query, exists);
}

StatusCode store_find_child(int64_t parent, const std::string& name,
                            int64_t* id) {
  return find_folded_child(parent, fold_text(name), id);
}

StatusCode store_find_path(int64_t start, const std::vector<std::string>& names,
                           int64_t* id) {
  *id = 0;
  // A walk of several names reads them in one state of the store.
  bool own_read = false;
  StatusCode status =
      names.size() > 1 ? begin_read(&own_read) : W32_ERROR_SUCCESS;
  if (status == W32_ERROR_SUCCESS) status = read_path(start, names, id);
  end_read(own_read);
  return status;
}

StatusCode store_insert_key(int64_t parent, const std::string& name,
                            int64_t* id) {
  StatusCode status = require_transaction();
  if (status != W32_ERROR_SUCCESS) return status;
  static Statement statement{
      "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)", nullptr};
  Query query;
  status = query_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bind_int(&query, parent);
  bind_text(&query, name);
  bind_text(&query, fold_text(name));
  bool row = false;
  status = query_once(&query, &row);
  forget_caches();
  if (status == W32_ERROR_SUCCESS) *id = sqlite3_last_insert_rowid(g_store.db);
  return status;
}

StatusCode store_delete_key(int64_t id) {
  StatusCode status = require_transaction();
  if (status != W32_ERROR_SUCCESS) return status;
  if (id == kStoreRootKeyId) return W32_ERROR_ACCESS_DENIED;
  bool has = false;
  status = has_children(id, &has);
  if (status != W32_ERROR_SUCCESS) return status;
  if (has) return W32_ERROR_ACCESS_DENIED;
  static Statement delete_values{"DELETE FROM vals WHERE key = ?1", nullptr};
  static Statement delete_key{"DELETE FROM keys WHERE id = ?1", nullptr};
  status = delete_by_id(&delete_values, id);
  if (status == W32_ERROR_SUCCESS) status = delete_by_id(&delete_key, id);
  forget_caches();
  return status;
}

StatusCode store_children(int64_t id, const std::vector<std::string>** out) {
  return cached_list(&g_store.children, id, read_children, out);
}

StatusCode store_get_value(int64_t id, const std::string& name, uint32_t* type,
                           std::vector<uint8_t>* data) {
  static Statement statement{
      "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2", nullptr};
  Query query;
  StatusCode status = query_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bind_int(&query, id);
  bind_text(&query, fold_text(name));
  bool row = false;
  status = query_step(&query, &row);
  if (status == W32_ERROR_SUCCESS && row) {
    *type = static_cast<uint32_t>(column_int(query, 0));
    *data = column_blob(query, 1);
  }
  query_end(&query);
  if (status == W32_ERROR_SUCCESS && !row) return W32_ERROR_FILE_NOT_FOUND;
  return status;
}

StatusCode store_put_value(int64_t id, const std::string& name, uint32_t type,
                           const void* data, uint32_t size) {
  StatusCode status = require_transaction();
  if (status != W32_ERROR_SUCCESS) return status;
  static Statement statement{
      "INSERT INTO vals(key, name, folded, type, data)"
      " VALUES(?1, ?2, ?3, ?4, ?5)"
      " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type,"
      " data = excluded.data",
      nullptr};
  Query query;
  status = query_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bind_int(&query, id);
  bind_text(&query, name);
  bind_text(&query, fold_text(name));
  bind_int(&query, type);
  bind_blob(&query, data, size);
  bool row = false;
  status = query_once(&query, &row);
  forget_caches();
  return status;
}

StatusCode store_delete_value(int64_t id, const std::string& name,
                              bool* deleted) {
  *deleted = false;
  StatusCode status = require_transaction();
  if (status != W32_ERROR_SUCCESS) return status;
  static Statement statement{"DELETE FROM vals WHERE key = ?1 AND folded = ?2",
                             nullptr};
  Query query;
  status = query_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bind_int(&query, id);
  bind_text(&query, fold_text(name));
  bool row = false;
  status = query_once(&query, &row);
  *deleted = status == W32_ERROR_SUCCESS && sqlite3_changes(g_store.db) > 0;
  forget_caches();
  return status;
}

StatusCode store_values(int64_t id, const std::vector<StoreValue>** out) {
  return cached_list(&g_store.values, id, read_values, out);
}
