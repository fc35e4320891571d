#include "platform/posix/live_handles.h"

#include <cstddef>

namespace {

int64_t g_live[static_cast<int>(LiveHandle::kCount)];

bool valid_kind(LiveHandle kind) {
  int index = static_cast<int>(kind);
  return index >= 0 && index < static_cast<int>(LiveHandle::kCount);
}

}  // namespace

void live_handle_made(LiveHandle kind) {
  if (valid_kind(kind)) ++g_live[static_cast<int>(kind)];
}

void live_handle_released(LiveHandle kind) {
  if (valid_kind(kind)) --g_live[static_cast<int>(kind)];
}

int64_t live_handle_count(LiveHandle kind) {
  return valid_kind(kind) ? g_live[static_cast<int>(kind)] : 0;
}

const char* live_handle_name(LiveHandle kind) {
  static const char* const kNames[] = {
      "registry key", "INF handle", "service handle", "process handle", "lock"};
  static_assert(sizeof(kNames) / sizeof(kNames[0]) ==
                    static_cast<size_t>(LiveHandle::kCount),
                "a name for every kind of handle");
  return valid_kind(kind) ? kNames[static_cast<int>(kind)] : "?";
}
