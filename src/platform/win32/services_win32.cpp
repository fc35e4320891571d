// Service manager operations over advapi32.
#include <cstring>

#include "platform/services.h"
#include "platform/win32/win32_error.h"

namespace {

SC_HANDLE to_sc(ServiceHandle handle) {
  return reinterpret_cast<SC_HANDLE>(handle);
}

ServiceHandle from_sc(SC_HANDLE handle) {
  return reinterpret_cast<ServiceHandle>(handle);
}

}  // namespace

StatusCode svc_open_manager(uint32_t access, ServiceHandle* out) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, access);
  if (manager == nullptr) return last_error();
  *out = from_sc(manager);
  return W32_ERROR_SUCCESS;
}

StatusCode svc_open_service(ServiceHandle manager, const char* name,
                            uint32_t access, ServiceHandle* out) {
  SC_HANDLE service = OpenServiceA(to_sc(manager), name, access);
  if (service == nullptr) return last_error();
  *out = from_sc(service);
  return W32_ERROR_SUCCESS;
}

StatusCode svc_start(ServiceHandle service) {
  if (!StartServiceA(to_sc(service), 0, nullptr)) return last_error();
  return W32_ERROR_SUCCESS;
}

StatusCode svc_control_stop(ServiceHandle service) {
  SERVICE_STATUS status;
  std::memset(&status, 0, sizeof(status));
  if (!ControlService(to_sc(service), SERVICE_CONTROL_STOP, &status)) {
    return last_error();
  }
  return W32_ERROR_SUCCESS;
}

StatusCode svc_query_state(ServiceHandle service, uint32_t* state) {
  SERVICE_STATUS status;
  std::memset(&status, 0, sizeof(status));
  if (!QueryServiceStatus(to_sc(service), &status)) return last_error();
  *state = status.dwCurrentState;
  return W32_ERROR_SUCCESS;
}

void svc_close(ServiceHandle handle) { CloseServiceHandle(to_sc(handle)); }
