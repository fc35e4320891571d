// The embedded store behind the POSIX registry: keys and values in one SQLite
// database at <root>/registry.db, reached only through the typed operations
// below. One connection per process, opened lazily; each statement is
// prepared once for the life of the connection.
//
// Keys form a tree below HKEY_LOCAL_MACHINE (kStoreRootKeyId); values belong
// to a key. Names keep the spelling they were created with and match without
// regard to case: A-Z fold to a-z, and the folded names give the order in
// which children and values are listed.
//
// Every write runs inside a write transaction (store_begin_write, then
// store_commit or store_rollback). Transactions nest: one begun inside another
// is a savepoint of it, so a caller can open one transaction, run several
// operations (or whole registry calls) inside it, and have them land together
// or not at all. A write outside a transaction, or inside one that SQLite
// has already abandoned after a failure, fails with 1016.
//
// A snapshot is a read transaction: every read inside it sees the store as
// it was when the snapshot began, whatever other processes write meanwhile.
// No write transaction may begin inside one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

// The key HKEY_LOCAL_MACHINE; it always exists and cannot be deleted.
constexpr int64_t kStoreRootKeyId = 1;

// One child key as a listing gives it.
struct StoreChild {
  std::string name;    // spelling at creation
  std::string folded;  // name with A-Z folded, by which children are ordered
  int64_t id;          // the child's key
};

// One value as a listing gives it.
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

// Opens the store for writing and begins a write transaction, or a nested one
// when a transaction is already open.
StatusCode store_begin_write();

// Ends the innermost write transaction keeping its writes; the outermost one
// makes them durable. On failure that transaction is rolled back.
StatusCode store_commit();

// Undoes the writes of the innermost write transaction and ends it.
void store_rollback();

// Begins a snapshot, or only counts one when a snapshot or a write
// transaction is open already (which it then must end before). A missing
// store reads as empty and begins no transaction. Until the snapshot ends,
// store_begin_write fails with 1016.
StatusCode store_begin_snapshot();

// Ends the innermost snapshot; the outermost one ends its read transaction,
// rolling it back when its end fails.
void store_end_snapshot();

// Whether key id exists (kStoreRootKeyId always does).
StatusCode store_key_exists(int64_t id, bool* exists);

// The child of parent named name: *id, or 0 when there is none. Inside a
// transaction a listing of parent cached in it answers, if there is one.
StatusCode store_find_child(int64_t parent, const std::string& name,
                            int64_t* id);

// The key reached from start through the children named names, in order, in
// one state of the store: *id, or 0 when one of them is missing (start itself
// is not checked).
StatusCode store_find_path(int64_t start, const std::vector<std::string>& names,
                           int64_t* id);

// Adds a child named name below parent, which must not have one by that name
// yet; *id is the new key. Inside a write transaction only.
StatusCode store_insert_key(int64_t parent, const std::string& name,
                            int64_t* id);

// Deletes key id with its values; 5 when it has children (or is the root), and
// nothing changes. Inside a write transaction only.
StatusCode store_delete_key(int64_t id);

// The child names of key id in folded order, valid until the next store call;
// 1018 when the key does not exist. Served from a cache while the store is
// unchanged, by this connection or any other: enumerating children by index
// would otherwise read the whole list again at every index, which is
// quadratic for a root of 10,000 devices (a listing, a name search, a
// recursive query). Outside a transaction each call asks SQLite whether the
// store changed; inside one (a snapshot or a write) the store cannot change
// but by this connection's own writes, which drop the caches, so it is asked
// once, when the transaction begins.
StatusCode store_children(int64_t id, const std::vector<StoreChild>** out);

// The type and data of value name of key id, the data valid until the next
// store call; 2 when the key has no such value.
StatusCode store_get_value(int64_t id, const std::string& name, uint32_t* type,
                           const std::vector<uint8_t>** data);

// Writes value name of key id, replacing the type and data of a value of that
// name (whose spelling stays). Inside a write transaction only.
StatusCode store_put_value(int64_t id, const std::string& name, uint32_t type,
                           const void* data, uint32_t size);

// Deletes value name of key id; *deleted tells whether there was one. Inside
// a write transaction only.
StatusCode store_delete_value(int64_t id, const std::string& name,
                              bool* deleted);

// The values of key id in folded order, valid and cached as store_children.
StatusCode store_values(int64_t id, const std::vector<StoreValue>** out);
