// The per-process cache of parsed setup files. A file is parsed once and its
// model handed to every later open of the same name, as long as the file is
// provably the one it was parsed from: same device, inode, size, and
// modification and change times to the nanosecond. Those times are only as
// fine as the file system's clock, so a file changed within that clock's
// step of being read could keep all of them; such an entry is "unsettled"
// and every open checks the file's contents against a digest until the file
// has been left alone for longer than the step.
#pragma once

#include <time.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/inf_model.h"

// What stat tells about a file that changes whenever its contents do.
struct InfFileIdentity {
  uint64_t device;
  uint64_t inode;
  int64_t size;
  int64_t modified;  // st_mtim, in nanoseconds since the epoch
  int64_t changed;   // st_ctim, in nanoseconds since the epoch
};

struct InfCacheEntry {
  InfFileIdentity identity;  // of the file the model was parsed from
  uint64_t digest;           // of its raw bytes
  bool settled;              // identity alone proves the contents unchanged
  std::shared_ptr<const InfModel> model;  // never null
};

// The entry for the file opened by name, or null.
InfCacheEntry* inf_cache_find(const std::string& name);

// Stores the model parsed from the file opened by name, whose contents were
// read after now (inf_clock_ns), replacing any entry for name.
void inf_cache_store(const std::string& name, const InfFileIdentity& identity,
                     uint64_t digest, int64_t now,
                     std::shared_ptr<const InfModel> model);

// Drops the entry for name; handles that share its model keep it.
void inf_cache_forget(const std::string& name);

// True when a and b are the same file in the same state.
bool inf_same_identity(const InfFileIdentity& a, const InfFileIdentity& b);

// True when a file of this identity, read after now, cannot have been
// changed since without a change of identity: its last change lies further
// back than the coarsest step of file times.
bool inf_identity_settled(const InfFileIdentity& identity, int64_t now);

// A 64-bit digest of size bytes at data.
uint64_t inf_digest(const char* data, size_t size);

// The wall clock, in nanoseconds since the epoch.
int64_t inf_clock_ns();

// time in nanoseconds since the epoch.
int64_t inf_time_ns(const struct timespec& time);
