// Stopping and starting the driver's services named in [cfg_start_stop], and
// the reboot prompt.
#pragma once

#include <cstdint>

#include "config/command_context.h"
#include "platform/types.h"

// Pause between two status probes while a service stops.
constexpr uint32_t STOP_POLL_INTERVAL_MS = 100;
// Largest number of pauses per service (5 seconds in all).
constexpr uint32_t STOP_POLL_LIMIT = 50;

// Access to the service manager, at every opening.
constexpr uint32_t SC_MANAGER_ACCESS = W32_GENERIC_EXECUTE;
// Access to a service that is to be started.
constexpr uint32_t SERVICE_START_ACCESS = W32_GENERIC_EXECUTE;
// Access to a service that is to be stopped or probed.
constexpr uint32_t SERVICE_STOP_ACCESS =
    W32_GENERIC_EXECUTE | W32_SERVICE_QUERY_STATUS;

// Starts the services listed in the context's setup file in file order. The
// first failure ends the walk and is returned: 5 or 0xF0000009 from the
// service gate, the setup file's code, or the service manager's code.
// Services started before it keep running. 0 when every service started or
// none is listed.
StatusCode start_services(const CommandContext* context);

// Stops the listed services in reverse file order, waiting for each to reach
// the stopped state (at most STOP_POLL_LIMIT pauses of STOP_POLL_INTERVAL_MS).
// A service already stopped is sent no request. A refused stop control or a
// service still running after the wait gives 0xF000000C; other failures as
// for start_services, 0xF0000004 for a line that cannot be fetched.
StatusCode stop_services(const CommandContext* context);

// True only when the platform class allows service control (5, 7, 10) and the
// service named exists and is in the stopped state. Opens and closes its own
// handles.
bool is_service_stopped(const char* name);

// Asks the user to restart the computer: 0 when a restart is under way, 1
// when the user declined, -1 when the prompt failed or nobody could see it.
int32_t prompt_reboot();

// The pause between probes; tests replace it to count pauses without waiting.
typedef void (*ServicePauseFunction)(uint32_t milliseconds);

// Installs pause (null restores the platform's sleep); returns the previous
// function.
ServicePauseFunction set_service_pause(ServicePauseFunction pause);
