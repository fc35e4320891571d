#include "platform/posix/fault.h"

namespace {

struct FaultSlot {
  bool armed;       // whether this point fails at all
  uint32_t nth;     // 1-based number of the call that fails first
  uint32_t calls;   // calls seen since arming
  StatusCode code;  // the code the failing calls return
  bool repeat;      // every call from the nth on fails
};

FaultSlot g_slots[static_cast<int>(FaultPoint::kCount)];

}  // namespace

void fault_arm(FaultPoint point, uint32_t nth, StatusCode code, bool repeat) {
  int index = static_cast<int>(point);
  if (index < 0 || index >= static_cast<int>(FaultPoint::kCount)) return;
  g_slots[index] = FaultSlot{true, nth == 0 ? 1 : nth, 0, code, repeat};
}

void fault_clear() {
  for (FaultSlot& slot : g_slots) slot = FaultSlot{};
}

StatusCode fault_hit(FaultPoint point) {
  int index = static_cast<int>(point);
  if (index < 0 || index >= static_cast<int>(FaultPoint::kCount)) return 0;
  FaultSlot& slot = g_slots[index];
  if (!slot.armed) return 0;
  slot.calls++;
  if (slot.calls == slot.nth) {
    if (!slot.repeat) slot.armed = false;
    return slot.code;
  }
  if (slot.repeat && slot.calls > slot.nth) return slot.code;
  return 0;
}
