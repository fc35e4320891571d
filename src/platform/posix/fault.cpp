#include "platform/posix/fault.h"

#include "platform/fold.h"

namespace {

struct FaultSlot {
  bool armed;           // whether this point fails at all
  bool any_subject;     // count every call, whatever its subject
  std::string subject;  // else only calls whose subject matches this
  uint32_t nth;         // 1-based number of the call that fails first
  uint32_t calls;       // matching calls seen since arming
  StatusCode code;      // the code the failing calls return
  bool repeat;          // every matching call from the nth on fails
};

struct Countdown {
  bool armed;
  uint64_t nth;     // 1-based number of the call that fails
  StatusCode code;  // the code it fails with
};

struct FaultState {
  FaultSlot slots[static_cast<int>(FaultPoint::kCount)];
  Countdown countdown;
  int armed;          // armed slots plus an armed countdown
  uint64_t calls;     // calls at any point since arming
  FaultPoint within;  // last operation-level call
  std::string within_subject;
  bool fired;
  FaultRecord last;  // valid when fired
};

FaultState g_fault;

bool valid_point(FaultPoint point) {
  int index = static_cast<int>(point);
  return index >= 0 && index < static_cast<int>(FaultPoint::kCount);
}

// Store statements and file reads run inside an operation; every other point
// is an operation of its own.
bool is_operation_level(FaultPoint point) {
  return point != FaultPoint::kStoreStep && point != FaultPoint::kStoreBegin &&
         point != FaultPoint::kStoreCommit && point != FaultPoint::kInfRead;
}

bool subject_matches(const std::string& pattern, const char* subject) {
  bool prefix = !pattern.empty() && pattern.back() == '*';
  size_t length = prefix ? pattern.size() - 1 : pattern.size();
  size_t i = 0;
  for (; i < length; ++i) {
    if (subject[i] == '\0' ||
        fold_letter(subject[i]) != fold_letter(pattern[i])) {
      return false;
    }
  }
  return prefix || subject[i] == '\0';
}

void count_armed() {
  g_fault.armed = g_fault.countdown.armed ? 1 : 0;
  for (const FaultSlot& slot : g_fault.slots) g_fault.armed += slot.armed;
}

void arm_slot(FaultPoint point, const char* subject, uint32_t nth,
              StatusCode code, bool repeat) {
  if (!valid_point(point)) return;
  if (g_fault.armed == 0) g_fault.calls = 0;
  g_fault.slots[static_cast<int>(point)] =
      FaultSlot{true,
                subject == nullptr,
                subject != nullptr ? subject : "",
                nth == 0 ? 1 : nth,
                0,
                code,
                repeat};
  count_armed();
}

// Whether the slot of point fails this call.
bool slot_fails(FaultSlot* slot, const char* subject) {
  if (!slot->armed) return false;
  if (!slot->any_subject && !subject_matches(slot->subject, subject)) {
    return false;
  }
  slot->calls++;
  if (slot->calls == slot->nth) {
    if (!slot->repeat) {
      slot->armed = false;
      count_armed();
    }
    return true;
  }
  return slot->repeat && slot->calls > slot->nth;
}

StatusCode fire(FaultPoint point, const char* subject, StatusCode code) {
  g_fault.fired = true;
  g_fault.last = FaultRecord{point, subject, g_fault.within,
                             g_fault.within_subject, g_fault.calls};
  return code;
}

}  // namespace

void fault_arm(FaultPoint point, uint32_t nth, StatusCode code, bool repeat) {
  arm_slot(point, nullptr, nth, code, repeat);
}

void fault_arm_subject(FaultPoint point, const char* subject, StatusCode code,
                       uint32_t nth, bool repeat) {
  arm_slot(point, subject != nullptr ? subject : "", nth, code, repeat);
}

void fault_countdown(uint32_t nth, StatusCode code) {
  g_fault.countdown = Countdown{true, nth == 0 ? 1u : nth, code};
  g_fault.calls = 0;
  count_armed();
}

void fault_clear() { g_fault = FaultState(); }

bool fault_fired(FaultRecord* record) {
  if (g_fault.fired && record != nullptr) *record = g_fault.last;
  return g_fault.fired;
}

const char* fault_point_name(FaultPoint point) {
  static const char* const kNames[] = {"reg_open_key",
                                       "reg_create_key",
                                       "reg_enum_key",
                                       "reg_enum_value",
                                       "reg_query_value",
                                       "reg_query_subkey_default",
                                       "reg_set_value",
                                       "reg_delete_key",
                                       "reg_delete_value",
                                       "reg_begin_group",
                                       "reg_end_group",
                                       "reg_begin_snapshot",
                                       "store step",
                                       "store begin",
                                       "store commit",
                                       "inf_open",
                                       "INF file read",
                                       "inf_find_first_line",
                                       "inf_find_next_line",
                                       "inf_get_line_by_index",
                                       "inf_get_line_count",
                                       "inf_get_string_field",
                                       "inf_get_int_field",
                                       "svc_open_manager",
                                       "svc_open_service",
                                       "svc_start",
                                       "svc_control_stop",
                                       "svc_query_state",
                                       "process_start",
                                       "process_wait",
                                       "process_exit_code",
                                       "dialog_message_box",
                                       "dialog_prompt_reboot",
                                       "platform_get_version",
                                       "platform_is_user_admin",
                                       "lock_acquire"};
  static_assert(sizeof(kNames) / sizeof(kNames[0]) ==
                    static_cast<size_t>(FaultPoint::kCount),
                "a name for every fault point");
  return valid_point(point) ? kNames[static_cast<int>(point)] : "?";
}

StatusCode fault_hit(FaultPoint point, const char* subject) {
  if (g_fault.armed == 0 || !valid_point(point)) return 0;
  if (subject == nullptr) subject = "";
  g_fault.calls++;
  StatusCode code = 0;
  bool fails = false;
  Countdown& countdown = g_fault.countdown;
  if (countdown.armed && g_fault.calls == countdown.nth) {
    countdown.armed = false;
    count_armed();
    code = countdown.code;
    fails = true;
  }
  FaultSlot* slot = &g_fault.slots[static_cast<int>(point)];
  if (slot_fails(slot, subject) && !fails) {
    code = slot->code;
    fails = true;
  }
  if (is_operation_level(point)) {
    g_fault.within = point;
    g_fault.within_subject = subject;
  }
  return fails ? fire(point, subject, code) : 0;
}

FaultSubject fault_subject_below(const FaultSubject& parent, const char* path) {
  FaultSubject subject = parent;
  if (path != nullptr && *path != '\0') {
    if (!subject.text.empty()) subject.text += '\\';
    subject.text += path;
  }
  return subject;
}

FaultSubject fault_subject_pair(const char* first, const char* second) {
  FaultSubject subject;
  subject.text = first != nullptr ? first : "";
  if (second != nullptr) subject.text = subject.text + ":" + second;
  return subject;
}
