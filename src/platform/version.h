// The platform's version record and the administrator question.
#pragma once

#include <cstdint>

struct PlatformVersion {
  uint32_t platform_id;     // 1 Windows 9x family, 2 NT family
  uint32_t major;
  uint32_t minor;
  char service_pack[128];   // CSDVersion text
};

// GetVersionExA: fills *out; false when the query fails.
bool platform_get_version(PlatformVersion* out);

// IsUserAdmin: true when the caller holds administrator rights.
bool platform_is_user_admin();
