// Service manager operations (OpenSCManagerA and friends).
#pragma once

#include <cstdint>

#include "platform/types.h"

struct ServiceHandleData;  // defined by the backend
typedef ServiceHandleData* ServiceHandle;

// OpenSCManagerA(local machine, default database, access).
StatusCode svc_open_manager(uint32_t access, ServiceHandle* out);

// OpenServiceA; 1060 for an unknown service.
StatusCode svc_open_service(ServiceHandle manager, const char* name,
                            uint32_t access, ServiceHandle* out);

// StartServiceA with no arguments; 1056 when it already runs.
StatusCode svc_start(ServiceHandle service);

// ControlService(SERVICE_CONTROL_STOP); 1052 when the service refuses it.
StatusCode svc_control_stop(ServiceHandle service);

// QueryServiceStatus: the current state (1 stopped ... 4 running).
StatusCode svc_query_state(ServiceHandle service, uint32_t* state);

// CloseServiceHandle.
void svc_close(ServiceHandle handle);
