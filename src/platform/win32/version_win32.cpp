// Platform version and administrator question over kernel32 and setupapi.
#include <cstring>

#include "platform/version.h"
#include "platform/win32/win32_error.h"

// Exported by setupapi but not declared by the mingw-w64 headers.
extern "C" __declspec(dllimport) BOOL WINAPI IsUserAdmin(void);

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");
static_assert(sizeof(PlatformVersion::service_pack) ==
                  sizeof(OSVERSIONINFOA::szCSDVersion),
              "service-pack text mirrors szCSDVersion");

StatusCode platform_get_version(PlatformVersion* out) {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof(info));
  info.dwOSVersionInfoSize = 148;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // GetVersionExA is marked deprecated.
#endif
  if (!GetVersionExA(&info)) return last_error();
  out->platform_id = info.dwPlatformId;
  out->major = info.dwMajorVersion;
  out->minor = info.dwMinorVersion;
  std::memcpy(out->service_pack, info.szCSDVersion, sizeof(out->service_pack));
  out->service_pack[sizeof(out->service_pack) - 1] = '\0';
  return W32_ERROR_SUCCESS;
}

bool platform_is_user_admin() { return IsUserAdmin() != FALSE; }
