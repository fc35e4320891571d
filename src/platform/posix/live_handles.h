// Counts of the handles the POSIX backend has made and not yet released, so
// that tests can check that every path releases what it opened. The key
// HKEY_LOCAL_MACHINE is never counted.
//
// Like fault injection (fault.h), the counts exist only in the test build of
// the platform library (ZEB_FAULT_INJECTION); elsewhere the backend's calls
// below are inline no-ops and nothing is counted.
#pragma once

#include <cstdint>

enum class LiveHandle {
  kRegKey,   // reg_open_key, reg_create_key / reg_close_key
  kInf,      // inf_open / inf_close
  kService,  // svc_open_manager, svc_open_service / svc_close
  kProcess,  // process_start / process_close
  kLock,     // each lock_acquire / lock_release
  kCount
};

#ifdef ZEB_FAULT_INJECTION

// Counts one handle of kind made.
void live_handle_made(LiveHandle kind);

// Counts one handle of kind released.
void live_handle_released(LiveHandle kind);

// Handles of kind made and not yet released by this process.
int64_t live_handle_count(LiveHandle kind);

// The name of kind, such as "registry key", for messages.
const char* live_handle_name(LiveHandle kind);

#else

inline void live_handle_made(LiveHandle) {}

inline void live_handle_released(LiveHandle) {}

#endif  // ZEB_FAULT_INJECTION
