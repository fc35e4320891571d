// The service walks of [cfg_start_stop], the stop probe and the reboot prompt.
#include <cstring>

#include "config/os_class.h"
#include "config/setup_info.h"
#include "config/status_codes.h"
#include "platform/dialog.h"
#include "platform/inf.h"
#include "platform/process.h"
#include "platform/services.h"
#include "service/service.h"

namespace {

// A service name with its terminator.
constexpr uint32_t SERVICE_NAME_CAPACITY = 256;

// One walk over the listed services with the opened manager and setup file.
typedef StatusCode (*ServiceWalk)(ServiceHandle manager, SetupInfo info);

ServicePauseFunction g_pause = nullptr;

void pause_between_probes() {
  if (g_pause != nullptr) {
    g_pause(STOP_POLL_INTERVAL_MS);
  } else {
    process_sleep_ms(STOP_POLL_INTERVAL_MS);
  }
}

// Field 1 of line into name (SERVICE_NAME_CAPACITY characters).
StatusCode read_service_name(const InfLine* line, char* name) {
  std::memset(name, 0, SERVICE_NAME_CAPACITY);
  return inf_get_string_field(line, 1, name, SERVICE_NAME_CAPACITY, nullptr);
}

// Probes until the service is stopped or STOP_POLL_LIMIT pauses have passed;
// one more probe then decides.
bool wait_until_stopped(const char* name) {
  for (uint32_t pauses = 0; pauses < STOP_POLL_LIMIT; ++pauses) {
    if (is_service_stopped(name)) break;
    pause_between_probes();
  }
  return is_service_stopped(name);
}

// Stops one opened service and waits for it; no request when it is stopped.
StatusCode stop_opened_service(ServiceHandle service, const char* name) {
  if (is_service_stopped(name)) return W32_ERROR_SUCCESS;
  StatusCode status = svc_control_stop(service);
  if (status == W32_ERROR_INVALID_SERVICE_CONTROL) {
    return STATUS_DEVICE_IS_OPEN;
  }
  if (status != W32_ERROR_SUCCESS) return status;
  return wait_until_stopped(name) ? W32_ERROR_SUCCESS : STATUS_DEVICE_IS_OPEN;
}

// Stops the service of line number index of [cfg_start_stop].
StatusCode stop_listed_service(ServiceHandle manager, SetupInfo info,
                               uint32_t index) {
  InfLine line;
  if (inf_get_line_by_index(info, SECTION_START_STOP, index, &line) !=
      W32_ERROR_SUCCESS) {
    return STATUS_INF_CORRUPT;
  }
  char name[SERVICE_NAME_CAPACITY];
  StatusCode status = read_service_name(&line, name);
  if (status != W32_ERROR_SUCCESS) return status;
  ServiceHandle service = nullptr;
  status = svc_open_service(manager, name, SERVICE_STOP_ACCESS, &service);
  if (status != W32_ERROR_SUCCESS) return status;
  status = stop_opened_service(service, name);
  svc_close(service);
  return status;
}

// Starts the service named on line.
StatusCode start_listed_service(ServiceHandle manager, const InfLine* line) {
  char name[SERVICE_NAME_CAPACITY];
  StatusCode status = read_service_name(line, name);
  if (status != W32_ERROR_SUCCESS) return status;
  ServiceHandle service = nullptr;
  status = svc_open_service(manager, name, SERVICE_START_ACCESS, &service);
  if (status != W32_ERROR_SUCCESS) return status;
  status = svc_start(service);
  svc_close(service);
  return status;
}

StatusCode stop_walk(ServiceHandle manager, SetupInfo info) {
  int32_t count = inf_get_line_count(info, SECTION_START_STOP);
  for (int32_t index = count - 1; index >= 0; --index) {
    StatusCode status =
        stop_listed_service(manager, info, static_cast<uint32_t>(index));
    if (status != W32_ERROR_SUCCESS) return status;
  }
  return W32_ERROR_SUCCESS;
}

// The end of the listed services: no (more) lines is success, any other
// failure of the reader is the walk's status.
StatusCode end_of_list(StatusCode status) {
  return status == W32_ERROR_LINE_NOT_FOUND ? W32_ERROR_SUCCESS : status;
}

StatusCode start_walk(ServiceHandle manager, SetupInfo info) {
  InfLine line;
  StatusCode status =
      inf_find_first_line(info, SECTION_START_STOP, nullptr, &line);
  if (status != W32_ERROR_SUCCESS) return end_of_list(status);
  for (;;) {
    status = start_listed_service(manager, &line);
    if (status != W32_ERROR_SUCCESS) return status;
    InfLine next;
    status = inf_find_next_line(&line, &next);
    if (status != W32_ERROR_SUCCESS) return end_of_list(status);
    line = next;
  }
}

// Service gate, the context's setup file and the service manager around
// walk; the manager is closed again before it returns.
StatusCode run_service_walk(const CommandContext* context, ServiceWalk walk) {
  StatusCode status = check_service_access();
  if (status != W32_ERROR_SUCCESS) return status;
  SetupInfo info = nullptr;
  status = context_setup(context, &info);
  if (status != W32_ERROR_SUCCESS) return status;
  ServiceHandle manager = nullptr;
  status = svc_open_manager(SC_MANAGER_ACCESS, &manager);
  if (status != W32_ERROR_SUCCESS) return status;
  status = walk(manager, info);
  svc_close(manager);
  return status;
}

}  // namespace

StatusCode start_services(const CommandContext* context) {
  return run_service_walk(context, start_walk);
}

StatusCode stop_services(const CommandContext* context) {
  return run_service_walk(context, stop_walk);
}

bool is_service_stopped(const char* name) {
  if (!is_admin_class(classify_platform())) return false;
  if (name == nullptr) return false;
  ServiceHandle manager = nullptr;
  if (svc_open_manager(SC_MANAGER_ACCESS, &manager) != W32_ERROR_SUCCESS) {
    return false;
  }
  ServiceHandle service = nullptr;
  if (svc_open_service(manager, name, SERVICE_STOP_ACCESS, &service) !=
      W32_ERROR_SUCCESS) {
    svc_close(manager);
    return false;
  }
  uint32_t state = 0;
  StatusCode status = svc_query_state(service, &state);
  svc_close(service);
  svc_close(manager);
  return status == W32_ERROR_SUCCESS && state == W32_SERVICE_STOPPED;
}

int32_t prompt_reboot() {
  int32_t result = dialog_prompt_reboot();
  if (result == -1) return -1;
  if ((result & W32_SPFILEQ_REBOOT_IN_PROGRESS) != 0) return 0;
  return 1;
}

ServicePauseFunction set_service_pause(ServicePauseFunction pause) {
  ServicePauseFunction previous = g_pause;
  g_pause = pause;
  return previous;
}
