// Platform version and administrator question on POSIX. The version record is
// read from the store at HKLM\System\Platform (NT 5.1 where a value is
// missing); the administrator is whoever may write the store.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/posix/fault.h"
#include "platform/posix/root_dir.h"
#include "platform/posix/store_keys.h"
#include "platform/posix/store_values.h"
#include "platform/registry.h"
#include "platform/version.h"

namespace {

// Reads a REG_SZ value into text (capacity bytes); "" when it is absent, not
// a string or too long.
void read_text(RegKey key, const char* name, char* text, uint32_t capacity) {
  uint32_t type = 0;
  uint32_t size = capacity;
  std::memset(text, 0, capacity);
  if (reg_query_value(key, name, &type, text, &size) != W32_ERROR_SUCCESS ||
      type != W32_REG_SZ) {
    std::memset(text, 0, capacity);
  }
  text[capacity - 1] = '\0';
}

}  // namespace

bool platform_get_version(PlatformVersion* out) {
  if (fault_hit(FaultPoint::kVersionGet, nullptr) != W32_ERROR_SUCCESS) {
    return false;
  }
  if (out == nullptr) return false;
  out->platform_id = W32_VER_PLATFORM_WIN32_NT;
  out->major = 5;
  out->minor = 1;
  std::memset(out->service_pack, 0, sizeof(out->service_pack));
  RegKey key = nullptr;
  if (reg_open_key(reg_local_machine(), kPlatformKeyPath, W32_KEY_QUERY_VALUE,
                   &key) != W32_ERROR_SUCCESS) {
    return true;
  }
  out->platform_id = store_read_dword(key, "PlatformId", out->platform_id);
  out->major = store_read_dword(key, "MajorVersion", out->major);
  out->minor = store_read_dword(key, "MinorVersion", out->minor);
  read_text(key, "CSDVersion", out->service_pack,
            static_cast<uint32_t>(sizeof(out->service_pack)));
  reg_close_key(key);
  return true;
}

bool platform_is_user_admin() {
  if (fault_hit(FaultPoint::kUserAdmin, nullptr) != W32_ERROR_SUCCESS) {
    return false;
  }
  uid_t user = geteuid();
  if (user == 0) return true;
  struct stat info;
  std::string root = posix_root_dir();
  if (stat(root.c_str(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == user;
}
