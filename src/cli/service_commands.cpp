// The stop, restart and reboot commands.
#include "cli/handlers.h"
#include "cli/status.h"
#include "service/service.h"

int32_t stop_handler(OutputMode mode, int32_t, char* const*) {
  StatusCode status = stop_services();
  if (status != W32_ERROR_SUCCESS) report_status(mode, status);
  return static_cast<int32_t>(status);
}

int32_t restart_handler(OutputMode mode, int32_t, char* const*) {
  StatusCode status = stop_services();
  if (status != W32_ERROR_SUCCESS) {
    report_status(mode, status);
    return 1;
  }
  status = start_services();
  if (status != W32_ERROR_SUCCESS) report_status(mode, status);
  return static_cast<int32_t>(status);
}

int32_t reboot_handler(OutputMode, int32_t, char* const*) {
  return prompt_reboot();
}
