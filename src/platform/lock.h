// Named locks between processes, for writers that must not interleave.
#pragma once

#include <cstdint>

#include "platform/fold.h"
#include "platform/types.h"

struct NamedLockData;  // defined by the backend
typedef NamedLockData* NamedLock;

// Takes the lock called name (any text; names compare without regard to the
// case of A-Z), waiting while another process holds it. A lock whose holder
// died is taken over: on Windows a named mutex, whose abandonment counts as
// acquired; on POSIX an advisory lock on a file beside the store, which the
// kernel releases with its holder. A process takes a lock once and releases
// it before taking it again: it is not re-entrant. On failure nothing is
// held.
StatusCode lock_acquire(const char* name, NamedLock* out);

// Releases a lock taken by lock_acquire.
void lock_release(NamedLock lock);

// The 64-bit FNV-1a hash of name with A-Z folded, by which both backends name
// a lock (its file, its mutex): short, and free of characters either forbids.
inline uint64_t lock_name_hash(const char* name) {
  uint64_t hash = 1469598103934665603ull;
  for (const char* c = name; *c != '\0'; ++c) {
    hash ^= static_cast<unsigned char>(fold_letter(*c));
    hash *= 1099511628211ull;
  }
  return hash;
}
