// What the files of the store over SQLite share, and only they include (with
// it <sqlite3.h>): the process's one connection and its transactions, and
// the statements run on it.
//
//   store_sqlite_connection.cpp  the connection (schema, read-only fallback,
//                                journal, busy timeout) and its transactions
//   store_sqlite_statements.cpp  statements: prepared once, bound in order,
//                                stepped, their columns; SQLite's result
//                                codes as Win32 codes
//   store_sqlite_caches.cpp      the listings of children and values, cached
//   store_sqlite_operations.cpp  the typed operations on keys and values, each
//                                with its SQL text, bindings and columns
//
// Tables: keys(id, parent, name, folded) with a unique index on
// (parent, folded); vals(key, name, folded, type, data) keyed by
// (key, folded). The key HKEY_LOCAL_MACHINE is row 1; "folded" is the name
// with A-Z turned into a-z.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/store.h"

// A statement prepared on first use and kept while the connection lasts.
struct StoreStatement {
  const char* sql;     // parameters ?1, ?2, ... in the order they are bound
  sqlite3_stmt* stmt;  // null until prepared
};

// One run of a statement.
struct StoreQuery {
  sqlite3_stmt* stmt;  // the prepared statement
  int bound;           // parameters bound so far
  int rc;              // first failed binding, SQLITE_OK until then
};

// The process's connection to the store.
struct StoreConnection {
  sqlite3* db;                            // null until first use
  bool read_only;                         // opened without write access
  std::vector<StoreStatement*> prepared;  // those holding a statement of db
  int depth;                              // open write transactions, nested too
  int snapshots;                          // open snapshots, nested too
  bool snapshot_reads;    // the outermost snapshot began a read transaction
  uint64_t transactions;  // outermost transactions begun so far
  bool wrote;             // a write transaction has landed
};

extern StoreConnection g_store;

// ---- Statements ----

// The Win32 code for a SQLite result code.
StatusCode sql_status(int rc);

// Runs sql (statements without parameters) on the connection.
StatusCode sql_exec(const char* sql);

// Starts a run of statement: prepared on first use, and reset; 1016 when the
// store is not open. The bindings of the last run stay until each parameter
// is bound again, as every run must do before it steps.
StatusCode sql_start(StoreStatement* statement, StoreQuery* query);

// Binds value to the next parameter.
void sql_bind_int(StoreQuery* query, int64_t value);

// Binds text, which must stay in place until sql_end (no copy is made).
void sql_bind_text(StoreQuery* query, const std::string& text);

// Binds size bytes at data, which must stay in place until sql_end; zero
// bytes bind as an empty blob, never as NULL.
void sql_bind_blob(StoreQuery* query, const void* data, uint32_t size);

// Steps the query once; *row tells whether a row came. Fails, without running
// the statement, when a binding failed or not every parameter was bound.
StatusCode sql_step(StoreQuery* query, bool* row);

// Ends a run, releasing what the statement holds.
void sql_end(StoreQuery* query);

// Runs a statement that gives at most the one row it is asked for.
StatusCode sql_step_once(StoreQuery* query, bool* row);

// Runs a statement that takes no parameters and gives no rows.
StatusCode sql_run(StoreStatement* statement);

int64_t sql_column_int(const StoreQuery& query, int column);
std::string sql_column_text(const StoreQuery& query, int column);
// Replaces *bytes with the column's, keeping the capacity it has.
void sql_column_blob(const StoreQuery& query, int column,
                     std::vector<uint8_t>* bytes);

// Resets every prepared statement, so that none holds the transaction open.
void sql_reset_statements();

// Finalizes every prepared statement, before the connection closes.
void sql_finalize_statements();

// ---- Transactions ----

// Whether the write transaction this connection began is still open; SQLite
// abandons a transaction by itself after some failures (a full disk, an I/O
// error).
bool write_transaction_alive();

// 1016 unless a write transaction is alive: writes run inside one only.
StatusCode require_write_transaction();

// Whether a transaction (read or write) is open on the connection.
bool transaction_open();

// Begins a read transaction unless a transaction is open already; *own tells
// whether one was begun, to be ended by end_read.
StatusCode begin_read(bool* own);

// Ends the read transaction begun by begin_read when own is set.
void end_read(bool own);

// ---- Caches ----

// Forgets every cached listing; each write, commit and rollback does.
void forget_caches();

// Drops the caches when another connection has changed the store since they
// were filled. Inside a transaction that has been checked already, the store
// cannot have changed, and nothing is asked.
StatusCode check_caches();

// The child of parent whose folded name is folded, from a listing of parent
// cached and checked inside the open transaction: *id, or 0 when there is no
// such listing or no such child in it (then SQL must be asked).
void find_cached_child(int64_t parent, const std::string& folded, int64_t* id);
