// Modal dialogs.
#pragma once

#include <cstdint>

#include "platform/types.h"

// MessageBoxA with no owner window; returns 0 when the user has closed the
// box. Where no user can see a box (a window station without WSF_VISIBLE,
// such as session 0 of services and SYSTEM; natively, no controlling
// terminal) it shows none and returns 1459 at once; any other failure to
// show the box returns its code.
StatusCode dialog_message_box(const char* text, const char* title,
                              uint32_t style);

// SetupPromptReboot(no queue, no owner, scan-only false): -1 when the prompt
// failed or no user can see one (as for dialog_message_box),
// W32_SPFILEQ_REBOOT_IN_PROGRESS set when a restart is under way.
int32_t dialog_prompt_reboot();
