// The add, query and delete operations of zebreg, printing what reg.exe
// prints under Wine.
#include "zebreg_commands.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/text_encoding.h"
#include "regfile_write.h"
#include "registry_limits.h"
#include "zebreg_regfile.h"
#include "zebreg_registry.h"

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

// ---- Data of /t and /d ----

bool type_from_name(const std::string& text, uint32_t* type) {
  std::string name = text;
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (name == "REG_SZ")
    *type = W32_REG_SZ;
  else if (name == "REG_EXPAND_SZ")
    *type = kRegExpandSz;
  else if (name == "REG_DWORD")
    *type = W32_REG_DWORD;
  else if (name == "REG_BINARY")
    *type = W32_REG_BINARY;
  else if (name == "REG_NONE")
    *type = W32_REG_NONE;
  else if (name == "REG_MULTI_SZ")
    *type = W32_REG_MULTI_SZ;
  else if (name == "REG_QWORD")
    *type = kRegQword;
  else
    return false;
  return true;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A number as reg reads /d: leading blanks, a '+' (or, where negative_wraps,
// a '-' that wraps the number around), decimal or hexadecimal after 0x, at
// most max. No text at all is 0.
bool parse_number(const std::string& text, uint64_t max, bool negative_wraps,
                  uint64_t* value) {
  size_t pos = text.find_first_not_of(" \t");
  if (pos == std::string::npos) pos = text.size();
  bool negative = pos < text.size() && text[pos] == '-';
  if (negative && !negative_wraps) return false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) pos++;
  int base = 10;
  if (text.size() > pos + 1 && text[pos] == '0' &&
      (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  uint64_t total = 0;
  for (; pos < text.size(); pos++) {
    int digit = hex_digit(text[pos]);
    if (digit < 0 || digit >= base) return false;
    if (total > (max - digit) / base) return false;
    total = total * base + digit;
  }
  *value = negative ? 0 - total : total;
  return true;
}

// Hex digit pairs; an odd count reads as if led by a zero.
bool parse_binary(const std::string& text, std::vector<uint8_t>* bytes) {
  std::string digits = text.size() % 2 == 1 ? "0" + text : text;
  for (size_t i = 0; i < digits.size(); i += 2) {
    int high = hex_digit(digits[i]);
    int low = hex_digit(digits[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes->push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return true;
}

// A REG_MULTI_SZ text: items separated by \0, each followed by its zero
// byte, then one more. An empty item before a separator is refused, as reg
// does, since it would end the list for every reader.
bool parse_multi_sz(const std::string& text, std::vector<uint8_t>* bytes) {
  std::string item;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] != '\\' || i + 1 >= text.size() || text[i + 1] != '0') {
      item += text[i];
      continue;
    }
    if (item.empty()) return false;
    bytes->insert(bytes->end(), item.begin(), item.end());
    bytes->push_back(0);
    item.clear();
    i++;
  }
  bytes->insert(bytes->end(), item.begin(), item.end());
  if (!item.empty()) bytes->push_back(0);
  bytes->push_back(0);
  return true;
}

// The bytes /t and /d describe; prints the message and returns false when
// they are not valid.
bool value_bytes(const RegCommand& cmd, uint32_t* type,
                 std::vector<uint8_t>* bytes) {
  *type = W32_REG_SZ;
  if (cmd.has_type && !type_from_name(cmd.type_text, type)) {
    std::printf("reg: Unsupported registry data type [%s]\n",
                cmd.type_text.c_str());
    return false;
  }
  if (*type == W32_REG_DWORD) {
    uint64_t number = 0;
    if (!cmd.has_data) {
      std::printf("reg: Invalid command line parameters\n");
      return false;
    }
    if (!parse_number(cmd.data, UINT32_MAX, false, &number)) {
      std::printf(
          "reg: The option [/d] must be followed by a valid numeric value\n");
      return false;
    }
    for (int i = 0; i < 4; i++) bytes->push_back((number >> (8 * i)) & 0xFF);
    return true;
  }
  if (*type == kRegQword) {
    uint64_t number = 0;
    if (!parse_number(cmd.data, UINT64_MAX, true, &number)) {
      std::printf(
          "reg: The option [/d] must be followed by a valid numeric value\n");
      return false;
    }
    for (int i = 0; i < 8; i++) bytes->push_back((number >> (8 * i)) & 0xFF);
    return true;
  }
  if (*type == W32_REG_NONE) {
    // As reg stores it: the text in UTF-16LE with its terminator.
    std::string units;
    append_utf16le(cmd.data, &units);
    units.append(2, '\0');
    bytes->assign(units.begin(), units.end());
    return true;
  }
  if (*type == W32_REG_BINARY) {
    if (!parse_binary(cmd.data, bytes)) {
      std::printf(
          "reg: The option [/d] must be followed by a valid hexadecimal "
          "value\n");
      return false;
    }
    return true;
  }
  if (*type == W32_REG_MULTI_SZ) {
    if (!parse_multi_sz(cmd.data, bytes)) {
      std::printf("reg: The option [/d] must be followed by a valid string\n");
      return false;
    }
    return true;
  }
  bytes->assign(cmd.data.begin(), cmd.data.end());
  bytes->push_back(0);
  return true;
}

// ---- Printing values ----

const char* type_name(uint32_t type) {
  static const char* const kNames[] = {"REG_NONE",
                                       "REG_SZ",
                                       "REG_EXPAND_SZ",
                                       "REG_BINARY",
                                       "REG_DWORD",
                                       "REG_DWORD_BIG_ENDIAN",
                                       "REG_LINK",
                                       "REG_MULTI_SZ",
                                       "REG_RESOURCE_LIST",
                                       "REG_FULL_RESOURCE_DESCRIPTOR",
                                       "REG_RESOURCE_REQUIREMENTS_LIST",
                                       "REG_QWORD"};
  if (type < sizeof(kNames) / sizeof(kNames[0])) return kNames[type];
  return "REG_NONE";
}

std::string hex_text(const std::vector<uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (uint8_t byte : bytes) {
    std::snprintf(pair, sizeof(pair), "%02X", byte);
    text += pair;
  }
  return text;
}

std::string string_text(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (uint8_t byte : bytes) {
    if (byte == 0) break;
    text += static_cast<char>(byte);
  }
  return text;
}

std::string multi_text(const std::vector<uint8_t>& bytes) {
  std::string text;
  std::string item;
  for (uint8_t byte : bytes) {
    if (byte != 0) {
      item += static_cast<char>(byte);
      continue;
    }
    if (item.empty()) break;
    if (!text.empty()) text += "\\0";
    text += item;
    item.clear();
  }
  return text;
}

std::string data_text(uint32_t type, const std::vector<uint8_t>& bytes) {
  char number[32];
  if (type == W32_REG_SZ || type == kRegExpandSz) return string_text(bytes);
  if (type == W32_REG_MULTI_SZ) return multi_text(bytes);
  if (type == W32_REG_DWORD && bytes.size() == 4) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; i--) value = value * 256 + bytes[i];
    std::snprintf(number, sizeof(number), "0x%x", value);
    return number;
  }
  if (type == kRegQword && bytes.size() == 8) {
    unsigned long long value = 0;
    for (int i = 7; i >= 0; i--) value = value * 256 + bytes[i];
    std::snprintf(number, sizeof(number), "0x%llx", value);
    return number;
  }
  return hex_text(bytes);
}

void print_value(const std::string& name, uint32_t type,
                 const std::vector<uint8_t>& bytes) {
  std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(),
              type_name(type), data_text(type, bytes).c_str());
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
      "KEY is HKLM\\path or HKEY_LOCAL_MACHINE\\path. TYPE is REG_SZ,\n"
      "REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or "
      "REG_NONE.\n");
}

}  // namespace

// Runs the command; the process exit code.
int run_command(RegCommand* cmd) {
  if (cmd->operation == RegOperation::kHelp) {
    print_help();
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
