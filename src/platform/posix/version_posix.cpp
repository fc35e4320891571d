// Platform version and administrator question on POSIX. The version record is
// read from the store at HKLM\System\Platform (NT 5.1 where the key or a
// value is missing; a key or value that exists but cannot be read fails the
// query); the administrator is whoever may write the store.
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
// a string or too long. The failure of a read that could not tell.
StatusCode read_text(RegKey key, const char* name, char* text,
                     uint32_t capacity) {
  uint32_t type = 0;
  uint32_t size = capacity;
  std::memset(text, 0, capacity);
  StatusCode status = reg_query_value(key, name, &type, text, &size);
  if (status != W32_ERROR_SUCCESS || type != W32_REG_SZ) {
    std::memset(text, 0, capacity);
  }
  text[capacity - 1] = '\0';
  bool answered = status == W32_ERROR_SUCCESS ||
                  status == W32_ERROR_FILE_NOT_FOUND ||
                  status == W32_ERROR_MORE_DATA;
  return answered ? W32_ERROR_SUCCESS : status;
}

// Reads the values of the open version record into out, each keeping the
// default already there when absent.
StatusCode read_record(RegKey key, PlatformVersion* out) {
  StatusCode status = store_read_dword_or(key, "PlatformId", out->platform_id,
                                          &out->platform_id);
  if (status == W32_ERROR_SUCCESS) {
    status = store_read_dword_or(key, "MajorVersion", out->major, &out->major);
  }
  if (status == W32_ERROR_SUCCESS) {
    status = store_read_dword_or(key, "MinorVersion", out->minor, &out->minor);
  }
  if (status == W32_ERROR_SUCCESS) {
    status = read_text(key, "CSDVersion", out->service_pack,
                       static_cast<uint32_t>(sizeof(out->service_pack)));
  }
  return status;
}

}  // namespace

StatusCode platform_get_version(PlatformVersion* out) {
  StatusCode status = fault_hit(FaultPoint::kVersionGet, nullptr);
  if (status != W32_ERROR_SUCCESS) return status;
  if (out == nullptr) return W32_ERROR_INVALID_PARAMETER;
  out->platform_id = W32_VER_PLATFORM_WIN32_NT;
  out->major = 5;
  out->minor = 1;
  std::memset(out->service_pack, 0, sizeof(out->service_pack));
  RegKey key = nullptr;
  status = reg_open_key(reg_local_machine(), kPlatformKeyPath,
                        W32_KEY_QUERY_VALUE, &key);
  if (status == W32_ERROR_FILE_NOT_FOUND) return W32_ERROR_SUCCESS;
  if (status != W32_ERROR_SUCCESS) return status;
  status = read_record(key, out);
  reg_close_key(key);
  return status;
}

bool platform_is_user_admin() {
  if (fault_hit(FaultPoint::kUserAdmin, nullptr) != W32_ERROR_SUCCESS) {
    return false;
  }
  uid_t user = geteuid();
  if (user == 0) return true;
  struct stat info;
  std::string root = platform_root_dir();
  if (stat(root.c_str(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == user;
}
