#include "platform/posix/store_sqlite.h"

#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <map>

#include "platform/posix/errno_status.h"
#include "platform/posix/registry_store.h"
#include "platform/posix/root_dir.h"

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

const char* const kStatements[] = {
    "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2",
    "SELECT 1 FROM keys WHERE id = ?1",
    "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM keys WHERE id = ?1",
    "DELETE FROM vals WHERE key = ?1",
    "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded",
    "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
    " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type,"
    " data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND folded = ?2",
};
static_assert(sizeof(kStatements) / sizeof(kStatements[0]) ==
                  static_cast<size_t>(StoreStmt::kCount),
              "one text per statement id");

struct StoreState {
  sqlite3* db;     // null until first use
  bool read_only;  // opened without write access
  sqlite3_stmt* stmts[static_cast<int>(StoreStmt::kCount)];  // lazily made
  sqlite3_stmt* version_stmt;  // PRAGMA data_version
  int64_t data_version;        // when the caches were filled
  std::map<int64_t, std::vector<std::string>> children;  // by key id
  std::map<int64_t, std::vector<StoreValue>> values;     // by key id
};

StoreState g_store;

void forget_caches() {
  g_store.children.clear();
  g_store.values.clear();
}

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
  for (sqlite3_stmt*& stmt : g_store.stmts) {
    sqlite3_finalize(stmt);
    stmt = nullptr;
  }
  sqlite3_finalize(g_store.version_stmt);
  g_store.version_stmt = nullptr;
  if (g_store.db != nullptr) sqlite3_close(g_store.db);
  g_store.db = nullptr;
  g_store.read_only = false;
  g_store.data_version = -1;
  forget_caches();
}

StatusCode has_schema(bool* present) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(g_store.db,
                              "SELECT 1 FROM sqlite_master WHERE name = 'keys'",
                              -1, &stmt, nullptr);
  if (rc != SQLITE_OK) return store_error(rc);
  rc = sqlite3_step(stmt);
  sqlite3_finalize(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return store_error(rc);
  *present = rc == SQLITE_ROW;
  return W32_ERROR_SUCCESS;
}

StatusCode create_schema() {
  int rc = sqlite3_exec(g_store.db, "PRAGMA journal_mode=DELETE", nullptr,
                        nullptr, nullptr);
  if (rc != SQLITE_OK) return store_error(rc);
  StatusCode status = store_begin_write();
  if (status != W32_ERROR_SUCCESS) return status;
  rc = sqlite3_exec(g_store.db, kSchema, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    store_rollback();
    return store_error(rc);
  }
  return store_commit();
}

StatusCode connect(const std::string& path, bool exists) {
  int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE);
  int rc = sqlite3_open_v2(path.c_str(), &g_store.db, flags, nullptr);
  if (rc != SQLITE_OK && exists) {
    sqlite3_close(g_store.db);
    rc = sqlite3_open_v2(path.c_str(), &g_store.db, SQLITE_OPEN_READONLY,
                         nullptr);
  }
  if (rc != SQLITE_OK) {
    StatusCode status = store_error(rc);
    sqlite3_close(g_store.db);
    g_store.db = nullptr;
    return status;
  }
  g_store.read_only = sqlite3_db_readonly(g_store.db, "main") == 1;
  sqlite3_busy_timeout(g_store.db, kBusyTimeoutMs);
  g_store.data_version = -1;
  return W32_ERROR_SUCCESS;
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

void registry_store_reset() { close_connection(); }

StatusCode store_error(int rc) {
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

StatusCode store_stmt(StoreStmt id, sqlite3_stmt** out) {
  sqlite3_stmt*& stmt = g_store.stmts[static_cast<int>(id)];
  if (stmt == nullptr) {
    int rc = sqlite3_prepare_v3(g_store.db, kStatements[static_cast<int>(id)],
                                -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) return store_error(rc);
  }
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  *out = stmt;
  return W32_ERROR_SUCCESS;
}

StatusCode store_step(sqlite3_stmt* stmt, bool* row) {
  int rc = sqlite3_step(stmt);
  *row = rc == SQLITE_ROW;
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) return W32_ERROR_SUCCESS;
  StatusCode status = store_error(rc);
  sqlite3_reset(stmt);
  return status;
}

StatusCode store_begin_write() {
  int rc =
      sqlite3_exec(g_store.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  return store_error(rc);
}

StatusCode store_commit() {
  for (sqlite3_stmt* stmt : g_store.stmts) {
    if (stmt != nullptr) sqlite3_reset(stmt);
  }
  int rc = sqlite3_exec(g_store.db, "COMMIT", nullptr, nullptr, nullptr);
  forget_caches();
  if (rc != SQLITE_OK) {
    store_rollback();
    return store_error(rc);
  }
  return W32_ERROR_SUCCESS;
}

void store_rollback() {
  for (sqlite3_stmt* stmt : g_store.stmts) {
    if (stmt != nullptr) sqlite3_reset(stmt);
  }
  if (!sqlite3_get_autocommit(g_store.db)) {
    sqlite3_exec(g_store.db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  forget_caches();
}

StatusCode store_key_exists(int64_t id, bool* exists) {
  if (id == kStoreRootKeyId) {
    *exists = true;
    return W32_ERROR_SUCCESS;
  }
  sqlite3_stmt* stmt = nullptr;
  StatusCode status = store_stmt(StoreStmt::kKeyExists, &stmt);
  if (status != W32_ERROR_SUCCESS) return status;
  sqlite3_bind_int64(stmt, 1, id);
  status = store_step(stmt, exists);
  sqlite3_reset(stmt);
  return status;
}

StatusCode store_find_child(int64_t parent, const std::string& folded,
                            int64_t* id) {
  *id = 0;
  sqlite3_stmt* stmt = nullptr;
  StatusCode status = store_stmt(StoreStmt::kFindChild, &stmt);
  if (status != W32_ERROR_SUCCESS) return status;
  sqlite3_bind_int64(stmt, 1, parent);
  sqlite3_bind_text(stmt, 2, folded.data(), static_cast<int>(folded.size()),
                    SQLITE_STATIC);
  bool row = false;
  status = store_step(stmt, &row);
  if (status == W32_ERROR_SUCCESS && row) *id = sqlite3_column_int64(stmt, 0);
  sqlite3_reset(stmt);
  return status;
}

namespace {

// Drops the caches when another connection has changed the store since they
// were filled (this connection's own writes drop them at commit).
StatusCode check_caches() {
  if (g_store.version_stmt == nullptr) {
    int rc = sqlite3_prepare_v3(g_store.db, "PRAGMA data_version", -1,
                                SQLITE_PREPARE_PERSISTENT,
                                &g_store.version_stmt, nullptr);
    if (rc != SQLITE_OK) return store_error(rc);
  }
  sqlite3_reset(g_store.version_stmt);
  bool row = false;
  StatusCode status = store_step(g_store.version_stmt, &row);
  if (status != W32_ERROR_SUCCESS) return status;
  int64_t version = row ? sqlite3_column_int64(g_store.version_stmt, 0) : -1;
  sqlite3_reset(g_store.version_stmt);
  if (version != g_store.data_version) {
    forget_caches();
    g_store.data_version = version;
  }
  return W32_ERROR_SUCCESS;
}

StatusCode read_children(int64_t id, std::vector<std::string>* names) {
  sqlite3_stmt* stmt = nullptr;
  StatusCode status = store_stmt(StoreStmt::kListChildren, &stmt);
  if (status != W32_ERROR_SUCCESS) return status;
  sqlite3_bind_int64(stmt, 1, id);
  bool row = true;
  while (status == W32_ERROR_SUCCESS) {
    status = store_step(stmt, &row);
    if (status != W32_ERROR_SUCCESS || !row) break;
    const unsigned char* text = sqlite3_column_text(stmt, 0);
    names->emplace_back(text != nullptr ? reinterpret_cast<const char*>(text)
                                        : "");
  }
  sqlite3_reset(stmt);
  return status;
}

StatusCode read_values(int64_t id, std::vector<StoreValue>* values) {
  sqlite3_stmt* stmt = nullptr;
  StatusCode status = store_stmt(StoreStmt::kListValues, &stmt);
  if (status != W32_ERROR_SUCCESS) return status;
  sqlite3_bind_int64(stmt, 1, id);
  bool row = true;
  while (status == W32_ERROR_SUCCESS) {
    status = store_step(stmt, &row);
    if (status != W32_ERROR_SUCCESS || !row) break;
    StoreValue value;
    const unsigned char* text = sqlite3_column_text(stmt, 0);
    value.name = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    value.type = static_cast<uint32_t>(sqlite3_column_int64(stmt, 1));
    const uint8_t* bytes =
        static_cast<const uint8_t*>(sqlite3_column_blob(stmt, 2));
    int size = sqlite3_column_bytes(stmt, 2);
    if (bytes != nullptr) value.data.assign(bytes, bytes + size);
    values->push_back(std::move(value));
  }
  sqlite3_reset(stmt);
  return status;
}

// Runs fill for key id inside one read transaction, after checking that the
// key still exists.
template <typename List, typename Fill>
StatusCode cached_list(std::map<int64_t, List>* cache, int64_t id, Fill fill,
                       const List** out) {
  StatusCode status = check_caches();
  if (status != W32_ERROR_SUCCESS) return status;
  auto found = cache->find(id);
  if (found != cache->end()) {
    *out = &found->second;
    return W32_ERROR_SUCCESS;
  }
  int rc = sqlite3_exec(g_store.db, "BEGIN", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return store_error(rc);
  bool exists = false;
  List list;
  status = store_key_exists(id, &exists);
  if (status == W32_ERROR_SUCCESS && !exists) status = W32_ERROR_KEY_DELETED;
  if (status == W32_ERROR_SUCCESS) status = fill(id, &list);
  sqlite3_exec(g_store.db, "COMMIT", nullptr, nullptr, nullptr);
  if (status != W32_ERROR_SUCCESS) return status;
  *out = &((*cache)[id] = std::move(list));
  return W32_ERROR_SUCCESS;
}

}  // namespace

StatusCode store_children(int64_t id, const std::vector<std::string>** out) {
  return cached_list(&g_store.children, id, read_children, out);
}

StatusCode store_values(int64_t id, const std::vector<StoreValue>** out) {
  return cached_list(&g_store.values, id, read_values, out);
}

std::string store_fold(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}
