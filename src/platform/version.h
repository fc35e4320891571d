// The platform's version record and the administrator question.
#pragma once

#include <cstdint>

struct PlatformVersion {
  uint32_t platform_id;     // 1 Windows 9x family, 2 NT family
  uint32_t major;
  uint32_t minor;
  char service_pack[128];   // CSDVersion text
};

#include "platform/types.h"

// GetVersionExA: fills *out; 0, or the code of the failed query.
StatusCode platform_get_version(PlatformVersion* out);

// IsUserAdmin: true when the caller holds administrator rights.
bool platform_is_user_admin();
