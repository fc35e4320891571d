// A private platform root for one test: a temporary directory set as
// ZEBCFG_ROOT, with helpers to place the setup file in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/posix/registry_store.h"
#include "platform/registry.h"

inline std::string make_test_root() {
  char pattern[] = "/tmp/zebcfg-unit-XXXXXX";
  const char* dir = mkdtemp(pattern);
  EXPECT_NE(dir, nullptr);
  setenv("ZEBCFG_ROOT", dir, 1);
  registry_store_reset();
  std::string inf_dir = std::string(dir) + "/inf";
  std::system(("mkdir -p '" + inf_dir + "'").c_str());
  return dir;
}

inline void remove_test_root(const std::string& root) {
  registry_store_reset();
  std::system(("rm -rf '" + root + "'").c_str());
}

inline void write_setup_file(const std::string& root, const std::string& text) {
  std::ofstream(root + "/inf/zebsetup.inf", std::ios::binary) << text;
}

// Writes a value under HKLM\path (created when missing), whatever its type
// and size.
inline void put_test_value(const std::string& path, const char* name,
                           uint32_t type, const void* data, uint32_t size) {
  RegKey key = nullptr;
  ASSERT_EQ(reg_create_key(reg_local_machine(), path.c_str(),
                           W32_KEY_ALL_ACCESS, &key, nullptr),
            0u);
  EXPECT_EQ(reg_set_value(key, name, type, data, size), 0u);
  reg_close_key(key);
}

inline void put_test_dword(const std::string& path, const char* name,
                           uint32_t value) {
  put_test_value(path, name, W32_REG_DWORD, &value, sizeof(value));
}

// A test fixture that gives every test its own root.
class TestRoot : public ::testing::Test {
 protected:
  void SetUp() override { root_ = make_test_root(); }
  void TearDown() override { remove_test_root(root_); }
  void write_inf(const std::string& text) { write_setup_file(root_, text); }
  std::string root_;
};
