// The typed operations of the store on keys and values, each with its SQL
// text, its bindings and its columns together.
#include "platform/fold.h"
#include "platform/posix/store_sqlite.h"

namespace {

// The child of parent whose folded name is folded: *id, or 0.
StatusCode find_folded_child(int64_t parent, const std::string& folded,
                             int64_t* id) {
  find_cached_child(parent, folded, id);
  if (*id != 0) return W32_ERROR_SUCCESS;
  static StoreStatement statement{
      "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2", nullptr};
  StoreQuery query;
  StatusCode status = sql_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  sql_bind_int(&query, parent);
  sql_bind_text(&query, folded);
  bool row = false;
  status = sql_step(&query, &row);
  if (status == W32_ERROR_SUCCESS && row) *id = sql_column_int(query, 0);
  sql_end(&query);
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
  static StoreStatement statement{
      "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1", nullptr};
  StoreQuery query;
  StatusCode status = sql_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  sql_bind_int(&query, id);
  return sql_step_once(&query, has);
}

// Runs a statement that deletes what is bound to ?1 = id.
StatusCode delete_by_id(StoreStatement* statement, int64_t id) {
  StoreQuery query;
  StatusCode status = sql_start(statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  sql_bind_int(&query, id);
  bool row = false;
  return sql_step_once(&query, &row);
}

}  // namespace

StatusCode store_key_exists(int64_t id, bool* exists) {
  *exists = id == kStoreRootKeyId;
  if (*exists) return W32_ERROR_SUCCESS;
  static StoreStatement statement{"SELECT 1 FROM keys WHERE id = ?1", nullptr};
  StoreQuery query;
  StatusCode status = sql_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  sql_bind_int(&query, id);
  return sql_step_once(&query, exists);
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
  StatusCode status = require_write_transaction();
  if (status != W32_ERROR_SUCCESS) return status;
  static StoreStatement statement{
      "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)", nullptr};
  std::string folded = fold_text(name);
  StoreQuery query;
  status = sql_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  sql_bind_int(&query, parent);
  sql_bind_text(&query, name);
  sql_bind_text(&query, folded);
  bool row = false;
  status = sql_step_once(&query, &row);
  forget_caches();
  if (status == W32_ERROR_SUCCESS) *id = sqlite3_last_insert_rowid(g_store.db);
  return status;
}

StatusCode store_delete_key(int64_t id) {
  StatusCode status = require_write_transaction();
  if (status != W32_ERROR_SUCCESS) return status;
  if (id == kStoreRootKeyId) return W32_ERROR_ACCESS_DENIED;
  bool has = false;
  status = has_children(id, &has);
  if (status != W32_ERROR_SUCCESS) return status;
  if (has) return W32_ERROR_ACCESS_DENIED;
  static StoreStatement delete_values{"DELETE FROM vals WHERE key = ?1",
                                      nullptr};
  static StoreStatement delete_key{"DELETE FROM keys WHERE id = ?1", nullptr};
  status = delete_by_id(&delete_values, id);
  if (status == W32_ERROR_SUCCESS) status = delete_by_id(&delete_key, id);
  forget_caches();
  return status;
}

// The data read is copied into one buffer, kept for the next read.
StatusCode store_get_value(int64_t id, const std::string& name, uint32_t* type,
                           const std::vector<uint8_t>** data) {
  static std::vector<uint8_t> read;
  static StoreStatement statement{
      "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2", nullptr};
  std::string folded = fold_text(name);
  StoreQuery query;
  StatusCode status = sql_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  sql_bind_int(&query, id);
  sql_bind_text(&query, folded);
  bool row = false;
  status = sql_step(&query, &row);
  if (status == W32_ERROR_SUCCESS && row) {
    *type = static_cast<uint32_t>(sql_column_int(query, 0));
    sql_column_blob(query, 1, &read);
    *data = &read;
  }
  sql_end(&query);
  if (status == W32_ERROR_SUCCESS && !row) return W32_ERROR_FILE_NOT_FOUND;
  return status;
}

StatusCode store_put_value(int64_t id, const std::string& name, uint32_t type,
                           const void* data, uint32_t size) {
  StatusCode status = require_write_transaction();
  if (status != W32_ERROR_SUCCESS) return status;
  static StoreStatement statement{
      "INSERT INTO vals(key, name, folded, type, data)"
      " VALUES(?1, ?2, ?3, ?4, ?5)"
      " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type,"
      " data = excluded.data",
      nullptr};
  std::string folded = fold_text(name);
  StoreQuery query;
  status = sql_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  sql_bind_int(&query, id);
  sql_bind_text(&query, name);
  sql_bind_text(&query, folded);
  sql_bind_int(&query, type);
  sql_bind_blob(&query, data, size);
  bool row = false;
  status = sql_step_once(&query, &row);
  forget_caches();
  return status;
}

StatusCode store_delete_value(int64_t id, const std::string& name,
                              bool* deleted) {
  *deleted = false;
  StatusCode status = require_write_transaction();
  if (status != W32_ERROR_SUCCESS) return status;
  static StoreStatement statement{
      "DELETE FROM vals WHERE key = ?1 AND folded = ?2", nullptr};
  std::string folded = fold_text(name);
  StoreQuery query;
  status = sql_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  sql_bind_int(&query, id);
  sql_bind_text(&query, folded);
  bool row = false;
  status = sql_step_once(&query, &row);
  *deleted = status == W32_ERROR_SUCCESS && sqlite3_changes(g_store.db) > 0;
  forget_caches();
  return status;
}
