// Registry operations over advapi32.
#include "platform/registry.h"
#include "platform/win32/win32_error.h"

namespace {

HKEY to_hkey(RegKey key) { return reinterpret_cast<HKEY>(key); }

RegKey from_hkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

}  // namespace

RegKey reg_local_machine() { return from_hkey(HKEY_LOCAL_MACHINE); }

StatusCode reg_open_key(RegKey parent, const char* path, uint32_t access,
                        RegKey* out) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(to_hkey(parent), path, 0, access, &key);
  if (rc == ERROR_SUCCESS) *out = from_hkey(key);
  return static_cast<StatusCode>(rc);
}

StatusCode reg_create_key(RegKey parent, const char* name, uint32_t access,
                          RegKey* out, uint32_t* disposition) {
  HKEY key = nullptr;
  DWORD created = 0;
  LONG rc = RegCreateKeyExA(to_hkey(parent), name, 0, nullptr, 0, access,
                            nullptr, &key, &created);
  if (rc == ERROR_SUCCESS) {
    *out = from_hkey(key);
    if (disposition != nullptr) *disposition = created;
  }
  return static_cast<StatusCode>(rc);
}

StatusCode reg_enum_key(RegKey key, uint32_t index, char* name,
                        uint32_t* name_len) {
  DWORD len = *name_len;
  LONG rc = RegEnumKeyExA(to_hkey(key), index, name, &len, nullptr, nullptr,
                          nullptr, nullptr);
  *name_len = len;
  return static_cast<StatusCode>(rc);
}

StatusCode reg_enum_value(RegKey key, uint32_t index, char* name,
                          uint32_t* name_len, uint32_t* type, void* data,
                          uint32_t* data_size) {
  DWORD len = *name_len;
  DWORD value_type = 0;
  DWORD size = data_size != nullptr ? *data_size : 0;
  LONG rc = RegEnumValueA(to_hkey(key), index, name, &len, nullptr,
                          type != nullptr ? &value_type : nullptr,
                          static_cast<BYTE*>(data),
                          data_size != nullptr ? &size : nullptr);
  *name_len = len;
  if (type != nullptr) *type = value_type;
  if (data_size != nullptr) *data_size = size;
  return static_cast<StatusCode>(rc);
}

StatusCode reg_query_value(RegKey key, const char* name, uint32_t* type,
                           void* data, uint32_t* data_size) {
  DWORD value_type = 0;
  DWORD size = data_size != nullptr ? *data_size : 0;
  LONG rc = RegQueryValueExA(
      to_hkey(key), name, nullptr, type != nullptr ? &value_type : nullptr,
      static_cast<BYTE*>(data), data_size != nullptr ? &size : nullptr);
  if (type != nullptr) *type = value_type;
  if (data_size != nullptr) *data_size = size;
  return static_cast<StatusCode>(rc);
}

StatusCode reg_query_subkey_default(RegKey key, const char* subkey, char* data,
                                    int32_t* data_size) {
  LONG size = *data_size;
  LONG rc = RegQueryValueA(to_hkey(key), subkey, data, &size);
  *data_size = size;
  return static_cast<StatusCode>(rc);
}

StatusCode reg_set_value(RegKey key, const char* name, uint32_t type,
                         const void* data, uint32_t size) {
  return static_cast<StatusCode>(RegSetValueExA(
      to_hkey(key), name, 0, type, static_cast<const BYTE*>(data), size));
}

StatusCode reg_delete_key(RegKey parent, const char* name) {
  return static_cast<StatusCode>(RegDeleteKeyA(to_hkey(parent), name));
}

StatusCode reg_delete_value(RegKey key, const char* name) {
  return static_cast<StatusCode>(RegDeleteValueA(to_hkey(key), name));
}

void reg_close_key(RegKey key) { RegCloseKey(to_hkey(key)); }

// The writes of a group have landed one by one as they were made.
StatusCode reg_begin_group() { return W32_ERROR_SUCCESS; }

StatusCode reg_end_group() { return W32_ERROR_SUCCESS; }

void reg_abandon_group() {}

// Each read sees the registry as it is at the time of the call.
StatusCode reg_begin_snapshot() { return W32_ERROR_SUCCESS; }

void reg_end_snapshot() {}
