#include "config/os_class.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

int admin_questions = 0;
int osr21_probes = 0;
bool admin_answer = false;
bool osr21_answer = false;

bool fake_is_admin() {
  ++admin_questions;
  return admin_answer;
}

bool fake_osr21_present() {
  ++osr21_probes;
  return osr21_answer;
}

struct ClassCase {
  uint32_t platform_id;
  uint32_t major;
  uint32_t minor;
  const char* service_pack;
  bool admin;
  bool osr21;
  OsClass expected;
  bool asks_admin;
  bool probes_osr21;
};

class ClassifyVersion : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassifyVersion, GivesTheClassAndAsksOnlyWhatItNeeds) {
  const ClassCase& c = GetParam();
  PlatformVersion version{};
  version.platform_id = c.platform_id;
  version.major = c.major;
  version.minor = c.minor;
  std::strcpy(version.service_pack, c.service_pack);
  admin_answer = c.admin;
  osr21_answer = c.osr21;
  admin_questions = osr21_probes = 0;

  EXPECT_EQ(classify_version(&version, fake_is_admin, fake_osr21_present),
            c.expected);
  EXPECT_EQ(admin_questions, c.asks_admin ? 1 : 0);
  EXPECT_EQ(osr21_probes, c.probes_osr21 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClassifyVersion,
    ::testing::Values(
        // 9x family
        ClassCase{1, 4, 0, "", false, true, 1, false, false},
        ClassCase{1, 4, 0, " A", false, true, 1, false, false},
        ClassCase{1, 4, 0, " B", false, true, 3, false, true},
        ClassCase{1, 4, 0, " b", false, false, 2, false, true},
        ClassCase{1, 4, 0, " C", false, false, 2, false, true},
        ClassCase{1, 4, 0, " c", false, true, 3, false, true},
        ClassCase{1, 4, 0, "B", false, true, 1, false, false},
        ClassCase{1, 4, 10, " B", false, true, 4, false, false},
        ClassCase{1, 4, 90, "", false, false, 9, false, false},
        ClassCase{1, 4, 20, "", false, false, 100, false, false},
        ClassCase{1, 3, 10, "", false, false, 100, false, false},
        // NT family
        ClassCase{2, 3, 51, "", true, false, 100, false, false},
        ClassCase{2, 4, 0, "", true, false, 5, true, false},
        ClassCase{2, 4, 0, "Service Pack 6", false, false, 6, true, false},
        ClassCase{2, 5, 0, "", true, false, 7, true, false},
        ClassCase{2, 5, 0, "", false, false, 8, true, false},
        ClassCase{2, 5, 1, "", true, false, 10, true, false},
        ClassCase{2, 5, 1, "", false, false, 11, true, false},
        ClassCase{2, 5, 2, "", true, false, 100, false, false},
        ClassCase{2, 5, 7, "", false, false, 100, false, false},
        ClassCase{2, 6, 1, "", true, false, 5, true, false},
        ClassCase{2, 10, 0, "", false, false, 6, true, false},
        // other families
        ClassCase{0, 4, 0, "", true, true, 100, false, false},
        ClassCase{3, 6, 0, "", true, true, 100, false, false}));

TEST(ClassifyVersion, FailedVersionQueryIsClass100) {
  EXPECT_EQ(classify_version(nullptr, fake_is_admin, fake_osr21_present), 100);
}

TEST(GetOsClass, RefusesAMissingOutParameter) {
  EXPECT_EQ(get_os_class(nullptr), 87u);
}

}  // namespace
