// Modal dialogs over user32 and setupapi, shown only on a visible window
// station: on another one nobody could close them.
#include "platform/dialog.h"
#include "platform/win32/win32_error.h"

namespace {

// 0 when the process's window station is visible to a user; 1459 when it
// is not, or the code of the query that failed.
StatusCode check_station_visible() {
  HWINSTA station = GetProcessWindowStation();  // not to be closed
  if (station == nullptr) return last_error();
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  if (!GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags,
                                 &needed)) {
    return last_error();
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0
             ? W32_ERROR_SUCCESS
             : W32_ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION;
}

}  // namespace

StatusCode dialog_message_box(const char* text, const char* title,
                              uint32_t style) {
  StatusCode status = check_station_visible();
  if (status != W32_ERROR_SUCCESS) return status;
  // Windows answers a box it could not show with 0, Wine with -1.
  SetLastError(ERROR_SUCCESS);
  if (MessageBoxA(nullptr, text, title, style) <= 0) return last_error();
  return W32_ERROR_SUCCESS;
}

int32_t dialog_prompt_reboot() {
  if (check_station_visible() != W32_ERROR_SUCCESS) return -1;
  return SetupPromptReboot(nullptr, nullptr, FALSE);
}
