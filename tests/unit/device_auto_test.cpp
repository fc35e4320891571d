// The automatic timing values: the formula table and the walk over
// [cfg_prop_map] that writes them at commit.
#include <gtest/gtest.h>

#include "device/device.h"
#include "device_test_support.h"

namespace {

struct FormulaCase {
  uint32_t baud;
  uint32_t k0;
  uint32_t k1;
  uint32_t k2;
};

const FormulaCase kFormulaCases[] = {
    {1200, 21, 37596, 75193},   {9600, 11, 4743, 9486},
    {19200, 10, 2396, 4793},    {38400, 10, 1223, 3000},
    {115200, 10, 441, 3000},    {921600, 10, 250, 3000},
    {225280, 10, 250, 3000},    {224000, 10, 251, 3000},
    {0xFFFFFFFF, 10, 250, 3000}};

TEST(AutoValue, FollowsTheFormulaTable) {
  for (const FormulaCase& c : kFormulaCases) {
    EXPECT_EQ(auto_value(0, c.baud), c.k0) << c.baud;
    EXPECT_EQ(auto_value(1, c.baud), c.k1) << c.baud;
    EXPECT_EQ(auto_value(2, c.baud), c.k2) << c.baud;
  }
}

TEST(AutoValue, OtherIndexesGiveZero) {
  for (uint32_t k : {3u, 4u, 31u, 32u, 0xFFFFu}) {
    EXPECT_EQ(auto_value(k, 9600), 0u) << k;
  }
}

TEST(AutoValue, ZeroBaudCountsAsDefault) {
  EXPECT_EQ(auto_value(0, 0), 11u);
  EXPECT_EQ(auto_value(1, 0), 4743u);
  EXPECT_EQ(auto_value(2, 0), 9486u);
}

const char* const kAutoProps =
    "A0 = 1, 0x00000008\r\n"
    "A1 = 1, 0x00010008\r\n"
    "A2 = 1, 0x00020008\r\n"
    "A3 = 1, 0x00030008\r\n"
    "A31 = 1, 0x001F0008\r\n"
    "A32 = 1, 0x00200008\r\n"
    "Plain = 1, 0x00010000\r\n";

class AutoConfigure : public DeviceStore {
 protected:
  void SetUp() override {
    DeviceStore::SetUp();
    write_inf(setup_text("", kAutoProps, kStandardXpt));
  }

  // Runs the automatic configuration on zeb_dev_0.
  StatusCode configure() {
    SetupInfo info = open_info();
    RegKey key = make_key("zeb_dev_0");
    StatusCode status = dev_auto_configure(info, key);
    reg_close_key(key);
    close_setup_info(info);
    return status;
  }
};

struct BaudCase {
  const char* label;
  int kind;  // 0 absent, 1 REG_DWORD, 2 REG_SZ text (longer than 4 bytes)
  uint32_t baud;
  uint32_t k0;
  uint32_t k1;
  uint32_t k2;
};

const BaudCase kBaudCases[] = {
    {"absent", 0, 0, 11, 4743, 9486},
    {"zero", 1, 0, 11, 4743, 9486},
    {"115200", 1, 115200, 10, 441, 3000},
    {"921600", 1, 921600, 10, 250, 3000},
    {"1200", 1, 1200, 21, 37596, 75193},
    {"text longer than 4 bytes", 2, 0, 11, 4743, 9486},
};

TEST_F(AutoConfigure, WritesEachAutomaticLineFromTheBaudRate) {
  for (const BaudCase& c : kBaudCases) {
    RegKey root = open_root();
    reg_delete_key(root, "zeb_dev_0");
    reg_close_key(root);
    RegKey key = make_key("zeb_dev_0");
    set_dword(key, "autocfg_mask", 0xFFFFFFFFu);
    if (c.kind == 1) set_dword(key, "Port.BaudRate", c.baud);
    if (c.kind == 2) set_sz(key, "Port.BaudRate", "115200");
    reg_close_key(key);
    ASSERT_EQ(configure(), 0u) << c.label;
    EXPECT_EQ(read_dword("zeb_dev_0", "A0"), c.k0) << c.label;
    EXPECT_EQ(read_dword("zeb_dev_0", "A1"), c.k1) << c.label;
    EXPECT_EQ(read_dword("zeb_dev_0", "A2"), c.k2) << c.label;
    EXPECT_EQ(read_dword("zeb_dev_0", "A3"), 0) << c.label;
    EXPECT_EQ(read_dword("zeb_dev_0", "A31"), 0) << c.label;
    // Index 32 has no bit in the mask: never automatic.
    EXPECT_EQ(read_raw("zeb_dev_0", "A32"), "<absent>") << c.label;
    EXPECT_EQ(read_raw("zeb_dev_0", "Plain"), "<absent>") << c.label;
  }
}

TEST_F(AutoConfigure, OnlyLinesWhoseMaskBitIsSetAreWritten) {
  RegKey key = make_key("zeb_dev_0");
  set_dword(key, "autocfg_mask", 0x2);
  set_dword(key, "A0", 77);
  reg_close_key(key);
  ASSERT_EQ(configure(), 0u);
  EXPECT_EQ(read_dword("zeb_dev_0", "A0"), 77);
  EXPECT_EQ(read_dword("zeb_dev_0", "A1"), 4743);
  EXPECT_EQ(read_raw("zeb_dev_0", "A2"), "<absent>");
}

TEST_F(AutoConfigure, WithoutAMaskNothingIsWritten) {
  RegKey key = make_key("zeb_dev_0");
  reg_close_key(key);
  ASSERT_EQ(configure(), 0u);
  EXPECT_EQ(read_raw("zeb_dev_0", "A0"), "<absent>");
  EXPECT_EQ(read_raw("zeb_dev_0", "A1"), "<absent>");
}

// An absent or over-long mask or baud rate falls back to its default; a
// read that fails otherwise must not, or the values computed from the
// fallback would be stored as if they were right.
TEST_F(AutoConfigure, FailedReadOfMaskOrBaudRateWritesNothing) {
  for (const char* value : {"autocfg_mask", "Port.BaudRate"}) {
    RegKey key = make_key("zeb_dev_0");
    set_dword(key, "autocfg_mask", 0xFFFFFFFFu);
    set_dword(key, "Port.BaudRate", 115200);
    reg_close_key(key);
    fault_arm_subject(FaultPoint::kRegQuery, value, 170);
    EXPECT_EQ(configure(), 170u) << value;
    fault_clear();
    EXPECT_EQ(read_raw("zeb_dev_0", "A0"), "<absent>") << value;
  }
}

TEST_F(AutoConfigure, LineWithoutFlagsEndsTheWalk) {
  write_inf(setup_text("",
                       "A0 = 1, 0x00000008\r\n"
                       "Broken = 1\r\n"
                       "A1 = 1, 0x00010008\r\n",
                       kStandardXpt));
  RegKey key = make_key("zeb_dev_0");
  set_dword(key, "autocfg_mask", 0xFFFFFFFFu);
  reg_close_key(key);
  EXPECT_NE(configure(), 0u);
  EXPECT_EQ(read_dword("zeb_dev_0", "A0"), 11);
  EXPECT_EQ(read_raw("zeb_dev_0", "A1"), "<absent>");
}

TEST_F(AutoConfigure, FailedWriteStopsTheWalkAndKeepsEarlierValues) {
  RegKey key = make_key("zeb_dev_0");
  set_dword(key, "autocfg_mask", 0xFFFFFFFFu);
  reg_close_key(key);
  SetupInfo info = open_info();
  key = make_key("zeb_dev_0");
  fault_arm_subject(FaultPoint::kRegSet, "A1", 1018);
  EXPECT_EQ(dev_auto_configure(info, key), 1018u);
  fault_clear();
  reg_close_key(key);
  close_setup_info(info);
  EXPECT_EQ(read_dword("zeb_dev_0", "A0"), 11);
  EXPECT_EQ(read_raw("zeb_dev_0", "A1"), "<absent>");
  EXPECT_EQ(read_raw("zeb_dev_0", "A2"), "<absent>");
}

}  // namespace
