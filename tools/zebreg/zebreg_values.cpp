// The data of zebreg's values: the bytes that /t and /d describe, and the
// text that query prints for them, both as reg.exe has them.
#include "zebreg_values.h"

#include <cstdio>

#include "platform/integer_scan.h"
#include "platform/text_encoding.h"
#include "regfile_write.h"
#include "zebreg_registry.h"

namespace {

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

// A number as reg reads /d (kRegDwordRule, kRegQwordRule).
bool parse_number(const std::string& text, const IntegerRule& rule,
                  uint64_t* value) {
  return read_integer(text.data(), text.size(), rule, value);
}

// Hex digit pairs; an odd count reads as if led by a zero.
bool parse_binary(const std::string& text, std::vector<uint8_t>* bytes) {
  std::string digits = text.size() % 2 == 1 ? "0" + text : text;
  for (size_t i = 0; i < digits.size(); i += 2) {
    uint64_t byte = 0;
    if (!read_integer(digits.data() + i, 2, kHexByteRule, &byte)) return false;
    bytes->push_back(static_cast<uint8_t>(byte));
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

}  // namespace

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
    if (!parse_number(cmd.data, kRegDwordRule, &number)) {
      std::printf(
          "reg: The option [/d] must be followed by a valid numeric value\n");
      return false;
    }
    for (int i = 0; i < 4; i++) bytes->push_back((number >> (8 * i)) & 0xFF);
    return true;
  }
  if (*type == kRegQword) {
    uint64_t number = 0;
    if (!parse_number(cmd.data, kRegQwordRule, &number)) {
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

namespace {

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

}  // namespace

void print_value(const std::string& name, uint32_t type,
                 const std::vector<uint8_t>& bytes) {
  std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(),
              type_name(type), data_text(type, bytes).c_str());
}
