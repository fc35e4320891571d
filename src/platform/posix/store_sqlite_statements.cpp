// Statements of the store: prepared once for the life of the connection,
// bound in order, stepped (with the store's fault point), and their columns.
#include "platform/posix/fault.h"
#include "platform/posix/store_sqlite.h"

StatusCode sql_status(int rc) {
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

StatusCode sql_exec(const char* sql) {
  return sql_status(sqlite3_exec(g_store.db, sql, nullptr, nullptr, nullptr));
}

StatusCode sql_start(StoreStatement* statement, StoreQuery* query) {
  *query = StoreQuery{nullptr, 0, SQLITE_OK};
  if (g_store.db == nullptr) return W32_ERROR_REGISTRY_IO_FAILED;
  if (statement->stmt == nullptr) {
    int rc = sqlite3_prepare_v3(g_store.db, statement->sql, -1,
                                SQLITE_PREPARE_PERSISTENT, &statement->stmt,
                                nullptr);
    if (rc != SQLITE_OK) return sql_status(rc);
    g_store.prepared.push_back(statement);
  }
  sqlite3_reset(statement->stmt);
  query->stmt = statement->stmt;
  return W32_ERROR_SUCCESS;
}

namespace {

void note_binding(StoreQuery* query, int rc) {
  if (query->rc == SQLITE_OK) query->rc = rc;
}

// An injected failure of a step. SQLite may answer an I/O error, a full disk
// or a lack of memory by abandoning the open transaction; an injected one of
// these codes does so, so that the callers' handling of it is tested.
StatusCode injected_step_fault(sqlite3_stmt* stmt) {
  StatusCode code = fault_hit(FaultPoint::kStoreStep, sqlite3_sql(stmt));
  bool abandons = code == W32_ERROR_REGISTRY_IO_FAILED ||
                  code == W32_ERROR_DISK_FULL || code == W32_ERROR_OUTOFMEMORY;
  if (abandons && !sqlite3_get_autocommit(g_store.db)) {
    sql_reset_statements();
    sql_exec("ROLLBACK");
  }
  return code;
}

}  // namespace

void sql_bind_int(StoreQuery* query, int64_t value) {
  note_binding(query, sqlite3_bind_int64(query->stmt, ++query->bound, value));
}

void sql_bind_text(StoreQuery* query, const std::string& text) {
  note_binding(query,
               sqlite3_bind_text64(query->stmt, ++query->bound, text.data(),
                                   text.size(), SQLITE_STATIC, SQLITE_UTF8));
}

void sql_bind_blob(StoreQuery* query, const void* data, uint32_t size) {
  note_binding(query,
               sqlite3_bind_blob64(query->stmt, ++query->bound,
                                   size == 0 ? "" : data, size, SQLITE_STATIC));
}

StatusCode sql_step(StoreQuery* query, bool* row) {
  *row = false;
  if (query->rc == SQLITE_OK &&
      query->bound != sqlite3_bind_parameter_count(query->stmt)) {
    query->rc = SQLITE_RANGE;
  }
  if (query->rc != SQLITE_OK) return sql_status(query->rc);
  StatusCode status = injected_step_fault(query->stmt);
  if (status == W32_ERROR_SUCCESS) {
    int rc = sqlite3_step(query->stmt);
    *row = rc == SQLITE_ROW;
    status = sql_status(rc);
  }
  // A write transaction abandoned by the failure leaves listings read in it
  // that hold the writes it undid.
  if (status != W32_ERROR_SUCCESS && g_store.depth > 0 &&
      !write_transaction_alive()) {
    forget_caches();
  }
  return status;
}

void sql_end(StoreQuery* query) {
  if (query->stmt != nullptr) sqlite3_reset(query->stmt);
}

StatusCode sql_step_once(StoreQuery* query, bool* row) {
  StatusCode status = sql_step(query, row);
  sql_end(query);
  return status;
}

StatusCode sql_run(StoreStatement* statement) {
  StoreQuery query;
  StatusCode status = sql_start(statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bool row = false;
  return sql_step_once(&query, &row);
}

int64_t sql_column_int(const StoreQuery& query, int column) {
  return sqlite3_column_int64(query.stmt, column);
}

std::string sql_column_text(const StoreQuery& query, int column) {
  const unsigned char* text = sqlite3_column_text(query.stmt, column);
  if (text == nullptr) return std::string();
  return std::string(
      reinterpret_cast<const char*>(text),
      static_cast<size_t>(sqlite3_column_bytes(query.stmt, column)));
}

void sql_column_blob(const StoreQuery& query, int column,
                     std::vector<uint8_t>* bytes) {
  const uint8_t* data =
      static_cast<const uint8_t*>(sqlite3_column_blob(query.stmt, column));
  bytes->clear();
  if (data != nullptr) {
    bytes->assign(data, data + sqlite3_column_bytes(query.stmt, column));
  }
}

void sql_reset_statements() {
  for (StoreStatement* statement : g_store.prepared) {
    sqlite3_reset(statement->stmt);
  }
}

void sql_finalize_statements() {
  for (StoreStatement* statement : g_store.prepared) {
    sqlite3_finalize(statement->stmt);
    statement->stmt = nullptr;
  }
  g_store.prepared.clear();
}
