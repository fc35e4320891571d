// Named locks on POSIX: flock on <root>/locks/<hash>.lock. The kernel drops
// the lock when its holder dies, however it dies. flock conflicts between
// two open descriptions of a file even within one process, so a lock taken
// again by its holder only counts up.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <new>
#include <string>

#include "platform/lock.h"
#include "platform/posix/errno_status.h"
#include "platform/posix/fault.h"
#include "platform/posix/live_handles.h"
#include "platform/posix/root_dir.h"

struct NamedLockData {
  std::string file;  // the lock file's path
  int fd;            // open while held
  int holds;         // takes not yet released, in this process
};

namespace {

// Held locks of this process by file path.
std::map<std::string, NamedLockData*> g_held;

std::string lock_file(const char* name) {
  char leaf[32];
  std::snprintf(leaf, sizeof leaf, "%016llx.lock",
                static_cast<unsigned long long>(lock_name_hash(name)));
  return posix_root_path("locks") + "/" + leaf;
}

// Opens the lock file, creating it and its folder when missing. A user who
// may not write it still locks it through a descriptor open for reading.
int open_lock_file(const std::string& file) {
  int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 && errno == ENOENT &&
      (mkdir(posix_root_path("locks").c_str(), 0755) == 0 || errno == EEXIST)) {
    fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  }
  if (fd < 0 && errno == EACCES) fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  return fd;
}

}  // namespace

StatusCode lock_acquire(const char* name, NamedLock* out) {
  if (name == nullptr || out == nullptr) return W32_ERROR_INVALID_PARAMETER;
  StatusCode fault = fault_hit(FaultPoint::kLockAcquire, name);
  if (fault != W32_ERROR_SUCCESS) return fault;
  std::string file = lock_file(name);
  auto held = g_held.find(file);
  if (held != g_held.end()) {
    ++held->second->holds;
    *out = held->second;
    live_handle_made(LiveHandle::kLock);
    return W32_ERROR_SUCCESS;
  }
  int fd = open_lock_file(file);
  if (fd < 0) return win32_error_from_errno(errno);
  int rc;
  do {
    rc = flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    StatusCode status = win32_error_from_errno(errno);
    close(fd);
    return status;
  }
  NamedLockData* lock = new (std::nothrow) NamedLockData{file, fd, 1};
  if (lock == nullptr) {
    close(fd);
    return W32_ERROR_NOT_ENOUGH_MEMORY;
  }
  g_held[file] = lock;
  *out = lock;
  live_handle_made(LiveHandle::kLock);
  return W32_ERROR_SUCCESS;
}

void lock_release(NamedLock lock) {
  if (lock == nullptr) return;
  live_handle_released(LiveHandle::kLock);
  if (--lock->holds > 0) return;
  g_held.erase(lock->file);
  close(lock->fd);  // drops the flock
  delete lock;
}
