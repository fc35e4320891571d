// Service manager operations on POSIX. A service is the store key
// HKLM\System\CurrentControlSet\Services\<name>, whose values script it:
//   State        REG_DWORD  1 stopped, 3 stop pending, 4 running (absent: 1)
//   StopDelayMs  REG_DWORD  time from a stop request to the stopped state
//                           (absent or 0: stops at once)
//   AcceptStop   REG_DWORD  0 refuses the stop control with 1052 (absent:
//                           accepts)
//   StopRequestedAt REG_BINARY  wall-clock ms (8 bytes, little end first) of
//                           the pending stop request
// A pending stop completes when its state is next looked at after the delay.
#include <time.h>

#include <cstring>
#include <new>
#include <string>

#include "platform/posix/fault.h"
#include "platform/posix/live_handles.h"
#include "platform/posix/store_keys.h"
#include "platform/posix/store_values.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/version.h"

namespace {

constexpr size_t kMaxServiceName = 255;  // the longest key name
constexpr uint32_t kKeyReadWrite = W32_KEY_QUERY_VALUE | W32_KEY_SET_VALUE;

enum class HandleKind { kManager, kService };

}  // namespace

struct ServiceHandleData {
  HandleKind kind;
  uint32_t rights;   // specific rights granted, generic rights mapped
  std::string name;  // service name; empty for the manager
};

namespace {

// Maps the generic rights of a service access mask to specific ones.
uint32_t service_rights(uint32_t access) {
  uint32_t rights = access & W32_SERVICE_ALL_ACCESS;
  if (access & W32_GENERIC_EXECUTE)
    rights |= W32_SERVICE_START | W32_SERVICE_STOP;
  if (access & W32_GENERIC_READ) rights |= W32_SERVICE_QUERY_STATUS;
  if (access & W32_GENERIC_ALL) rights |= W32_SERVICE_ALL_ACCESS;
  return rights;
}

bool is_service(ServiceHandle handle) {
  return handle != nullptr && handle->kind == HandleKind::kService;
}

// The service name of a handle, for fault subjects.
const char* subject_of(ServiceHandle service) {
  return is_service(service) ? service->name.c_str() : "";
}

bool is_valid_name(const char* name) {
  return name != nullptr && *name != '\0' &&
         std::strpbrk(name, "\\/") == nullptr;
}

uint64_t now_ms() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u +
         static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// Opens the service's key; 1060 when it does not exist.
StatusCode open_service_key(const std::string& name, uint32_t access,
                            RegKey* key) {
  std::string path = std::string(kServicesKeyPath) + name;
  StatusCode status =
      reg_open_key(reg_local_machine(), path.c_str(), access, key);
  if (status == W32_ERROR_FILE_NOT_FOUND) {
    return W32_ERROR_SERVICE_DOES_NOT_EXIST;
  }
  return status;
}

StatusCode write_dword(RegKey key, const char* name, uint32_t value) {
  return reg_set_value(key, name, W32_REG_DWORD, &value, sizeof(value));
}

StatusCode write_time(RegKey key, const char* name, uint64_t ms) {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i)
    bytes[i] = static_cast<unsigned char>(ms >> (8 * i));
  return reg_set_value(key, name, W32_REG_BINARY, bytes, sizeof(bytes));
}

// The recorded stop request; false when there is none.
bool read_time(RegKey key, const char* name, uint64_t* ms) {
  unsigned char bytes[8];
  uint32_t type = 0;
  uint32_t size = sizeof(bytes);
  if (reg_query_value(key, name, &type, bytes, &size) != W32_ERROR_SUCCESS ||
      type != W32_REG_BINARY || size != sizeof(bytes)) {
    return false;
  }
  *ms = 0;
  for (int i = 7; i >= 0; --i) *ms = (*ms << 8) | bytes[i];
  return true;
}

// True when a pending stop has had its delay; a request without a time, or
// one stamped later than now (the clock went back), counts as due.
bool stop_is_due(RegKey key) {
  uint64_t requested = 0;
  if (!read_time(key, "StopRequestedAt", &requested)) return true;
  uint64_t now = now_ms();
  if (now < requested) return true;
  return now - requested >= store_read_dword(key, "StopDelayMs", 0);
}

// The recorded state: stopped when the value is absent or not a DWORD, the
// read's failure when it cannot be read (a running service must not pass
// for a stopped one).
StatusCode read_state(RegKey key, uint32_t* state) {
  uint32_t type = 0;
  uint32_t value = 0;
  uint32_t size = sizeof(value);
  StatusCode status = reg_query_value(key, "State", &type, &value, &size);
  if (status != W32_ERROR_SUCCESS && status != W32_ERROR_FILE_NOT_FOUND &&
      status != W32_ERROR_MORE_DATA) {
    return status;
  }
  bool recorded = status == W32_ERROR_SUCCESS && type == W32_REG_DWORD &&
                  size == sizeof(value);
  *state = recorded ? value : W32_SERVICE_STOPPED;
  return W32_ERROR_SUCCESS;
}

// The current state, a due stop request counting as stopped. The stopped
// state is recorded when the key allows it; a key opened for reading only
// reports it all the same, and the next look records it.
StatusCode settle_state(RegKey key, uint32_t* state) {
  StatusCode status = read_state(key, state);
  if (status != W32_ERROR_SUCCESS || *state != W32_SERVICE_STOP_PENDING ||
      !stop_is_due(key)) {
    return status;
  }
  if (write_dword(key, "State", W32_SERVICE_STOPPED) == W32_ERROR_SUCCESS) {
    reg_delete_value(key, "StopRequestedAt");
  }
  *state = W32_SERVICE_STOPPED;
  return W32_ERROR_SUCCESS;
}

StatusCode start_in_key(RegKey key) {
  uint32_t state = 0;
  StatusCode status = settle_state(key, &state);
  if (status != W32_ERROR_SUCCESS) return status;
  if (state != W32_SERVICE_STOPPED) return W32_ERROR_SERVICE_ALREADY_RUNNING;
  return write_dword(key, "State", W32_SERVICE_RUNNING);
}

StatusCode stop_in_key(RegKey key) {
  uint32_t state = 0;
  StatusCode status = settle_state(key, &state);
  if (status != W32_ERROR_SUCCESS) return status;
  if (state == W32_SERVICE_STOPPED) return W32_ERROR_SERVICE_NOT_ACTIVE;
  if (state == W32_SERVICE_STOP_PENDING)
    return W32_ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  if (store_read_dword(key, "AcceptStop", 1) == 0) {
    return W32_ERROR_INVALID_SERVICE_CONTROL;
  }
  if (store_read_dword(key, "StopDelayMs", 0) == 0) {
    return write_dword(key, "State", W32_SERVICE_STOPPED);
  }
  status = write_time(key, "StopRequestedAt", now_ms());
  if (status != W32_ERROR_SUCCESS) return status;
  return write_dword(key, "State", W32_SERVICE_STOP_PENDING);
}

StatusCode query_in_key(RegKey key, void* state) {
  return settle_state(key, static_cast<uint32_t*>(state));
}

// Runs operation on key as one group of the store, so that what it reads
// and what it writes land together: of two processes starting (or stopping)
// one service at once, the second sees the first one's state, as the
// service manager serializes its controls.
StatusCode run_as_group(RegKey key, StatusCode (*operation)(RegKey, void*),
                        void* context) {
  StatusCode status = reg_begin_group();
  if (status != W32_ERROR_SUCCESS) return status;
  status = operation(key, context);
  if (status != W32_ERROR_SUCCESS) {
    reg_abandon_group();
    return status;
  }
  return reg_end_group();
}

// Checks the handle's right and runs one operation on the service's key,
// opened with key_access; an operation that may write runs as one group.
StatusCode with_service_key(ServiceHandle service, uint32_t right,
                            uint32_t key_access,
                            StatusCode (*operation)(RegKey, void*),
                            void* context) {
  if (!is_service(service)) return W32_ERROR_INVALID_HANDLE;
  if ((service->rights & right) == 0) return W32_ERROR_ACCESS_DENIED;
  RegKey key = nullptr;
  StatusCode status = open_service_key(service->name, key_access, &key);
  if (status != W32_ERROR_SUCCESS) return status;
  if ((key_access & W32_KEY_SET_VALUE) != 0) {
    status = run_as_group(key, operation, context);
  } else {
    status = operation(key, context);
  }
  reg_close_key(key);
  return status;
}

}  // namespace

StatusCode svc_open_manager(uint32_t /*access*/, ServiceHandle* out) {
  StatusCode status = fault_hit(FaultPoint::kSvcOpenManager, nullptr);
  if (status != W32_ERROR_SUCCESS) return status;
  if (out == nullptr) return W32_ERROR_INVALID_PARAMETER;
  if (!platform_is_user_admin()) return W32_ERROR_ACCESS_DENIED;
  ServiceHandleData* manager = new (std::nothrow) ServiceHandleData();
  if (manager == nullptr) return W32_ERROR_NOT_ENOUGH_MEMORY;
  manager->kind = HandleKind::kManager;
  manager->rights = 0;
  *out = manager;
  live_handle_made(LiveHandle::kService);
  return W32_ERROR_SUCCESS;
}

StatusCode svc_open_service(ServiceHandle manager, const char* name,
                            uint32_t access, ServiceHandle* out) {
  StatusCode status = fault_hit(FaultPoint::kSvcOpenService, name);
  if (status != W32_ERROR_SUCCESS) return status;
  if (manager == nullptr || manager->kind != HandleKind::kManager) {
    return W32_ERROR_INVALID_HANDLE;
  }
  if (out == nullptr) return W32_ERROR_INVALID_PARAMETER;
  if (!is_valid_name(name)) return W32_ERROR_INVALID_NAME;
  if (std::strlen(name) > kMaxServiceName) {
    return W32_ERROR_SERVICE_DOES_NOT_EXIST;
  }
  RegKey key = nullptr;
  status = open_service_key(name, W32_KEY_QUERY_VALUE, &key);
  if (status != W32_ERROR_SUCCESS) return status;
  reg_close_key(key);
  ServiceHandleData* service = new (std::nothrow) ServiceHandleData();
  if (service == nullptr) return W32_ERROR_NOT_ENOUGH_MEMORY;
  service->kind = HandleKind::kService;
  service->rights = service_rights(access);
  service->name = name;
  *out = service;
  live_handle_made(LiveHandle::kService);
  return W32_ERROR_SUCCESS;
}

StatusCode svc_start(ServiceHandle service) {
  StatusCode status = fault_hit(FaultPoint::kSvcStart, subject_of(service));
  if (status != W32_ERROR_SUCCESS) return status;
  return with_service_key(
      service, W32_SERVICE_START, kKeyReadWrite,
      [](RegKey key, void*) { return start_in_key(key); }, nullptr);
}

StatusCode svc_control_stop(ServiceHandle service) {
  StatusCode status =
      fault_hit(FaultPoint::kSvcControlStop, subject_of(service));
  if (status != W32_ERROR_SUCCESS) return status;
  return with_service_key(
      service, W32_SERVICE_STOP, kKeyReadWrite,
      [](RegKey key, void*) { return stop_in_key(key); }, nullptr);
}

StatusCode svc_query_state(ServiceHandle service, uint32_t* state) {
  StatusCode status =
      fault_hit(FaultPoint::kSvcQueryState, subject_of(service));
  if (status != W32_ERROR_SUCCESS) return status;
  if (state == nullptr) return W32_ERROR_INVALID_PARAMETER;
  status = with_service_key(service, W32_SERVICE_QUERY_STATUS, kKeyReadWrite,
                            query_in_key, state);
  if (status != W32_ERROR_ACCESS_DENIED) return status;
  // A store this user may only read still answers the question.
  return with_service_key(service, W32_SERVICE_QUERY_STATUS,
                          W32_KEY_QUERY_VALUE, query_in_key, state);
}

void svc_close(ServiceHandle handle) {
  if (handle == nullptr) return;
  live_handle_released(LiveHandle::kService);
  delete handle;
}
