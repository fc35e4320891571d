// Fault injection for tests of the POSIX backend: makes the n-th call of an
// operation fail with a given code, so that tests reach error paths a real
// registry rarely takes. Off unless a test arms it.
#pragma once

#include <cstdint>

#include "platform/types.h"

enum class FaultPoint {
  kRegOpen,
  kRegCreate,
  kRegEnumKey,
  kRegEnumValue,
  kRegQuery,
  kRegQuerySubkeyDefault,
  kRegSet,
  kRegDeleteKey,
  kRegDeleteValue,
  kInfRead,  // each read(2) of an INF file's contents
  kCount
};

// The nth (1-based) call at point from now on fails with code; later calls
// succeed again unless repeat is set, in which case every call from the nth
// on fails.
void fault_arm(FaultPoint point, uint32_t nth, StatusCode code,
               bool repeat = false);

// Disarms every point.
void fault_clear();

// Called by the backend at the start of an operation: the code to fail with,
// or 0 to go on.
StatusCode fault_hit(FaultPoint point);
