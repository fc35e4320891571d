// The add, query and delete operations of zebreg, printing what reg.exe
// prints under Wine.
#include "zebreg_commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_tree.h"
#include "platform/text_encoding.h"
#include "registry_limits.h"
#include "zebreg_regfile.h"
#include "zebreg_registry.h"
#include "zebreg_values.h"

#ifndef ZEBCFG_VERSION
#define ZEBCFG_VERSION "0.0.0"
#endif

namespace {

void print_success() {
  std::printf("reg: The operation completed successfully\n");
}

void print_key_missing() {
  std::printf("reg: Unable to find the specified registry key\n");
}

void print_value_missing() {
  std::printf("reg: Unable to find the specified registry value\n");
}

void print_access_failure() {
  std::printf("reg: Unable to access or create the specified registry key\n");
}

// Asks question on the terminal; true for yes. End of input counts as no.
bool ask(const std::string& question) {
  for (;;) {
    std::printf("%s (Yes|No)", question.c_str());
    std::fflush(stdout);
    char answer[64];
    if (std::fgets(answer, sizeof(answer), stdin) == nullptr) {
      std::printf("\n");
      return false;
    }
    if (answer[0] == 'y' || answer[0] == 'Y') return true;
    if (answer[0] == 'n' || answer[0] == 'N') return false;
  }
}

int cancelled() {
  std::printf("reg: The registry operation was cancelled\n");
  return 0;
}

// ---- add ----

// Whether the key and value name of cmd lie within the registry's limits,
// which an import holds files to as well.
bool within_limits(const RegCommand& cmd) {
  std::u16string units;
  text_to_utf16(cmd.subpath, &units);
  if (!key_path_beyond_limits(units).empty()) return false;
  text_to_utf16(cmd.value_default ? "" : cmd.value_name, &units);
  return value_name_beyond_limits(units).empty();
}

int run_add(const RegCommand& cmd) {
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  if (!value_bytes(cmd, &type, &bytes)) return 1;
  if (!within_limits(cmd)) {
    print_access_failure();  // as reg, which the registry refuses
    return 1;
  }
  RegKey key = nullptr;
  if (reg_create_key(reg_local_machine(), cmd.subpath.c_str(),
                     W32_KEY_ALL_ACCESS, &key, nullptr) != W32_ERROR_SUCCESS) {
    print_access_failure();
    return 1;
  }
  const char* name = cmd.value_default ? "" : cmd.value_name.c_str();
  if (!cmd.force &&
      reg_query_value(key, name, nullptr, nullptr, nullptr) ==
          W32_ERROR_SUCCESS &&
      !ask("The registry value '" +
           std::string(*name == '\0' ? "(Default)" : name) +
           "' already exists. Do you want to overwrite it?")) {
    reg_close_key(key);
    return cancelled();
  }
  StatusCode status = reg_set_value(key, name, type, bytes.data(),
                                    static_cast<uint32_t>(bytes.size()));
  reg_close_key(key);
  if (status != W32_ERROR_SUCCESS) {
    print_access_failure();
    return 1;
  }
  print_success();
  return 0;
}

// ---- delete ----

int delete_value(const RegCommand& cmd, RegKey key) {
  const char* name = cmd.value_default ? "" : cmd.value_name.c_str();
  if (reg_query_value(key, name, nullptr, nullptr, nullptr) !=
      W32_ERROR_SUCCESS) {
    print_value_missing();
    return 1;
  }
  if (!cmd.force &&
      !ask("Are you sure you want to delete the registry value '" +
           std::string(*name == '\0' ? "(Default)" : name) + "'?")) {
    return cancelled();
  }
  if (reg_delete_value(key, name) != W32_ERROR_SUCCESS) {
    print_access_failure();
    return 1;
  }
  print_success();
  return 0;
}

int delete_key(const RegCommand& cmd) {
  if (cmd.subpath.empty()) {
    print_key_missing();
    return 1;
  }
  if (!cmd.force && !ask("Are you sure you want to delete the registry key '" +
                         cmd.display + "'?")) {
    return cancelled();
  }
  if (delete_key_path(cmd.subpath) != W32_ERROR_SUCCESS) {
    print_access_failure();
    return 1;
  }
  print_success();
  return 0;
}

int run_delete(const RegCommand& cmd) {
  RegKey key = nullptr;
  if (reg_open_key(reg_local_machine(), cmd.subpath.c_str(), W32_KEY_ALL_ACCESS,
                   &key) != W32_ERROR_SUCCESS) {
    print_key_missing();
    return 1;
  }
  int code = cmd.has_value ? delete_value(cmd, key) : -1;
  reg_close_key(key);
  return code >= 0 ? code : delete_key(cmd);
}

// ---- query ----

StatusCode print_key_values(RegKey key, const std::string& path,
                            bool recursing);

// Lists key: its values under its name (always when recursing), then its
// subkeys, by name or (recurse) in full.
StatusCode query_all(RegKey key, const std::string& path, bool recurse,
                     bool recursing) {
  StatusCode status = print_key_values(key, path, recursing);
  if (status != W32_ERROR_SUCCESS) return status;
  std::vector<std::string> children;
  status = subkey_names(key, &children);
  for (size_t i = 0; status == W32_ERROR_SUCCESS && i < children.size(); i++) {
    std::string child_path = path + "\\" + children[i];
    if (!recurse) {
      std::printf("%s\n", child_path.c_str());
      continue;
    }
    RegKey child = nullptr;
    status = reg_open_key(key, children[i].c_str(), W32_KEY_READ, &child);
    if (status != W32_ERROR_SUCCESS) break;
    status = query_all(child, child_path, recurse, true);
    reg_close_key(child);
  }
  return status;
}

StatusCode print_key_values(RegKey key, const std::string& path,
                            bool recursing) {
  RegValue value;
  StatusCode status = enum_value(key, 0, &value);
  if (status != W32_ERROR_SUCCESS && status != W32_ERROR_NO_MORE_ITEMS) {
    return status;
  }
  bool any = status == W32_ERROR_SUCCESS;
  if (!any && !recursing) return W32_ERROR_SUCCESS;
  std::printf("%s\n", path.c_str());
  for (uint32_t index = 1; status == W32_ERROR_SUCCESS; index++) {
    print_value(value.name, value.type, value.data);
    status = enum_value(key, index, &value);
  }
  std::printf("\n");
  return status == W32_ERROR_NO_MORE_ITEMS ? W32_ERROR_SUCCESS : status;
}

// Prints the value of the command in key and every key below it; counts the
// keys that hold it.
StatusCode search_value(const RegCommand& cmd, RegKey key,
                        const std::string& path, uint32_t* matches) {
  const char* name = cmd.value_default ? "" : cmd.value_name.c_str();
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  StatusCode status = read_value(key, name, &type, &bytes);
  if (status == W32_ERROR_SUCCESS) {
    std::printf("%s\n", path.c_str());
    print_value(name, type, bytes);
    std::printf("\n");
    ++*matches;
  } else if (status != W32_ERROR_FILE_NOT_FOUND) {
    return status;
  }
  std::vector<std::string> children;
  status = subkey_names(key, &children);
  for (size_t i = 0; status == W32_ERROR_SUCCESS && i < children.size(); i++) {
    RegKey child = nullptr;
    status = reg_open_key(key, children[i].c_str(), W32_KEY_READ, &child);
    if (status != W32_ERROR_SUCCESS) break;
    status = search_value(cmd, child, path + "\\" + children[i], matches);
    reg_close_key(child);
  }
  return status;
}

int query_one_value(const RegCommand& cmd, RegKey key) {
  const char* name = cmd.value_default ? "" : cmd.value_name.c_str();
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  StatusCode status = read_value(key, name, &type, &bytes);
  if (status == W32_ERROR_FILE_NOT_FOUND && cmd.value_default) {
    std::printf("%s\n    (Default)    REG_SZ    (value not set)\n",
                cmd.display.c_str());
    return 0;
  }
  if (status != W32_ERROR_SUCCESS) {
    print_value_missing();
    return 1;
  }
  std::printf("%s\n", cmd.display.c_str());
  print_value(name, type, bytes);
  std::printf("\n");
  return 0;
}

int run_query(const RegCommand& cmd) {
  RegKey key = nullptr;
  if (reg_open_key(reg_local_machine(), cmd.subpath.c_str(), W32_KEY_READ,
                   &key) != W32_ERROR_SUCCESS) {
    print_key_missing();
    return 1;
  }
  std::printf("\n");
  // One state of the keys where the store can give one; without it each
  // key is read as it is when the query reaches it, as on Windows.
  bool snapshot = reg_begin_snapshot() == W32_ERROR_SUCCESS;
  int code = 0;
  if (cmd.has_value && !cmd.recurse) {
    code = query_one_value(cmd, key);
  } else if (cmd.has_value) {
    uint32_t matches = 0;
    code = search_value(cmd, key, cmd.display, &matches) == W32_ERROR_SUCCESS
               ? 0
               : 1;
    std::printf("Search complete. Number of matches found: %u\n", matches);
  } else {
    code = query_all(key, cmd.display, cmd.recurse, false) == W32_ERROR_SUCCESS
               ? 0
               : 1;
  }
  if (snapshot) reg_end_snapshot();
  reg_close_key(key);
  return code;
}

void print_help() {
  std::printf(
      "Usage:\n"
      "  zebreg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
      "  zebreg query KEY [/v NAME | /ve] [/s]\n"
      "  zebreg delete KEY [/v NAME | /ve] [/f]\n"
      "  zebreg export KEY FILE [/y]\n"
      "  zebreg import FILE\n"
      "  zebreg /? | --help\n"
      "  zebreg --version\n"
      "KEY is HKLM\\path or HKEY_LOCAL_MACHINE\\path. TYPE is REG_SZ,\n"
      "REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or "
      "REG_NONE.\n"
      "See zebreg(1).\n");
}

}  // namespace

// Runs the command; the process exit code.
int run_command(RegCommand* cmd) {
  if (cmd->operation == RegOperation::kHelp) {
    print_help();
    return 0;
  }
  if (cmd->operation == RegOperation::kVersion) {
    std::printf("zebreg %s\n", ZEBCFG_VERSION);
    return 0;
  }
  if (cmd->operation == RegOperation::kImport) return run_import(*cmd);
  if (!parse_key(cmd)) return 1;
  switch (cmd->operation) {
    case RegOperation::kAdd:
      return run_add(*cmd);
    case RegOperation::kQuery:
      return run_query(*cmd);
    case RegOperation::kDelete:
      return run_delete(*cmd);
    case RegOperation::kExport:
      return run_export(*cmd);
    default:
      return 1;
  }
}
