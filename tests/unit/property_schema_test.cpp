// The property schema: definition lookup, auto bits, the constraint test and
// the transport map in both directions.
#include <gtest/gtest.h>

#include <string>

#include "cli/status.h"
#include "device/device_value.h"
#include "device_test_support.h"
#include "property/property.h"
#include "property/schema.h"

namespace {

struct ListCase {
  const char* list;
  const char* value;
  bool allowed;
};

const ListCase kListCases[] = {
    {"A|B", "A", true},    {"A|B", "B", true},    {"A|B", "a", false},
    {"A|B", "AB", false},  {"A|B", "A|B", false}, {"A|B", "", false},
    {"AB|B", "B", true},   {"AB|B", "A", false},  {"|A|B", "", true},
    {"A|B|", "", true},    {"A||B", "", true},    {"", "", true},
    {"", "x", false},      {"one", "one", true},  {"one", "on", false},
    {"one", "one ", false}};

TEST(AllowedList, AdmitsExactlyItsEntries) {
  for (const ListCase& c : kListCases) {
    EXPECT_EQ(allowed_list_contains(c.list, c.value), c.allowed)
        << c.list << " / " << c.value;
  }
}

struct BitCase {
  uint32_t flags;
  bool automatic;
  uint32_t bit;
};

const BitCase kBitCases[] = {
    {0x00000008, true, 0x1}, {0x00010008, true, 0x2},
    {0x00020018, true, 0x4}, {0x001F0008, true, 0x80000000},
    {0x00200008, false, 0},  {0xFFFF0008, false, 0},
    {0x00010000, false, 0},  {0x00000000, false, 0}};

TEST(AutoMaskBit, OnlyIndexesBelow32HaveABit) {
  for (const BitCase& c : kBitCases) {
    uint32_t bit = 0;
    EXPECT_EQ(auto_mask_bit(c.flags, &bit), c.automatic) << c.flags;
    if (c.automatic) {
      EXPECT_EQ(bit, c.bit) << c.flags;
    }
  }
}

const char* const kSchemaProps =
    "Range = 1, 0, 1, 10\r\n"
    "Full = 1, 0, -2147483648, 2147483647\r\n"
    "Negative = 1, 0, -10, -5\r\n"
    "MinOnly = 1, 0, 5\r\n"
    "Listed = 0, 0, \"A|B\"\r\n"
    "Empty = 0, 0, \"\"\r\n"
    "Free = 0, 0\r\n"
    "Hidden = 1, 0x1\r\n"
    "NoFlags = 1\r\n"
    "Flags = 0, 0x0004\r\n";

class Schema : public DeviceStore {
 protected:
  void SetUp() override {
    DeviceStore::SetUp();
    write_inf(setup_text("", kSchemaProps + long_list_line(), kXpt));
    info_ = open_info();
  }
  void TearDown() override {
    close_setup_info(info_);
    DeviceStore::TearDown();
  }
  static std::string long_list_line() {
    return "Long = 0, 0, \"" + std::string(300, 'L') + "\"\r\n";
  }
  static constexpr const char* kXpt =
      "serial = ZebSerial\r\n"
      "Other = zebserial\r\n"
      "tcp = ZebTcp\r\n";
  SetupInfo info_ = nullptr;
};

struct CheckCase {
  const char* name;
  int32_t type;
  const char* value;
  StatusCode status;
};

const CheckCase kCheckCases[] = {
    {"Range", 1, "0x0A", 0},
    {"Range", 1, "0XA", 0},
    {"Range", 1, "012", 0},
    {"Range", 1, "+7", 0},
    {"Range", 1, " 7", 0},
    {"Range", 1, "1", 0},
    {"Range", 1, "7 ", STATUS_INVALID_PARAM},
    {"Range", 1, "09", STATUS_INVALID_PARAM},
    {"Range", 1, "0x", STATUS_INVALID_PARAM},
    {"Range", 1, "seven", STATUS_INVALID_PARAM},
    {"Range", 1, "11", STATUS_RANGE},
    {"Range", 1, "013", STATUS_RANGE},
    {"Range", 1, "", STATUS_RANGE},
    {"Range", 1, "-1", STATUS_RANGE},
    {"Range", 1, "4294967297", STATUS_RANGE},
    {"Range", 1, "0xFFFFFFFF", STATUS_RANGE},
    {"Full", 1, "99999999999", 0},
    {"Full", 1, "-99999999999", 0},
    {"Negative", 1, "-7", 0},
    {"Negative", 1, "-0x5", 0},
    {"Negative", 1, "-4", STATUS_RANGE},
    {"MinOnly", 1, "anything", 0},
    {"Listed", 0, "A", 0},
    {"Listed", 0, "a", STATUS_RANGE},
    {"Listed", 0, "", STATUS_RANGE},
    {"Empty", 0, "", 0},
    {"Empty", 0, "x", STATUS_RANGE},
    {"Free", 0, "anything at all", 0},
    {"Free", 1, "not a number", 0},
    {"Long", 0, "whatever", 0},
    {"LISTED", 0, "B", 0},
};

TEST_F(Schema, ConstraintTest) {
  for (const CheckCase& c : kCheckCases) {
    EXPECT_EQ(schema_check_value(info_, c.name, c.type, c.value), c.status)
        << c.name << " / '" << c.value << "'";
  }
}

TEST_F(Schema, DefinitionLookup) {
  PropertyDefinition definition = {};
  ASSERT_EQ(schema_find(info_, "flags", &definition), 0u);
  EXPECT_EQ(definition.type, 0);
  EXPECT_EQ(definition.flags, PROP_XPT_CLASS);
  EXPECT_EQ(schema_find(info_, "Hidden", &definition), STATUS_UNKNOWN_PROP);
  EXPECT_EQ(schema_find(info_, "NoFlags", &definition), STATUS_UNKNOWN_PROP);
  EXPECT_EQ(schema_find(info_, "Missing", &definition), STATUS_UNKNOWN_PROP);
}

TEST_F(Schema, TransportMapBothWays) {
  char text[256];
  ASSERT_TRUE(xpt_map_forward(info_, "SERIAL", text, sizeof(text)));
  EXPECT_STREQ(text, "ZebSerial");
  EXPECT_FALSE(xpt_map_forward(info_, "usb", text, sizeof(text)));
  // The first line whose class matches without regard to case wins.
  ASSERT_TRUE(xpt_map_reverse(info_, "ZEBSERIAL", text, sizeof(text)));
  EXPECT_STREQ(text, "serial");
  ASSERT_TRUE(xpt_map_reverse(info_, "zebtcp", text, sizeof(text)));
  EXPECT_STREQ(text, "tcp");
  EXPECT_FALSE(xpt_map_reverse(info_, "ZebUsb", text, sizeof(text)));
}

TEST_F(Schema, TransportValueNameHasADefault) {
  char name[256];
  xpt_class_value_name(info_, name, sizeof(name));
  EXPECT_STREQ(name, "DevPartClass");
  close_setup_info(info_);
  write_inf(
      setup_text("xpt_class_name=TransportClass\r\n", kSchemaProps, kXpt));
  info_ = open_info();
  xpt_class_value_name(info_, name, sizeof(name));
  EXPECT_STREQ(name, "TransportClass");
}

}  // namespace
