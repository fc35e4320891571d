// Named locks on POSIX: flock on <root>/locks/<hash>.lock. The kernel drops
// the lock when its holder dies, however it dies.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <string>

#include "platform/lock.h"
#include "platform/posix/errno_status.h"
#include "platform/posix/fault.h"
#include "platform/posix/live_handles.h"
#include "platform/posix/root_dir.h"

struct NamedLockData {
  int fd;  // the lock file, open while held
};

namespace {

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
  int fd = open_lock_file(lock_file(name));
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
  NamedLockData* lock = new (std::nothrow) NamedLockData{fd};
  if (lock == nullptr) {
    close(fd);
    return W32_ERROR_NOT_ENOUGH_MEMORY;
  }
  *out = lock;
  live_handle_made(LiveHandle::kLock);
  return W32_ERROR_SUCCESS;
}

void lock_release(NamedLock lock) {
  if (lock == nullptr) return;
  live_handle_released(LiveHandle::kLock);
  close(lock->fd);  // drops the flock
  delete lock;
}
