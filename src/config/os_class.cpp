#include "config/os_class.h"

#include "config/status_codes.h"
#include "platform/registry.h"

namespace {

constexpr OsClass CLASS_WIN95 = 1;
constexpr OsClass CLASS_WIN95_OSR2 = 2;
constexpr OsClass CLASS_WIN95_OSR21 = 3;
constexpr OsClass CLASS_WIN98 = 4;
constexpr OsClass CLASS_NT_ADMIN = 5;
constexpr OsClass CLASS_NT_USER = 6;
constexpr OsClass CLASS_W2K_ADMIN = 7;
constexpr OsClass CLASS_W2K_USER = 8;
constexpr OsClass CLASS_WINME = 9;
constexpr OsClass CLASS_XP_ADMIN = 10;
constexpr OsClass CLASS_XP_USER = 11;
constexpr OsClass CLASS_OTHER = 100;

bool is_osr2_letter(char letter) {
  return letter == 'B' || letter == 'b' || letter == 'C' || letter == 'c';
}

OsClass classify_nt(const PlatformVersion& version, bool (*is_admin)()) {
  if (version.major != 5) return is_admin() ? CLASS_NT_ADMIN : CLASS_NT_USER;
  if (version.minor == 0) return is_admin() ? CLASS_W2K_ADMIN : CLASS_W2K_USER;
  if (version.minor == 1) return is_admin() ? CLASS_XP_ADMIN : CLASS_XP_USER;
  return CLASS_OTHER;
}

OsClass classify_9x(const PlatformVersion& version, bool (*osr21_present)()) {
  switch (version.minor) {
    case 0: {
      char letter =
          version.service_pack[0] != '\0' ? version.service_pack[1] : '\0';
      if (!is_osr2_letter(letter)) return CLASS_WIN95;
      return osr21_present() ? CLASS_WIN95_OSR21 : CLASS_WIN95_OSR2;
    }
    case 10:
      return CLASS_WIN98;
    case 90:
      return CLASS_WINME;
    default:
      return CLASS_OTHER;
  }
}

bool osr21_key_opens() {
  RegKey key = nullptr;
  if (reg_open_key(reg_local_machine(), OSR21_KEY_PATH, W32_KEY_QUERY_VALUE,
                   &key) != 0) {
    return false;
  }
  reg_close_key(key);
  return true;
}

}  // namespace

OsClass classify_version(const PlatformVersion* version, bool (*is_admin)(),
                         bool (*osr21_present)()) {
  if (version == nullptr || version->major < 4) return CLASS_OTHER;
  if (version->platform_id == W32_VER_PLATFORM_WIN32_NT) {
    return classify_nt(*version, is_admin);
  }
  if (version->platform_id != W32_VER_PLATFORM_WIN32_WINDOWS) {
    return CLASS_OTHER;
  }
  return classify_9x(*version, osr21_present);
}

OsClass classify_platform() {
  OsClass os_class = CLASS_OTHER;
  get_os_class(&os_class);
  return os_class;
}

StatusCode get_os_class(OsClass* out) {
  if (out == nullptr) return W32_ERROR_INVALID_PARAMETER;
  PlatformVersion version{};
  StatusCode status = platform_get_version(&version);
  version.service_pack[sizeof version.service_pack - 1] = '\0';
  *out = classify_version(status == 0 ? &version : nullptr,
                          platform_is_user_admin, osr21_key_opens);
  return status;
}

bool is_admin_class(OsClass os_class) {
  return os_class == CLASS_NT_ADMIN || os_class == CLASS_W2K_ADMIN ||
         os_class == CLASS_XP_ADMIN;
}

static bool is_user_class(OsClass os_class) {
  return os_class == CLASS_NT_USER || os_class == CLASS_W2K_USER ||
         os_class == CLASS_XP_USER;
}

StatusCode check_write_access() {
  return is_user_class(classify_platform()) ? W32_ERROR_ACCESS_DENIED : 0;
}

StatusCode check_service_access() {
  OsClass os_class = classify_platform();
  if (is_admin_class(os_class)) return 0;
  if (is_user_class(os_class)) return W32_ERROR_ACCESS_DENIED;
  return STATUS_OS;
}
