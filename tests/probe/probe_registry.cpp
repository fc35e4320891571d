// zebprobe reg: the fixed registry scenario below HKLM\Software\ZebProbe,
// which it creates and removes, printing what each operation returns.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/registry.h"
#include "platform/registry_tree.h"
#include "probe.h"

namespace {

const char kProbeRoot[] = "Software\\ZebProbe";

// Whether the out-parameters of a registry read are defined after status:
// on success and on 234 (data or name too long); otherwise they are left
// to the backend.
bool reports_sizes(StatusCode status) {
  return status == 0 || status == W32_ERROR_MORE_DATA;
}

void print_status(const char* what, StatusCode status) {
  std::printf("%s -> 0x%x\n", what, status);
}

RegKey create_key(RegKey parent, const char* name) {
  RegKey key = nullptr;
  uint32_t disposition = 0;
  StatusCode status =
      reg_create_key(parent, name, W32_KEY_ALL_ACCESS, &key, &disposition);
  std::printf("create %s -> 0x%x disposition=%u\n", name, status,
              status == 0 ? disposition : 0);
  return status == 0 ? key : nullptr;
}

void set_string(RegKey key, const char* name, const char* text) {
  StatusCode status =
      reg_set_value(key, name, W32_REG_SZ, text,
                    static_cast<uint32_t>(std::strlen(text) + 1));
  std::printf("set %s -> 0x%x\n", name == nullptr ? "(default)" : name, status);
}

void set_dword(RegKey key, const char* name, uint32_t number) {
  StatusCode status = reg_set_value(key, name, W32_REG_DWORD, &number, 4);
  std::printf("set %s -> 0x%x\n", name, status);
}

void enum_keys(RegKey key, uint32_t capacity) {
  for (uint32_t index = 0;; ++index) {
    char name[300];
    std::memset(name, '#', sizeof name);
    uint32_t length = capacity;
    StatusCode status = reg_enum_key(key, index, name, &length);
    std::printf("enum_key %u cap=%u -> 0x%x", index, capacity, status);
    if (status == 0) {
      std::printf(" len=%u ", length);
      print_text(name);
    }
    std::putchar('\n');
    if ((status != 0 && status != W32_ERROR_MORE_DATA) || index > 20) return;
  }
}

void enum_value(RegKey key, uint32_t index, uint32_t name_capacity,
                uint32_t data_capacity) {
  char name[300];
  unsigned char data[300];
  std::memset(name, '#', sizeof name);
  std::memset(data, '#', sizeof data);
  uint32_t name_len = name_capacity;
  uint32_t type = 0xFFFF;
  uint32_t data_size = data_capacity;
  StatusCode status =
      reg_enum_value(key, index, name, &name_len, &type, data, &data_size);
  std::printf("enum_value %u cap=%u/%u -> 0x%x", index, name_capacity,
              data_capacity, status);
  if (reports_sizes(status)) {
    std::printf(" name_len=%u type=%u data_size=%u", name_len, type, data_size);
  }
  if (status == 0) {
    std::putchar(' ');
    print_text(name);
  }
  std::putchar('\n');
}

// Value number index with neither type nor data: only the sizes.
void enum_value_sizes(RegKey key, uint32_t index) {
  char name[300];
  uint32_t name_len = sizeof name;
  uint32_t data_size = 0xFFFF;
  StatusCode status =
      reg_enum_value(key, index, name, &name_len, nullptr, nullptr, &data_size);
  std::printf("enum_value %u sizes only -> 0x%x name_len=%u data_size=%u\n",
              index, status, name_len, data_size);
}

void enum_values(RegKey key) {
  for (uint32_t index = 0;; ++index) {
    char name[300];
    unsigned char data[300];
    uint32_t name_len = sizeof name;
    uint32_t type = 0;
    uint32_t data_size = sizeof data;
    StatusCode status =
        reg_enum_value(key, index, name, &name_len, &type, data, &data_size);
    std::printf("enum_value %u -> 0x%x", index, status);
    if (status == 0) {
      std::printf(" type=%u size=%u len=%u ", type, data_size, name_len);
      print_text(name);
    }
    std::putchar('\n');
    if (status != 0 || index > 20) return;
  }
}

void query_value(RegKey key, const char* name, bool with_data,
                 uint32_t capacity) {
  unsigned char data[300];
  std::memset(data, 0, sizeof data);
  uint32_t type = 0xFFFF;
  uint32_t size = capacity;
  StatusCode status =
      reg_query_value(key, name, &type, with_data ? data : nullptr, &size);
  std::printf("query %s data=%d cap=%u -> 0x%x",
              name == nullptr ? "(default)" : name, with_data ? 1 : 0, capacity,
              status);
  if (reports_sizes(status)) std::printf(" type=%u size=%u", type, size);
  if (status == 0 && with_data && type == W32_REG_SZ) {
    std::putchar(' ');
    print_text(reinterpret_cast<char*>(data));
  }
  std::putchar('\n');
}

void query_subkey_default(RegKey key, const char* subkey, int32_t capacity) {
  char data[300];
  std::memset(data, 0, sizeof data);
  int32_t size = capacity;
  StatusCode status = reg_query_subkey_default(key, subkey, data, &size);
  std::printf("query_default %s cap=%d -> 0x%x",
              subkey == nullptr ? "-" : subkey, capacity, status);
  if (reports_sizes(status)) std::printf(" size=%d", size);
  if (status == 0) {
    std::putchar(' ');
    print_text(data);
  }
  std::putchar('\n');
}

// Subkeys and values in mixed case, for the enumeration order.
void fill_probe_key(RegKey root) {
  const char* subkeys[] = {"beta",
                           "Alpha",
                           "gamma",
                           "ALPHA2",
                           "zeb_dev_10",
                           "zeb_dev_9",
                           "Zeb_Dev_1",
                           "zebdev",
                           "Z[x]",
                           "a_very_long_subkey_name",
                           "sixteen_chars_ab",
                           "seventeen_chars_a"};
  for (const char* name : subkeys) {
    RegKey key = create_key(root, name);
    if (key != nullptr) reg_close_key(key);
  }
  RegKey again = create_key(root, "ALPHA");
  if (again != nullptr) reg_close_key(again);
  RegKey nested = create_key(root, "Deep\\Er\\Est");
  if (nested != nullptr) reg_close_key(nested);

  set_string(root, "b", "second");
  set_string(root, "A", "first");
  set_string(root, "c_x", "under");
  set_string(root, "C", "");
  set_dword(root, "Zed", 0x12345678);
  set_string(root, "_low", "underscore");
  set_string(root, nullptr, "default text");
  set_string(root, "a", "replaced");
}

void probe_enumeration(RegKey root) {
  enum_keys(root, 300);
  std::printf("-- 17-character buffer\n");
  enum_keys(root, 17);
  enum_values(root);
  std::printf("-- value sizes\n");
  enum_value(root, 1, 300, 3);
  enum_value(root, 1, 2, 300);
  enum_value(root, 1, 1, 300);
  enum_value(root, 0, 300, 0);
  enum_value(root, 99, 300, 300);
  enum_value_sizes(root, 2);
  enum_value_sizes(root, 6);
}

void probe_queries(RegKey root) {
  query_value(root, "A", true, 300);
  query_value(root, "a", false, 0);
  query_value(root, "A", true, 3);
  query_value(root, "A", true, 0);
  query_value(root, "Zed", true, 300);
  query_value(root, "Zed", true, 2);
  query_value(root, "ZED", false, 0);
  query_value(root, "missing", true, 300);
  query_value(root, nullptr, true, 300);
  query_value(root, "", true, 300);
  query_value(root, "C", true, 300);

  RegKey beta = nullptr;
  print_status("open beta",
               reg_open_key(root, "BETA", W32_KEY_ALL_ACCESS, &beta));
  if (beta != nullptr) {
    set_string(beta, nullptr, "beta default");
    reg_close_key(beta);
  }
  query_subkey_default(root, "Beta", 300);
  query_subkey_default(root, "beta", 5);
  query_subkey_default(root, "gamma", 300);
  query_subkey_default(root, "nokey", 300);
  query_subkey_default(root, nullptr, 300);
  query_subkey_default(root, "", 300);
}

void probe_access(RegKey root) {
  RegKey reader = nullptr;
  StatusCode status =
      reg_open_key(reg_local_machine(), kProbeRoot, W32_KEY_READ, &reader);
  print_status("open read", status);
  if (status != 0) return;
  set_string(reader, "w", "denied");
  print_status("delete_value via read", reg_delete_value(reader, "A"));
  query_value(reader, "b", true, 300);
  RegKey created = create_key(reader, "newsub");
  if (created != nullptr) reg_close_key(created);
  created = create_key(reader, "BETA");
  if (created != nullptr) reg_close_key(created);
  print_status("delete_key via read", reg_delete_key(reader, "zebdev"));
  reg_close_key(reader);

  RegKey missing = nullptr;
  print_status("open missing",
               reg_open_key(root, "nokey", W32_KEY_READ, &missing));
  print_status("open nested",
               reg_open_key(root, "deep\\er", W32_KEY_READ, &missing));
  if (missing != nullptr) reg_close_key(missing);
  print_status("delete_value missing", reg_delete_value(root, "missing"));
  print_status("delete_value b", reg_delete_value(root, "b"));
  print_status("delete_value b again", reg_delete_value(root, "b"));
  print_status("delete_key with subkeys", reg_delete_key(root, "Deep"));
  print_status("delete_key missing", reg_delete_key(root, "nokey"));
  print_status("delete_key gamma", reg_delete_key(root, "GAMMA"));
  enum_keys(root, 300);
  enum_values(root);
}

void open_path(RegKey parent, const char* path) {
  RegKey key = nullptr;
  StatusCode status = reg_open_key(parent, path, W32_KEY_READ, &key);
  std::printf("open [%s] -> 0x%x\n", escaped(path).c_str(), status);
  if (status == 0) reg_close_key(key);
}

// Path forms: separators at either end or doubled, empty paths, long names.
void probe_paths(RegKey root) {
  open_path(reg_local_machine(), "Software\\ZebProbe\\");
  open_path(reg_local_machine(), "\\Software\\ZebProbe");
  open_path(reg_local_machine(), "Software\\\\ZebProbe");
  open_path(root, "");
  open_path(root, "Deep\\Er\\");
  std::string name(255, 'k');
  RegKey key = create_key(root, name.c_str());
  if (key != nullptr) reg_close_key(key);
  open_path(root, name.c_str());
  name += 'k';
  key = create_key(root, name.c_str());
  if (key != nullptr) reg_close_key(key);
  key = create_key(root, "trail\\");
  if (key != nullptr) reg_close_key(key);
  open_path(root, "trail");
  print_status("delete_key trail", reg_delete_key(root, "trail"));
  print_status("delete_key long",
               reg_delete_key(root, std::string(255, 'k').c_str()));
  // Names count UTF-16 units, whatever the code page's bytes for them.
  for (size_t length : {256, 257}) {
    std::string wide = from_script(std::string(length, '\xe9'));
    StatusCode status =
        reg_create_key(root, wide.c_str(), W32_KEY_ALL_ACCESS, &key, nullptr);
    std::printf("create a name of %u e-acute -> 0x%x\n",
                static_cast<unsigned>(length), status);
    if (status == 0) reg_close_key(key);
    if (status == 0) reg_delete_key(root, wide.c_str());
  }
}

// Value names up to the registry's limit of 16,383 characters.
void probe_value_names(RegKey root) {
  for (size_t length : {16383, 16384}) {
    for (char c : {'v', '\xe9'}) {
      std::string name = from_script(std::string(length, c));
      StatusCode status = reg_set_value(root, name.c_str(), W32_REG_SZ, "x", 2);
      std::printf("set a value name of %u %s -> 0x%x\n",
                  static_cast<unsigned>(length), c == 'v' ? "v" : "e-acute",
                  status);
      if (status == 0) reg_delete_value(root, name.c_str());
    }
  }
}

// Enumeration by index while keys and values come and go.
void probe_changes_while_enumerating(RegKey root) {
  RegKey list = create_key(root, "List");
  if (list == nullptr) return;
  RegKey child = create_key(list, "m");
  if (child != nullptr) reg_close_key(child);
  child = create_key(list, "p");
  if (child != nullptr) reg_close_key(child);
  set_string(list, "m", "1");
  set_string(list, "p", "2");
  enum_keys(list, 300);
  child = create_key(list, "a");
  if (child != nullptr) reg_close_key(child);
  set_string(list, "a", "0");
  enum_keys(list, 300);
  enum_values(list);
  print_status("delete_key m", reg_delete_key(list, "m"));
  print_status("delete_value m", reg_delete_value(list, "m"));
  enum_keys(list, 300);
  enum_values(list);
  RegKey other = nullptr;
  print_status("open List again",
               reg_open_key(root, "list", W32_KEY_ALL_ACCESS, &other));
  if (other != nullptr) {
    child = create_key(other, "b");
    if (child != nullptr) reg_close_key(child);
    set_dword(other, "b", 7);
    reg_close_key(other);
  }
  enum_keys(list, 300);
  enum_values(list);
  reg_close_key(list);
}

void set_raw(RegKey key, const char* name, uint32_t type, const void* data,
             uint32_t size) {
  StatusCode status = reg_set_value(key, name, type, data, size);
  std::printf("set %s type=%u size=%u -> 0x%x\n",
              name == nullptr ? "(default)" : name, type, size, status);
}

// Value types and sizes: binary, none, strings without or with a short
// terminator count, a DWORD as a subkey default; exact buffer sizes.
void probe_value_forms(RegKey root) {
  RegKey forms = create_key(root, "Forms");
  if (forms == nullptr) return;
  const unsigned char bytes[] = {1, 0, 2, 0xFF};
  set_raw(forms, "bin", W32_REG_BINARY, bytes, 4);
  set_raw(forms, "none", W32_REG_NONE, nullptr, 0);
  set_raw(forms, "bare", W32_REG_SZ, "abc", 3);
  set_raw(forms, "empty", W32_REG_SZ, "", 0);
  set_raw(forms, "twice", W32_REG_SZ, "ab\0cd", 6);
  uint32_t number = 5;
  set_raw(forms, nullptr, W32_REG_DWORD, &number, 4);
  query_value(forms, "bin", true, 4);
  query_value(forms, "bin", true, 3);
  query_value(forms, "none", true, 300);
  query_value(forms, "bare", true, 300);
  query_value(forms, "empty", true, 300);
  query_value(forms, "twice", true, 300);
  enum_values(forms);
  enum_value(forms, 1, 4, 300);
  enum_value(forms, 1, 5, 300);
  reg_close_key(forms);
  query_subkey_default(root, "Forms", 300);
  set_string(root, "exact", "abcd");
  query_value(root, "exact", true, 5);
  query_value(root, "exact", true, 4);
}

// Operations through a handle whose key another handle deleted.
void probe_deleted_key(RegKey root) {
  RegKey stale = create_key(root, "Stale");
  if (stale == nullptr) return;
  set_string(stale, "v", "x");
  print_status("delete_key Stale", reg_delete_key(root, "Stale"));
  set_string(stale, "w", "y");
  query_value(stale, "v", true, 300);
  enum_keys(stale, 300);
  enum_values(stale);
  RegKey child = create_key(stale, "child");
  if (child != nullptr) reg_close_key(child);
  print_status("delete_value v", reg_delete_value(stale, "v"));
  reg_close_key(stale);
  open_path(root, "Stale");
}

}  // namespace

int run_registry_scenario() {
  RegKey hklm = reg_local_machine();
  delete_key_tree(hklm, kProbeRoot);
  RegKey root = create_key(hklm, kProbeRoot);
  if (root == nullptr) return 1;
  RegKey again = create_key(hklm, kProbeRoot);
  if (again != nullptr) reg_close_key(again);
  fill_probe_key(root);
  probe_enumeration(root);
  probe_queries(root);
  probe_access(root);
  probe_paths(root);
  probe_value_names(root);
  probe_changes_while_enumerating(root);
  probe_value_forms(root);
  probe_deleted_key(root);
  reg_close_key(root);
  delete_key_tree(hklm, kProbeRoot);
  RegKey gone = nullptr;
  print_status("open after removal",
               reg_open_key(hklm, kProbeRoot, W32_KEY_READ, &gone));
  if (gone != nullptr) reg_close_key(gone);
  return 0;
}
