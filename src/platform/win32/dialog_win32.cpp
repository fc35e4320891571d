// Modal dialogs over user32 and setupapi.
#include "platform/dialog.h"
#include "platform/win32/win32_error.h"

int32_t dialog_message_box(const char* text, const char* title,
                           uint32_t style) {
  return MessageBoxA(nullptr, text, title, style);
}

int32_t dialog_prompt_reboot() {
  return SetupPromptReboot(nullptr, nullptr, FALSE);
}
