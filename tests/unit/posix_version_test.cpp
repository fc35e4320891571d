// The POSIX version record, read from the store, and the administrator
// question, answered by the right to write the store.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/registry.h"
#include "platform/version.h"
#include "test_root.h"

namespace {

const char kPlatform[] = "System\\Platform";

class PosixVersion : public TestRoot {
 protected:
  void set_value(const char* name, uint32_t type, const void* data,
                 uint32_t size) {
    put_test_value(kPlatform, name, type, data, size);
  }
  void set_dword(const char* name, uint32_t value) {
    set_value(name, W32_REG_DWORD, &value, sizeof(value));
  }
  void set_text(const char* name, const std::string& text) {
    set_value(name, W32_REG_SZ, text.c_str(),
              static_cast<uint32_t>(text.size() + 1));
  }
  PlatformVersion version() {
    PlatformVersion v;
    std::memset(&v, 0x55, sizeof(v));
    EXPECT_EQ(platform_get_version(&v), 0u);
    return v;
  }
};

TEST_F(PosixVersion, EmptyStoreIsNt51) {
  PlatformVersion v = version();
  EXPECT_EQ(v.platform_id, W32_VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(v.major, 5u);
  EXPECT_EQ(v.minor, 1u);
  EXPECT_STREQ(v.service_pack, "");
}

TEST_F(PosixVersion, StoredValuesAreReported) {
  set_dword("PlatformId", W32_VER_PLATFORM_WIN32_WINDOWS);
  set_dword("MajorVersion", 4);
  set_dword("MinorVersion", 0);
  set_text("CSDVersion", " B");
  PlatformVersion v = version();
  EXPECT_EQ(v.platform_id, W32_VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_EQ(v.major, 4u);
  EXPECT_EQ(v.minor, 0u);
  EXPECT_STREQ(v.service_pack, " B");
}

TEST_F(PosixVersion, MalformedValuesFallBackToTheDefaults) {
  set_text("MajorVersion", "6");
  uint16_t short_minor = 2;
  set_value("MinorVersion", W32_REG_BINARY, &short_minor, sizeof(short_minor));
  set_text("CSDVersion", std::string(300, 'S'));
  set_dword("PlatformId", 1);
  PlatformVersion v = version();
  EXPECT_EQ(v.platform_id, 1u);
  EXPECT_EQ(v.major, 5u);
  EXPECT_EQ(v.minor, 1u);
  EXPECT_LT(std::strlen(v.service_pack), sizeof(v.service_pack));
}

TEST_F(PosixVersion, AdministratorIsWhoeverOwnsTheRoot) {
  if (geteuid() != 0) {
    EXPECT_TRUE(platform_is_user_admin());  // the test root is our own
    GTEST_SKIP() << "needs root to act as another user";
  }
  EXPECT_TRUE(platform_is_user_admin());
  ASSERT_EQ(seteuid(65534), 0);
  bool foreign_root = platform_is_user_admin();
  ASSERT_EQ(seteuid(0), 0);
  ASSERT_EQ(chown(root_.c_str(), 65534, 65534), 0);
  ASSERT_EQ(seteuid(65534), 0);
  bool own_root = platform_is_user_admin();
  ASSERT_EQ(seteuid(0), 0);
  EXPECT_FALSE(foreign_root);
  EXPECT_TRUE(own_root);
}

}  // namespace
