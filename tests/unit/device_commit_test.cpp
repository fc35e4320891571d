// Device open and commit: the outcome table of a commit, the purge of doomed
// devices, and the faults of the walks over the device root.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/status.h"
#include "device/device.h"
#include "device_test_support.h"

namespace {

using DeviceCommit = DeviceStore;

// Opens the device called name for writing; fails the test otherwise.
DeviceRecord open_device(CommandContext* context, const char* name,
                         uint32_t access = 0) {
  DeviceRecord record = {};
  record.name = const_cast<char*>(name);
  record.access = access;
  EXPECT_EQ(dev_open(context, &record), 0u) << name;
  return record;
}

struct CommitCase {
  const char* label;
  bool transport;      // the device has a transport class
  bool auto_fails;     // the first automatic write fails
  const char* marker;  // the marker before; null: no default value
  StatusCode status;   // the commit's status
  bool deleted;        // the commit purged the device
  const char* after;   // the marker afterwards (raw bytes, with NULs)
};

const std::string kEmpty(2, '\0');

const CommitCase kCommitCases[] = {
    {"transport, new", true, false, "n", 0, false, "\0\0"},
    {"transport, committed", true, false, "", 0, false, "\0\0"},
    {"transport, no marker", true, false, nullptr, 0, false, "\0\0"},
    {"auto fails, new", true, true, "n", 1018, true, nullptr},
    {"auto fails, new word", true, true, "new", 1018, true, nullptr},
    {"auto fails, committed", true, true, "", 1018, false, "\0"},
    {"auto fails, no marker", true, true, nullptr, 1018, false, nullptr},
    {"no transport, new", false, false, "n", STATUS_NO_XPT, true, nullptr},
    {"no transport, committed", false, false, "", STATUS_NO_XPT, false, "\0"},
    {"no transport, other", false, false, "x", STATUS_NO_XPT, false, "x"},
};

TEST_F(DeviceCommit, FollowsTheOutcomeTable) {
  for (const CommitCase& c : kCommitCases) {
    make_device("zeb_dev_0", "Com1", c.marker,
                c.transport ? "ZebSerial" : nullptr);
    DeviceRecord record = open_device(next_command_context(), "com1");
    if (c.auto_fails) fault_arm_subject(FaultPoint::kRegSet, "T0", 1018);
    EXPECT_EQ(dev_commit(context(), &record), c.status) << c.label;
    fault_clear();
    dev_close(&record);
    EXPECT_EQ(record.key, nullptr) << c.label;
    EXPECT_EQ(subkey_exists("zeb_dev_0"), !c.deleted) << c.label;
    if (!c.deleted) {
      std::string marker = read_raw("zeb_dev_0", nullptr);
      if (c.after == nullptr) {
        EXPECT_EQ(marker, "<absent>") << c.label;
      } else if (c.after[0] == '\0') {
        EXPECT_EQ(marker[0], '\0') << c.label;
      } else {
        EXPECT_EQ(marker, std::string(c.after) + '\0') << c.label;
      }
      RegKey root = open_root();
      reg_delete_key(root, "zeb_dev_0");
      reg_close_key(root);
    }
  }
}

TEST_F(DeviceCommit, SuccessWritesTheEmptyMarkerOfTwoBytes) {
  make_device("zeb_dev_0", "Com1", "n");
  DeviceRecord record = open_device(context(), "Com1");
  ASSERT_EQ(dev_commit(context(), &record), 0u);
  dev_close(&record);
  EXPECT_EQ(read_raw("zeb_dev_0", nullptr), kEmpty);
  EXPECT_EQ(read_dword("zeb_dev_0", "T0"), 11);
  EXPECT_EQ(read_dword("zeb_dev_0", "T1"), 4743);
  EXPECT_EQ(read_dword("zeb_dev_0", "T2"), 9486);
}

TEST_F(DeviceCommit, FailedCommitOfANewDevicePurgesEveryDoomedDevice) {
  make_device("zeb_dev_0", "Old", "d");
  make_device("zeb_dev_1", "New", "n", nullptr);
  make_device("zeb_dev_2", "Keep", "");
  DeviceRecord record = open_device(context(), "New");
  EXPECT_EQ(dev_commit(context(), &record), STATUS_NO_XPT);
  dev_close(&record);
  EXPECT_EQ(subkeys(), std::vector<std::string>{"zeb_dev_2"});
}

TEST_F(DeviceCommit, ReadOnlyCommitOfANewDeviceFailsButStillPurges) {
  make_device("zeb_dev_0", "Old", "d");
  make_device("zeb_dev_1", "New", "n");
  CommandContext* reader = context(false);
  DeviceRecord record = open_device(reader, "New", ACCESS_READ_ONLY);
  EXPECT_EQ(dev_commit(reader, &record), W32_ERROR_ACCESS_DENIED);
  dev_close(&record);
  EXPECT_EQ(subkeys(), std::vector<std::string>{"zeb_dev_1"});
  EXPECT_EQ(read_raw("zeb_dev_1", nullptr), std::string("n") + '\0');
}

TEST_F(DeviceCommit, UnreadableMarkerEndsTheCommit) {
  make_device("zeb_dev_0", "Com1", "longer than eight");
  DeviceRecord record = open_device(context(), "Com1");
  EXPECT_EQ(dev_commit(context(), &record), W32_ERROR_MORE_DATA);
  dev_close(&record);
  EXPECT_EQ(read_raw("zeb_dev_0", "T0"), "<absent>");
}

TEST_F(DeviceCommit, MissingRecordKeyOrContextIsRefused) {
  EXPECT_EQ(dev_commit(context(), nullptr), STATUS_NO_ARGUMENT);
  DeviceRecord record = {};
  EXPECT_EQ(dev_commit(context(), &record), STATUS_NO_ARGUMENT);
  EXPECT_EQ(dev_open(context(), nullptr), STATUS_NO_ARGUMENT);
  EXPECT_EQ(dev_open(context(), &record), STATUS_NO_ARGUMENT);
  record.name = const_cast<char*>("Com1");
  CommandContext unopened = {};
  EXPECT_EQ(dev_open(&unopened, &record), STATUS_NO_ARGUMENT);
  EXPECT_EQ(dev_open(nullptr, &record), STATUS_NO_ARGUMENT);
}

using DeviceOpen = DeviceStore;

TEST_F(DeviceOpen, FindsTheDeviceWhateverTheCaseOfItsName) {
  make_device("zeb_dev_0", "Com1", "");
  for (const char* name : {"Com1", "COM1", "com1"}) {
    DeviceRecord record = open_device(context(), name);
    EXPECT_NE(record.key, nullptr);
    dev_close(&record);
  }
  DeviceRecord record = {};
  record.name = const_cast<char*>("Com");
  EXPECT_EQ(dev_open(context(), &record), STATUS_DEV_NOT_FOUND);
}

TEST_F(DeviceOpen, ReadOnlyKeyRefusesWrites) {
  make_device("zeb_dev_0", "Com1", "");
  DeviceRecord record = open_device(context(false), "Com1", ACCESS_READ_ONLY);
  uint32_t value = 1;
  EXPECT_EQ(reg_set_value(record.key, "x", W32_REG_DWORD, &value, 4),
            W32_ERROR_ACCESS_DENIED);
  dev_close(&record);
}

TEST_F(DeviceOpen, AnyFailureOfTheSearchIsDeviceNotFound) {
  make_device("zeb_dev_0", "Com1", "");
  DeviceRecord record = {};
  record.name = const_cast<char*>("Com1");
  CommandContext* opened = context();
  fault_arm_subject(FaultPoint::kRegEnumKey, kDeviceRootPath, 1018);
  EXPECT_EQ(dev_open(opened, &record), STATUS_DEV_NOT_FOUND);
  fault_clear();
  // A subkey name that does not fit the search's buffer, met first.
  reg_close_key(make_key("aaaaaaaaaaaaaaaaaaaa"));
  EXPECT_EQ(dev_open(opened, &record), STATUS_DEV_NOT_FOUND);
}

TEST_F(DeviceOpen, NameTooLongForANameValueIsNotFound) {
  std::string name(248, 'x');
  DeviceRecord record = {};
  record.name = &name[0];
  EXPECT_EQ(dev_open(context(), &record), STATUS_DEV_NOT_FOUND);
  EXPECT_EQ(dev_remove(context(), &record), STATUS_DEV_NOT_FOUND);
  std::string huge(100000, 'x');
  record.name = &huge[0];
  EXPECT_EQ(dev_open(context(), &record), STATUS_DEV_NOT_FOUND);
}

using DevicePurge = DeviceStore;

TEST_F(DevicePurge, DeletesEveryMarkerBeginningWithSmallD) {
  make_device("zeb_dev_0", "A", "d");
  make_device("zeb_dev_1", "B", "d");
  make_device("zeb_dev_2", "C", "Delete");
  make_device("zeb_dev_3", "D", "delete");
  make_device("zeb_dev_4", "E", "");
  make_device("zeb_dev_5", "F", nullptr);
  make_device("zeb_dev_6", "G", "d");
  make_device("zeb_dev_7", "H", "dddddddddddd");  // too long for 8 bytes
  make_device("foreign_subkey_name_of_some_length", "I", "d");
  // Keys without a name value: device keys that a creation cut short go,
  // whatever their marker; keys of other names stay.
  for (const char* subkey : {"zeb_dev_8", "ZEB_DEV_9", "zeb_dev_08", "other"}) {
    RegKey key = make_key(subkey);
    set_sz(key, nullptr, "n");
    reg_close_key(key);
  }
  reg_close_key(make_key("zeb_dev_10"));
  EXPECT_EQ(dev_purge(context()), 0u);
  EXPECT_EQ(subkeys(),
            (std::vector<std::string>{"other", "zeb_dev_08", "zeb_dev_2",
                                      "zeb_dev_4", "zeb_dev_5", "zeb_dev_7"}));
}

TEST_F(DevicePurge, EnumerationFailureEndsThePurgeWithItsCode) {
  make_device("zeb_dev_0", "A", "d");
  make_device("zeb_dev_1", "B", "d");
  CommandContext* opened = context();
  fault_arm_subject(FaultPoint::kRegEnumKey, kDeviceRootPath, 1018, 2);
  EXPECT_EQ(dev_purge(opened), 1018u);
  fault_clear();
  EXPECT_EQ(subkeys(), std::vector<std::string>{"zeb_dev_1"});
}

TEST_F(DevicePurge, FailedDeletionMovesOnToTheNextSubkey) {
  make_device("zeb_dev_0", "A", "d");
  make_device("zeb_dev_1", "B", "d");
  CommandContext* opened = context();
  fault_arm_subject(FaultPoint::kRegDeleteKey, "zeb_dev_0",
                    W32_ERROR_ACCESS_DENIED);
  EXPECT_EQ(dev_purge(opened), 0u);
  fault_clear();
  EXPECT_EQ(subkeys(), std::vector<std::string>{"zeb_dev_0"});
}

}  // namespace
