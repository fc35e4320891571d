// Named locks over kernel32 mutexes, in the Global namespace so that every
// session shares them. A mutex whose holder died is handed on as abandoned,
// which counts as acquired.
#include <cstdio>
#include <new>

#include "platform/lock.h"
#include "platform/win32/win32_error.h"

struct NamedLockData {
  HANDLE mutex;
};

StatusCode lock_acquire(const char* name, NamedLock* out) {
  if (name == nullptr || out == nullptr) return W32_ERROR_INVALID_PARAMETER;
  char mutex_name[64];
  std::snprintf(mutex_name, sizeof mutex_name, "Global\\zebcfg.%016llx",
                static_cast<unsigned long long>(lock_name_hash(name)));
  HANDLE mutex = CreateMutexA(nullptr, FALSE, mutex_name);
  if (mutex == nullptr) return last_error();
  DWORD waited = WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    StatusCode status = last_error();
    CloseHandle(mutex);
    return status;
  }
  NamedLockData* lock = new (std::nothrow) NamedLockData{mutex};
  if (lock == nullptr) {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return W32_ERROR_NOT_ENOUGH_MEMORY;
  }
  *out = lock;
  return W32_ERROR_SUCCESS;
}

void lock_release(NamedLock lock) {
  if (lock == nullptr) return;
  ReleaseMutex(lock->mutex);
  CloseHandle(lock->mutex);
  delete lock;
}
