// The SQLite store behind the POSIX registry: one connection per process,
// opened lazily at <root>/registry.db, with prepared statements, write
// transactions and a cache of sorted child listings.
//
// Tables: keys(id, parent, name, folded) with a unique index on
// (parent, folded); vals(key, name, folded, type, data) keyed by
// (key, folded). The key HKEY_LOCAL_MACHINE is row 1. Names are stored in
// the spelling they were created with; "folded" is the name with A-Z turned
// into a-z and gives both the matching and the enumeration order.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

constexpr int64_t kStoreRootKeyId = 1;

// The statements the registry prepares once per connection.
enum class StoreStmt {
  kFindChild,      // id of the child (parent, folded)
  kKeyExists,      // 1 when key id exists
  kInsertKey,      // new key (parent, name, folded)
  kListChildren,   // names of children of parent, in folded order
  kHasChildren,    // 1 when parent has a child
  kDeleteKey,      // removes key id
  kDeleteKeyVals,  // removes every value of key id
  kGetValue,       // type, data of (key, folded)
  kListValues,     // name, type, data of key, in folded order
  kPutValue,       // insert or update (key, name, folded, type, data)
  kDeleteValue,    // removes (key, folded)
  kCount
};

// One value as the enumeration cache keeps it.
struct StoreValue {
  std::string name;           // spelling at creation
  uint32_t type;              // REG_* type
  std::vector<uint8_t> data;  // raw bytes
};

// How a caller needs the store.
enum class StoreMode {
  kRead,   // the store may be missing (then it reads as empty)
  kWrite,  // the store is created if missing; 5 when it cannot be written
};

// Opens the connection if needed. For kRead, *absent is set when no store
// exists yet (nothing is created). For kWrite, a store that cannot be written
// gives 5.
StatusCode store_open(StoreMode mode, bool* absent);

// The prepared statement id, reset and cleared of bindings; 0 or an error.
StatusCode store_stmt(StoreStmt id, sqlite3_stmt** out);

// Win32 code for a SQLite result code.
StatusCode store_error(int rc);

// Steps stmt once: 0 with *row set (true when a row came), or an error.
StatusCode store_step(sqlite3_stmt* stmt, bool* row);

// Starts a write transaction (BEGIN IMMEDIATE).
StatusCode store_begin_write();

// Commits the write transaction and forgets the cached listings; on failure
// rolls back.
StatusCode store_commit();

// Rolls back the write transaction (after a failure inside it).
void store_rollback();

// Whether key id exists (row 1 always does).
StatusCode store_key_exists(int64_t id, bool* exists);

// The child of parent whose folded name is folded: *id, or 0 when absent.
StatusCode store_find_child(int64_t parent, const std::string& folded,
                            int64_t* id);

// The sorted child names of key id, from the cache when the store has not
// changed since it was read; 1018 when the key no longer exists.
StatusCode store_children(int64_t id, const std::vector<std::string>** out);

// The sorted values of key id, cached as store_children.
StatusCode store_values(int64_t id, const std::vector<StoreValue>** out);

// name with A-Z folded to a-z.
std::string store_fold(const std::string& name);
