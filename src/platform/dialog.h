// Modal dialogs.
#pragma once

#include <cstdint>

// MessageBoxA with no owner window; returns when the user has closed the box.
// Returns the button pressed, 0 when no box could be shown.
int32_t dialog_message_box(const char* text, const char* title, uint32_t style);

// SetupPromptReboot(no queue, no owner, scan-only false): -1 when the prompt
// failed, W32_SPFILEQ_REBOOT_IN_PROGRESS set when a restart is under way.
int32_t dialog_prompt_reboot();
