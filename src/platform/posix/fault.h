// Fault injection for tests of the POSIX backend: makes a chosen call of a
// platform operation fail with a given code, so that tests reach error paths
// a real system rarely takes. Off unless a test arms it.
//
// It exists only in the test build of the platform library, compiled with
// ZEB_FAULT_INJECTION (the unit tests and fuzz harnesses link that one). In
// the library the programs ship with, fault_hit is an inline no-op and the
// rest of this interface is not declared, so that no trace of it remains.
//
// Every POSIX platform operation calls fault_hit at its start with its point
// and its subject (the key path or value name of a registry call, the SQL of
// a store statement, the section of an INF lookup, the service name, ...).
// A call is chosen either by point (the nth call at a point, optionally only
// among those with a given subject) or by a countdown over all points (the
// nth platform call of any kind). An operation whose contract returns a bool
// or an int fails the way that contract says it fails.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

enum class FaultPoint {
  kRegOpen,                // subject: the path opened
  kRegCreate,              // the path created
  kRegEnumKey,             // the path the key was opened by
  kRegEnumValue,           // the path the key was opened by
  kRegQuery,               // the value name ("" for the default value)
  kRegQuerySubkeyDefault,  // the subkey
  kRegSet,                 // the value name
  kRegDeleteKey,           // the path deleted
  kRegDeleteValue,         // the value name
  kRegBeginGroup,          // ""
  kRegEndGroup,            // ""
  kRegBeginSnapshot,       // ""
  kStoreStep,              // the SQL text of a store statement
  kStoreBegin,             // "BEGIN IMMEDIATE" or "SAVEPOINT nested"
  kStoreCommit,            // "COMMIT" or "RELEASE nested"
  kInfOpen,                // the file name as given
  kInfRead,                // the file name; each read(2) of its contents
  kInfFindFirstLine,       // the section, or "section:key" for a key
  kInfFindNextLine,        // the section
  kInfLineByIndex,         // the section
  kInfLineCount,           // the section; fails as -1
  kInfStringField,         // the section of the line
  kInfIntField,            // the section of the line
  kSvcOpenManager,         // ""
  kSvcOpenService,         // the service name
  kSvcStart,               // the service name
  kSvcControlStop,         // the service name
  kSvcQueryState,          // the service name
  kProcessStart,           // the command line
  kProcessWait,            // ""; fails by returning without waiting
  kProcessExitCode,        // ""; fails as false
  kDialogMessageBox,       // the text; no box
  kDialogPromptReboot,     // ""; fails as -1
  kVersionGet,             // ""; fails as false
  kUserAdmin,              // ""; fails as false, not an administrator
  kLockAcquire,            // the lock's name
  kCount
};

#ifdef ZEB_FAULT_INJECTION

// What fired: the point and subject of the failed call, and the operation it
// belongs to: the most recent call at an operation-level point (registry,
// INF, service, ...), which is the failed call itself unless that is a store
// statement or an INF read, whose operation is the call that made it.
struct FaultRecord {
  FaultPoint point;
  std::string subject;
  FaultPoint within;
  std::string within_subject;
  uint64_t call;  // number of the failed call among all calls since arming
};

// The nth (1-based) call at point from now on fails with code; later calls
// succeed again unless repeat is set, in which case every call from the nth
// on fails. Replaces what was armed at point before.
void fault_arm(FaultPoint point, uint32_t nth, StatusCode code,
               bool repeat = false);

// As fault_arm, counting only the calls whose subject matches subject: equal
// with A-Z folded, or, when subject ends in '*', beginning with the text
// before it.
void fault_arm_subject(FaultPoint point, const char* subject, StatusCode code,
                       uint32_t nth = 1, bool repeat = false);

// The nth (1-based) platform call from now on, at any point, fails with code;
// the calls after it succeed.
void fault_countdown(uint32_t nth, StatusCode code);

// Disarms every point and the countdown and forgets what fired.
void fault_clear();

// True when a fault has fired since the last fault_clear; the last one fired
// goes into *record (which may be null).
bool fault_fired(FaultRecord* record);

// The name of point, such as "reg_set_value", for messages.
const char* fault_point_name(FaultPoint point);

// Called by the backend at the start of an operation: the code to fail with,
// or 0 to go on. subject may be null (read as "").
StatusCode fault_hit(FaultPoint point, const char* subject);

// The subject that a handle names its later calls by (a registry key's path
// below HKEY_LOCAL_MACHINE, as opened).
struct FaultSubject {
  std::string text;
  const char* c_str() const { return text.c_str(); }
};

// The subject of path opened below the key whose subject is parent.
FaultSubject fault_subject_below(const FaultSubject& parent, const char* path);

// The subject "first:second", or first alone when second is null.
FaultSubject fault_subject_pair(const char* first, const char* second);

#else

inline StatusCode fault_hit(FaultPoint, const char*) {
  return W32_ERROR_SUCCESS;
}

struct FaultSubject {
  const char* c_str() const { return ""; }
};

inline FaultSubject fault_subject_below(const FaultSubject&, const char*) {
  return FaultSubject();
}

inline FaultSubject fault_subject_pair(const char*, const char*) {
  return FaultSubject();
}

#endif  // ZEB_FAULT_INJECTION
