// A private store with a device root and a setup file for the device and
// property tests, and helpers that build and inspect device keys directly
// through the registry operations.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/command_context.h"
#include "config/setup_info.h"
#include "platform/posix/fault.h"
#include "platform/registry.h"
#include "test_root.h"

constexpr const char* kDeviceRootPath = "Software\\Zeb\\Devices";

// A setup file with a device root and the given sections' lines (each line
// ending in "\r\n").
inline std::string setup_text(const std::string& strings,
                              const std::string& prop_map,
                              const std::string& xpt_map) {
  return "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
         "[cfg_strings]\r\ndev_reg_root=\"Software\\Zeb\\Devices\"\r\n" +
         strings + "[cfg_prop_map]\r\n" + prop_map + "[cfg_xpt_map]\r\n" +
         xpt_map;
}

// The schema most tests use: a transport-class property, a property that
// also sets the transport, three automatic timings, ranges, lists.
const char* const kStandardProps =
    "Port.Transport = 0, 0x00000004\r\n"
    "Port.Mode = 0, 0x00000002\r\n"
    "Port.BaudRate = 1, 0x00000000, 110, 921600\r\n"
    "Port.Parity = 0, 0x00000000, \"none|odd|even\"\r\n"
    "Port.Name = 0, 0x00000000\r\n"
    "Port.Resettable = 0, 0x00000000, \"|a|b\"\r\n"
    "Port.Count = 1, 0x00000000, 0, 10\r\n"
    "Port.Free = 1, 0x00000000\r\n"
    "Port.Odd = 7, 0x00000000\r\n"
    "Port.Stats = 1, 0x00000010\r\n"
    "Port.Secret = 1, 0x00000001\r\n"
    "T0 = 1, 0x00000008\r\n"
    "T1 = 1, 0x00010008, 0, 1000000\r\n"
    "T2 = 1, 0x00020008\r\n";

const char* const kStandardXpt =
    "serial = ZebSerial\r\n"
    "tcp = ZebTcp\r\n";

class DeviceStore : public TestRoot {
 protected:
  void SetUp() override {
    TestRoot::SetUp();
    fault_clear();
    RegKey root = nullptr;
    ASSERT_EQ(reg_create_key(reg_local_machine(), kDeviceRootPath,
                             W32_KEY_ALL_ACCESS, &root, nullptr),
              0u);
    reg_close_key(root);
    write_inf(setup_text("", kStandardProps, kStandardXpt));
  }

  void TearDown() override {
    fault_clear();
    context_close(&context_);
    TestRoot::TearDown();
  }

  // The context a command would work in: the setup file as it is at the
  // first call and the device root, open for writing unless write is
  // cleared. A later call with other rights opens it afresh.
  CommandContext* context(bool write = true) {
    if (context_.setup == nullptr || context_.root_writable != write) {
      context_close(&context_);
      context_open(&context_);
      EXPECT_EQ(context_open_root(&context_, write), 0u);
    }
    return &context_;
  }

  // Writes the setup file; the next command's context reads it.
  void write_inf(const std::string& text) {
    context_close(&context_);
    TestRoot::write_inf(text);
  }

  // The setup file of the context.
  SetupInfo setup() { return context()->setup; }

  // Opens the context afresh, as the next command would.
  CommandContext* next_command_context(bool write = true) {
    context_close(&context_);
    return context(write);
  }

  RegKey open_root() {
    RegKey root = nullptr;
    EXPECT_EQ(reg_open_key(reg_local_machine(), kDeviceRootPath,
                           W32_KEY_ALL_ACCESS, &root),
              0u);
    return root;
  }

  // Opens (creating it when missing) subkey of the device root with all
  // rights; the caller closes it.
  RegKey make_key(const std::string& subkey) {
    RegKey root = open_root();
    RegKey key = nullptr;
    EXPECT_EQ(
        reg_create_key(root, subkey.c_str(), W32_KEY_ALL_ACCESS, &key, nullptr),
        0u);
    reg_close_key(root);
    return key;
  }

  static void set_sz(RegKey key, const char* name, const std::string& text) {
    ASSERT_EQ(reg_set_value(key, name, W32_REG_SZ, text.c_str(),
                            static_cast<uint32_t>(text.size() + 1)),
              0u);
  }

  static void set_dword(RegKey key, const char* name, uint32_t value) {
    ASSERT_EQ(reg_set_value(key, name, W32_REG_DWORD, &value, sizeof(value)),
              0u);
  }

  static void set_binary(RegKey key, const char* name,
                         const std::string& bytes) {
    ASSERT_EQ(reg_set_value(key, name, W32_REG_BINARY, bytes.data(),
                            static_cast<uint32_t>(bytes.size())),
              0u);
  }

  // Writes a device key the way creation and set leave it: marker (null: no
  // default value), name value under FriendlyName, all-ones mask, and the
  // transport class when given.
  void make_device(const std::string& subkey, const std::string& name,
                   const char* marker, const char* xpt_class = "ZebSerial") {
    RegKey key = make_key(subkey);
    if (marker != nullptr) {
      ASSERT_EQ(reg_set_value(key, nullptr, W32_REG_SZ, marker,
                              static_cast<uint32_t>(std::strlen(marker) + 1)),
                0u);
    }
    set_sz(key, "FriendlyName", "ZEB_DEV_" + name);
    set_dword(key, "autocfg_mask", 0xFFFFFFFFu);
    if (xpt_class != nullptr) set_sz(key, "DevPartClass", xpt_class);
    reg_close_key(key);
  }

  bool subkey_exists(const std::string& subkey) {
    RegKey root = open_root();
    RegKey key = nullptr;
    bool found = reg_open_key(root, subkey.c_str(), W32_KEY_READ, &key) == 0;
    if (found) reg_close_key(key);
    reg_close_key(root);
    return found;
  }

  std::vector<std::string> subkeys() {
    std::vector<std::string> names;
    RegKey root = open_root();
    for (uint32_t i = 0;; ++i) {
      char name[256];
      uint32_t length = sizeof(name);
      if (reg_enum_key(root, i, name, &length) != 0) break;
      names.push_back(name);
    }
    reg_close_key(root);
    return names;
  }

  // Reads value name of subkey: its bytes, or "<absent>".
  std::string read_raw(const std::string& subkey, const char* name) {
    RegKey root = open_root();
    RegKey key = nullptr;
    std::string result = "<absent>";
    if (reg_open_key(root, subkey.c_str(), W32_KEY_READ, &key) == 0) {
      char data[1024];
      uint32_t size = sizeof(data);
      if (reg_query_value(key, name, nullptr, data, &size) == 0) {
        result.assign(data, size);
      }
      reg_close_key(key);
    }
    reg_close_key(root);
    return result;
  }

  // Reads a REG_DWORD value of subkey; -1 when it cannot be read as one.
  int64_t read_dword(const std::string& subkey, const char* name) {
    std::string raw = read_raw(subkey, name);
    if (raw.size() != 4) return -1;
    uint32_t value = 0;
    std::memcpy(&value, raw.data(), 4);
    return value;
  }

  SetupInfo open_info() {
    SetupInfo info = nullptr;
    EXPECT_EQ(open_setup_info(&info), 0u);
    return info;
  }

  CommandContext context_ = {};
};
