// The stop, restart and reboot commands.
#include "cli/handlers.h"
#include "cli/status.h"
#include "service/service.h"

namespace {

// Stops the services; the status is the exit code.
int32_t stop_in_context(CommandContext* context, OutputMode mode, int32_t,
                        char* const*) {
  StatusCode status = stop_services(context);
  if (status != W32_ERROR_SUCCESS) report_status(context, mode, status);
  return static_cast<int32_t>(status);
}

// Stops the services, then starts them: 1 when stopping failed, else the
// start's status.
int32_t restart_in_context(CommandContext* context, OutputMode mode, int32_t,
                           char* const*) {
  StatusCode status = stop_services(context);
  if (status != W32_ERROR_SUCCESS) {
    report_status(context, mode, status);
    return 1;
  }
  status = start_services(context);
  if (status != W32_ERROR_SUCCESS) report_status(context, mode, status);
  return static_cast<int32_t>(status);
}

}  // namespace

int32_t stop_handler(OutputMode mode, int32_t count, char* const* args) {
  return run_in_context(stop_in_context, mode, count, args);
}

int32_t restart_handler(OutputMode mode, int32_t count, char* const* args) {
  return run_in_context(restart_in_context, mode, count, args);
}

int32_t reboot_handler(OutputMode, int32_t, char* const*) {
  return prompt_reboot();
}
