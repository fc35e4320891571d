// The listings of a key's children and values, cached while the store is
// unchanged, by this connection or any other. They are kept because callers
// enumerate by index: without them every index would read the whole list
// again, which for a root of 10,000 devices is quadratic.
#include <algorithm>
#include <map>

#include "platform/posix/store_sqlite.h"

namespace {

// The listings read so far, and the store's state they were read in.
struct ListingCaches {
  int64_t data_version;  // SQLite's data_version then; -1: none read yet
  uint64_t checked_in;   // the transaction checked last; 0: none
  std::map<int64_t, std::vector<StoreChild>> children;  // by key id
  std::map<int64_t, std::vector<StoreValue>> values;    // by key id
};

ListingCaches g_caches{-1, 0, {}, {}};

// Drops the caches when another connection has changed the store since they
// were filled (this connection's own writes drop them as they are made).
StatusCode check_data_version() {
  static StoreStatement statement{"PRAGMA data_version", nullptr};
  StoreQuery query;
  StatusCode status = sql_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  bool row = false;
  status = sql_step(&query, &row);
  int64_t version = row ? sql_column_int(query, 0) : -1;
  sql_end(&query);
  if (status != W32_ERROR_SUCCESS) return status;
  if (version != g_caches.data_version) {
    forget_caches();
    g_caches.data_version = version;
  }
  return W32_ERROR_SUCCESS;
}

// The children of key id.
StatusCode read_children(int64_t id, std::vector<StoreChild>* children) {
  static StoreStatement statement{
      "SELECT name, folded, id FROM keys WHERE parent = ?1 ORDER BY folded",
      nullptr};
  StoreQuery query;
  StatusCode status = sql_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  sql_bind_int(&query, id);
  bool row = false;
  while ((status = sql_step(&query, &row)) == W32_ERROR_SUCCESS && row) {
    children->push_back(StoreChild{sql_column_text(query, 0),
                                   sql_column_text(query, 1),
                                   sql_column_int(query, 2)});
  }
  sql_end(&query);
  return status;
}

StatusCode read_values(int64_t id, std::vector<StoreValue>* values) {
  static StoreStatement statement{
      "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded",
      nullptr};
  StoreQuery query;
  StatusCode status = sql_start(&statement, &query);
  if (status != W32_ERROR_SUCCESS) return status;
  sql_bind_int(&query, id);
  bool row = false;
  while ((status = sql_step(&query, &row)) == W32_ERROR_SUCCESS && row) {
    values->push_back(
        StoreValue{sql_column_text(query, 0),
                   static_cast<uint32_t>(sql_column_int(query, 1)),
                   {}});
    sql_column_blob(query, 2, &values->back().data);
  }
  sql_end(&query);
  return status;
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

}  // namespace

StatusCode check_caches() {
  bool in_transaction = transaction_open();
  if (in_transaction && g_caches.checked_in == g_store.transactions) {
    return W32_ERROR_SUCCESS;
  }
  StatusCode status = check_data_version();
  if (status == W32_ERROR_SUCCESS && in_transaction) {
    g_caches.checked_in = g_store.transactions;
  }
  return status;
}

// The listing is in SQLite's order of the folded names, byte by byte, which
// is std::string's.
void find_cached_child(int64_t parent, const std::string& folded, int64_t* id) {
  *id = 0;
  if (!transaction_open() || g_caches.checked_in != g_store.transactions) {
    return;
  }
  auto entry = g_caches.children.find(parent);
  if (entry == g_caches.children.end()) return;
  const std::vector<StoreChild>& children = entry->second;
  auto child = std::lower_bound(
      children.begin(), children.end(), folded,
      [](const StoreChild& c, const std::string& f) { return c.folded < f; });
  if (child != children.end() && child->folded == folded) *id = child->id;
}

void forget_caches() {
  g_caches.data_version = -1;
  g_caches.children.clear();
  g_caches.values.clear();
}

StatusCode store_children(int64_t id, const std::vector<StoreChild>** out) {
  return cached_list(&g_caches.children, id, read_children, out);
}

StatusCode store_values(int64_t id, const std::vector<StoreValue>** out) {
  return cached_list(&g_caches.values, id, read_values, out);
}
