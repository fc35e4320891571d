// Device listing, removal and creation over the POSIX store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/status.h"
#include "device/device.h"
#include "device_test_support.h"

namespace {

using DeviceList = DeviceStore;

// Lists every device name until the first non-zero status, which goes into
// *end.
std::vector<std::string> list_all(const CommandContext* context,
                                  StatusCode* end, uint32_t capacity = 256) {
  std::vector<std::string> names;
  char buffer[256];
  DeviceRecord cursor = {};
  cursor.name = buffer;
  cursor.name_capacity = capacity;
  StatusCode status = dev_first(context, &cursor);
  while (status == 0) {
    names.push_back(buffer);
    status = dev_next(context, &cursor);
  }
  *end = status;
  return names;
}

TEST_F(DeviceList, EmptyRootEndsAtOnce) {
  StatusCode end = 0;
  EXPECT_TRUE(list_all(context(false), &end).empty());
  EXPECT_EQ(end, W32_ERROR_NO_MORE_ITEMS);
}

TEST_F(DeviceList, ListsNamesWithoutThePrefixInEnumerationOrder) {
  make_device("zeb_dev_0", "Com1", "");
  make_device("zeb_dev_1", "", "n");
  make_device("zeb_dev_2", "Com2", "d");
  StatusCode end = 0;
  EXPECT_EQ(list_all(context(false), &end),
            (std::vector<std::string>{"Com1", "", "Com2"}));
  EXPECT_EQ(end, W32_ERROR_NO_MORE_ITEMS);
}

struct BadNameCase {
  const char* label;
  int kind;  // 0 no name value, 1 small prefix, 2 too long, 3 short binary
  StatusCode status;
};

const BadNameCase kBadNameCases[] = {
    {"no name value", 0, W32_ERROR_FILE_NOT_FOUND},
    {"prefix in small letters", 1, W32_ERROR_FILE_NOT_FOUND},
    {"name value longer than 256 bytes", 2, W32_ERROR_MORE_DATA},
    {"binary shorter than the prefix", 3, W32_ERROR_FILE_NOT_FOUND},
};

TEST_F(DeviceList, StopsAtASubkeyWithoutAUsableName) {
  for (const BadNameCase& c : kBadNameCases) {
    make_device("zeb_dev_0", "Com1", "");
    RegKey key = make_key("zeb_dev_1");
    if (c.kind == 1) set_sz(key, "FriendlyName", "zeb_dev_Com2");
    if (c.kind == 2) set_sz(key, "FriendlyName", std::string(256, 'Z'));
    if (c.kind == 3) set_binary(key, "FriendlyName", "ZEB_");
    reg_close_key(key);
    make_device("zeb_dev_2", "Com3", "");
    StatusCode end = 0;
    EXPECT_EQ(list_all(context(false), &end), std::vector<std::string>{"Com1"})
        << c.label;
    EXPECT_EQ(end, c.status) << c.label;
    RegKey root = open_root();
    reg_delete_key(root, "zeb_dev_1");
    reg_close_key(root);
  }
}

TEST_F(DeviceList, BinaryNameValueFillingTheBufferIsTerminated) {
  RegKey key = make_key("zeb_dev_0");
  set_binary(key, "FriendlyName", "ZEB_DEV_" + std::string(248, 'x'));
  reg_close_key(key);
  StatusCode end = 0;
  EXPECT_EQ(list_all(context(false), &end),
            std::vector<std::string>{std::string(248, 'x')});
  EXPECT_EQ(end, W32_ERROR_NO_MORE_ITEMS);
}

TEST_F(DeviceList, NameThatDoesNotFitLeavesTheBufferAlone) {
  make_device("zeb_dev_0", "Com12", "");
  char buffer[8] = "keepme";
  DeviceRecord cursor = {};
  cursor.name = buffer;
  cursor.name_capacity = 5;
  EXPECT_EQ(dev_first(context(false), &cursor), W32_ERROR_MORE_DATA);
  EXPECT_STREQ(buffer, "keepme");
  cursor.name_capacity = 6;
  EXPECT_EQ(dev_first(context(false), &cursor), 0u);
  EXPECT_STREQ(buffer, "Com12");
}

TEST_F(DeviceList, EnumerationFailureIsPassedOn) {
  make_device("zeb_dev_0", "Com1", "");
  make_device("zeb_dev_1", "Com2", "");
  fault_arm_subject(FaultPoint::kRegEnumKey, kDeviceRootPath, 1018, 2);
  StatusCode end = 0;
  EXPECT_EQ(list_all(context(false), &end), std::vector<std::string>{"Com1"});
  EXPECT_EQ(end, 1018u);
}

TEST_F(DeviceList, HonoursTheConfiguredNameValue) {
  write_inf(
      setup_text("conn_port_name=PortName\r\n", kStandardProps, kStandardXpt));
  RegKey key = make_key("zeb_dev_0");
  set_sz(key, "PortName", "ZEB_DEV_Com9");
  reg_close_key(key);
  StatusCode end = 0;
  EXPECT_EQ(list_all(context(false), &end), std::vector<std::string>{"Com9"});
}

TEST_F(DeviceList, MissingRecordOrBufferIsRefused) {
  DeviceRecord cursor = {};
  EXPECT_EQ(dev_first(context(), nullptr), STATUS_NO_ARGUMENT);
  EXPECT_EQ(dev_next(context(), &cursor), STATUS_NO_ARGUMENT);
  EXPECT_EQ(cursor.index, 0u);
  EXPECT_EQ(dev_remove(context(), &cursor), STATUS_NO_ARGUMENT);
  EXPECT_EQ(dev_create(context(), &cursor), STATUS_NO_ARGUMENT);
}

using DeviceRemove = DeviceStore;

TEST_F(DeviceRemove, DeletesTheDeviceFoundWithoutRegardToCase) {
  make_device("zeb_dev_0", "Com1", "");
  make_device("zeb_dev_1", "Com2", "n");
  DeviceRecord record = {};
  record.name = const_cast<char*>("COM2");
  EXPECT_EQ(dev_remove(context(), &record), 0u);
  EXPECT_EQ(subkeys(), std::vector<std::string>{"zeb_dev_0"});
  EXPECT_EQ(dev_remove(context(), &record), STATUS_DEV_NOT_FOUND);
}

TEST_F(DeviceRemove, SearchFailuresOtherThanNoMatchArePassedOn) {
  make_device("zeb_dev_0", "Com1", "");
  DeviceRecord record = {};
  record.name = const_cast<char*>("Com1");
  fault_arm_subject(FaultPoint::kRegEnumKey, kDeviceRootPath, 1018);
  EXPECT_EQ(dev_remove(context(), &record), 1018u);
  fault_clear();
  reg_close_key(make_key("aaaaaaaaaaaaaaaaaaaa"));
  EXPECT_EQ(dev_remove(context(), &record), W32_ERROR_MORE_DATA);
  EXPECT_TRUE(subkey_exists("zeb_dev_0"));
}

TEST_F(DeviceRemove, FindsANameValueWithTheSmallPrefix) {
  RegKey key = make_key("zeb_dev_0");
  set_sz(key, "FriendlyName", "zeb_dev_Com1");
  reg_close_key(key);
  DeviceRecord record = {};
  record.name = const_cast<char*>("Com1");
  EXPECT_EQ(dev_remove(context(), &record), 0u);
  EXPECT_TRUE(subkeys().empty());
}

using DeviceCreate = DeviceStore;

// Creates a device and closes its key without committing it.
StatusCode create(CommandContext* context, const std::string& name) {
  DeviceRecord record = {};
  std::string text = name;
  record.name = &text[0];
  StatusCode status = dev_create(context, &record);
  dev_close(&record);
  return status;
}

TEST_F(DeviceCreate, WritesMarkerNameValueAndMask) {
  ASSERT_EQ(create(context(), "Com1"), 0u);
  EXPECT_EQ(subkeys(), std::vector<std::string>{"zeb_dev_0"});
  EXPECT_EQ(read_raw("zeb_dev_0", nullptr), std::string("n") + '\0');
  EXPECT_EQ(read_raw("zeb_dev_0", "FriendlyName"),
            std::string("ZEB_DEV_Com1") + '\0');
  EXPECT_EQ(read_dword("zeb_dev_0", "autocfg_mask"), 0xFFFFFFFFu);
}

TEST_F(DeviceCreate, TakesTheLowestFreeNumber) {
  make_device("zeb_dev_0", "A", "");
  make_device("zeb_dev_2", "C", "");
  ASSERT_EQ(create(context(), "B"), 0u);
  EXPECT_EQ(read_raw("zeb_dev_1", "FriendlyName"),
            std::string("ZEB_DEV_B") + '\0');
  DeviceRecord record = {};
  record.name = const_cast<char*>("A");
  ASSERT_EQ(dev_remove(context(), &record), 0u);
  ASSERT_EQ(create(context(), "D"), 0u);
  EXPECT_EQ(read_raw("zeb_dev_0", "FriendlyName"),
            std::string("ZEB_DEV_D") + '\0');
}

TEST_F(DeviceCreate, RefusesADuplicateInAnyCaseAndLeavesItAlone) {
  make_device("zeb_dev_0", "Com1", "");
  RegKey key = make_key("zeb_dev_0");
  set_dword(key, "Port.Count", 7);
  reg_close_key(key);
  EXPECT_EQ(create(context(), "COM1"), STATUS_DUP_DEVICE);
  EXPECT_EQ(subkeys(), std::vector<std::string>{"zeb_dev_0"});
  EXPECT_EQ(read_dword("zeb_dev_0", "Port.Count"), 7);
}

// A crash between a key's birth and its name value (on Windows, where its
// writes land one by one) leaves a device key that no search finds and
// that stops every listing: creation deletes such keys first, and only
// those named as device keys are.
TEST_F(DeviceCreate, DeletesHalfMadeDeviceKeysBeforeChoosingTheNumber) {
  for (const char* subkey : {"zeb_dev_0", "zeb_dev_2", "zeb_dev_03", "other"}) {
    RegKey key = make_key(subkey);
    set_sz(key, nullptr, "n");
    reg_close_key(key);
  }
  make_device("zeb_dev_1", "A", "");
  ASSERT_EQ(create(context(), "B"), 0u);
  EXPECT_EQ(subkeys(), (std::vector<std::string>{"other", "zeb_dev_0",
                                                 "zeb_dev_03", "zeb_dev_1"}));
  EXPECT_EQ(read_raw("zeb_dev_0", "FriendlyName"),
            std::string("ZEB_DEV_B") + '\0');
}

// Only "no such device" lets creation go on: a duplicate check that fails
// otherwise (here a subkey name too long for the search, met before the
// device) is passed on, and nothing is created.
TEST_F(DeviceCreate, FailedDuplicateCheckCreatesNothing) {
  make_device("zeb_dev_0", "Com1", "");
  fault_arm_subject(FaultPoint::kRegEnumKey, kDeviceRootPath, 1018);
  EXPECT_EQ(create(context(), "Com2"), 1018u);
  fault_clear();
  reg_close_key(make_key("aaaaaaaaaaaaaaaaaaaa"));
  EXPECT_EQ(create(context(), "COM1"), W32_ERROR_MORE_DATA);
  EXPECT_EQ(subkeys(),
            (std::vector<std::string>{"aaaaaaaaaaaaaaaaaaaa", "zeb_dev_0"}));
}

TEST_F(DeviceCreate, NameLengthLimit) {
  ASSERT_EQ(create(context(), std::string(247, 'n')), 0u);
  EXPECT_EQ(read_raw("zeb_dev_0", "FriendlyName").size(), 256u);
  EXPECT_EQ(create(context(), std::string(248, 'm')), STATUS_INVALID_PARAM);
  EXPECT_EQ(create(context(), std::string(70000, 'm')), STATUS_INVALID_PARAM);
  EXPECT_EQ(subkeys(), std::vector<std::string>{"zeb_dev_0"});
}

TEST_F(DeviceCreate, EmptyNameGivesThePrefixAlone) {
  ASSERT_EQ(create(context(), ""), 0u);
  EXPECT_EQ(read_raw("zeb_dev_0", "FriendlyName"),
            std::string("ZEB_DEV_") + '\0');
}

TEST_F(DeviceCreate, HonoursTheConfiguredNameValue) {
  write_inf(
      setup_text("conn_port_name=PortName\r\n", kStandardProps, kStandardXpt));
  ASSERT_EQ(create(context(), "Com1"), 0u);
  EXPECT_EQ(read_raw("zeb_dev_0", "PortName"),
            std::string("ZEB_DEV_Com1") + '\0');
  EXPECT_EQ(read_raw("zeb_dev_0", "FriendlyName"), "<absent>");
}

// Whichever of the marker, name and mask writes fails, its code is the
// result and no key without all three remains.
TEST_F(DeviceCreate, AFailedValueWriteRemovesTheHalfMadeKey) {
  for (const char* value : {"", "FriendlyName", "autocfg_mask"}) {
    fault_arm_subject(FaultPoint::kRegSet, value, 1018);
    EXPECT_EQ(create(context(), "Com1"), 1018u) << value;
    fault_clear();
    EXPECT_TRUE(subkeys().empty()) << value;
  }
}

// The name value's name read as the fallback by mistake would hide the
// device from every search: a lookup that fails, rather than finds no line,
// fails the creation.
TEST_F(DeviceCreate, FailedLookupOfTheNameValueNameFailsTheCreation) {
  write_inf(
      setup_text("conn_port_name=PortName\r\n", kStandardProps, kStandardXpt));
  fault_arm_subject(FaultPoint::kInfFindFirstLine, "cfg_strings:conn_port_name",
                    W32_ERROR_REGISTRY_IO_FAILED, 1, true);
  EXPECT_EQ(create(context(), "Com1"), W32_ERROR_REGISTRY_IO_FAILED);
  fault_clear();
  EXPECT_TRUE(subkeys().empty());
}

TEST_F(DeviceCreate, FailedCreationIsPassedOn) {
  fault_arm_subject(FaultPoint::kRegCreate, "zeb_dev_0",
                    W32_ERROR_ACCESS_DENIED);
  EXPECT_EQ(create(context(), "Com1"), W32_ERROR_ACCESS_DENIED);
  fault_clear();
  EXPECT_TRUE(subkeys().empty());
}

}  // namespace
