#include "platform/posix/inf_cache.h"

#include <cstring>
#include <map>
#include <utility>

namespace {

constexpr int64_t kNanosPerSecond = 1000000000;

// The coarsest step of file times that a setup file is expected to meet:
// the kernel stamps files from a clock that ticks every few milliseconds,
// and FAT keeps modification times in steps of two seconds.
constexpr int64_t kTimeStepNs = 2 * kNanosPerSecond;

std::map<std::string, InfCacheEntry>& cache() {
  static std::map<std::string, InfCacheEntry> entries;
  return entries;
}

uint64_t mix(uint64_t hash, uint64_t word) {
  hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
  return hash ^ (hash >> 29);
}

}  // namespace

InfCacheEntry* inf_cache_find(const std::string& name) {
  auto found = cache().find(name);
  return found == cache().end() ? nullptr : &found->second;
}

void inf_cache_store(const std::string& name, const InfFileIdentity& identity,
                     uint64_t digest, int64_t now,
                     std::shared_ptr<const InfModel> model) {
  InfCacheEntry& entry = cache()[name];
  entry.identity = identity;
  entry.digest = digest;
  entry.settled = inf_identity_settled(identity, now);
  entry.model = std::move(model);
}

void inf_cache_forget(const std::string& name) { cache().erase(name); }

bool inf_same_identity(const InfFileIdentity& a, const InfFileIdentity& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.modified == b.modified && a.changed == b.changed;
}

bool inf_identity_settled(const InfFileIdentity& identity, int64_t now) {
  int64_t last = identity.modified > identity.changed ? identity.modified
                                                      : identity.changed;
  return last < now - kTimeStepNs;
}

uint64_t inf_digest(const char* data, size_t size) {
  uint64_t hash = mix(0x243F6A8885A308D3ull, size);
  size_t pos = 0;
  for (; pos + 8 <= size; pos += 8) {
    uint64_t word;
    std::memcpy(&word, data + pos, sizeof(word));
    hash = mix(hash, word);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, data + pos, size - pos);
  return mix(hash, tail);
}

int64_t inf_clock_ns() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return inf_time_ns(now);
}

int64_t inf_time_ns(const struct timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * kNanosPerSecond + time.tv_nsec;
}
